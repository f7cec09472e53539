// Step pages: every step takes part in the user interface through the same
// empty, invisible child dialog (IDD_STEP_PAGE) of the main window. Its
// procedure drives the parent's shared controls and receives the action
// buttons' commands, which the main window passes on to the current page.
#pragma once

#include <windows.h>

#define IDD_STEP_PAGE 101

// Creates the page modeless from the launcher's own module. proc may be
// null; param is the step, or for the one-button pages a narrow key.
HWND ShowStepPage(HWND parent, DLGPROC proc, LPARAM param);

// One-button pages whose creation parameter is the narrow localisation key
// of the message to show. QUIT ends the launcher; OK finishes the step
// (WM_STEP_SUCCEEDED to the parent). With no buttons to press (headless)
// both act at once, after the message has been shown.
INT_PTR CALLBACK QuitPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OkPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
