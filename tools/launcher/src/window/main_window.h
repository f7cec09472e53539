// The launcher's Win32 main window "Launcher": a borderless popup of fixed
// client size with the title buttons, the footer (action buttons, progress
// bar, two status lines) and the text pane. With the embedded browser the
// same window hosts the browser over its whole client area and most of the
// children stay hidden as the model that the browser host mirrors.
#pragma once

#include <windows.h>

#include "drawing_resources.h"

#define LAUNCHER_WINDOW_CLASS L"Launcher"

// Timer of the main window that refreshes the progress display.
constexpr UINT_PTR PROGRESS_TIMER = 2;
constexpr UINT PROGRESS_TIMER_INTERVAL = 33; // ms
// Timer of the main window that gives the browser up when its first page
// has not loaded by then (a page that never finishes loading would leave
// the window hidden for ever). Generous: a cold start under load takes a
// while.
constexpr UINT_PTR FIRST_PAGE_TIMER = 3;
constexpr UINT FIRST_PAGE_WAIT_MS = 45000;

// Registers the four window classes ("Launcher", "MOTDFrame",
// "LanguagePopup", "ClusterPopup"), sets UiScale and creates the main
// window, not yet visible; its WM_CREATE makes the children, and, unless
// the browser takes over, shows the window and posts WM_STEP_NEXT.
HWND CreateMainWindow(HINSTANCE instance);

LRESULT CALLBACK LauncherWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
