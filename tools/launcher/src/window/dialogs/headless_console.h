// The headless console window. With "-headless" the launcher shows no window
// of its own: an invisible step page (IDD_STEP_PAGE), never shown, plays the
// main window for the queue. Steps are given it as their parent and report
// to it; it has none of the main window's items, and the texts the main
// window would show go to the log, which prints them on the console too.
#pragma once

#include <windows.h>

// Finds where the run prints, in this order: the console the process has,
// its parent's console (a shell's), a standard output it was given (a file
// or pipe), a new console. Returns the console window to own the console
// dialog, HWND_MESSAGE when there is output but no console window, or null
// when there is no output at all.
HWND AcquireHeadlessConsole();

// Creates the console dialog under parent (a console window or
// HWND_MESSAGE), makes it SharedMainWindow and runs the queue at once. Step
// messages that had to wait while that first run was on the stack are
// replayed as the main window does after each of its step messages.
// Returns the dialog, or null when it cannot be made.
HWND StartHeadlessConsole(HWND parent);

// The console dialog's procedure. It always returns 0, so every message also
// gets the default dialog handling. Steps that end through their page leave
// no statistics; RTF texts are logged as "RTF"; the message of the day is
// not shown.
INT_PTR CALLBACK HeadlessDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
