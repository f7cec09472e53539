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

// Registers the four window classes ("Launcher", "MOTDFrame",
// "LanguagePopup", "ClusterPopup"), sets UiScale and creates the main
// window, not yet visible; its WM_CREATE makes the children, and, unless
// the browser takes over, shows the window and posts WM_STEP_NEXT.
HWND CreateMainWindow(HINSTANCE instance);

LRESULT CALLBACK LauncherWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
