// The main window as the process frame uses it.
#pragma once

#include <windows.h>

// Registers the window classes and creates the main window "Launcher"; it
// shows itself and posts WM_STEP_NEXT when the browser does not take over.
HWND CreateMainWindow(HINSTANCE instance);

// The headless console dialog's procedure (its parent is the console
// window); it answers the step messages in place of the main window.
INT_PTR CALLBACK HeadlessDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
