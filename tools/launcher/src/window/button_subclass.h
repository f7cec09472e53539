// The subclass of every owner-drawn launcher button: the hover flag (the
// button's user data, 0 or 1), a press notification to the parent, and the
// background behind the button.
#pragma once

#include <windows.h>

// Notification code of the WM_COMMAND a launcher button posts to its parent
// when it is pressed (not when it is clicked); the selectors open their
// popups on it.
constexpr WORD NOTIFY_BUTTON_DOWN = 2;

// Remembers the window procedure of the system class "Button", to which
// LauncherButtonProc passes every message on. Called before the first
// launcher button is made.
void StoreSystemButtonProc();

LRESULT CALLBACK LauncherButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam);

// The button's hover flag.
bool IsButtonHovered(HWND button);

// Gives a step's action button the keyboard focus, unless the button is
// hidden: with the browser interface the Win32 buttons are the model that
// the page mirrors, and a key press on one of them would act on the step
// however long the page had shown it.
void FocusActionButton(HWND button);

// While a button reports the click of a person (the release of the left
// mouse button, or of the space bar, that ends a press on it), whether
// button is that one, and when (message time) the press began; for the
// space bar held since before the button had the focus, when the focus
// came. False for a click that no person made (BM_CLICK, a command sent by
// a program).
bool ClickInProgress(HWND button, DWORD* pressBegan);
