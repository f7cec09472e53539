// The launcher's process frame: start-up in its fixed order, the main loop
// and the shutdown, plus the pieces of it that tests drive on their own.
#pragma once

#include <windows.h>

// Module-wide flags, set on the user-interface thread during start-up.
extern bool CefEnabled;            // the embedded browser is used
extern bool DedicatedMode;         // "-dedicated": the ready page starts servers
extern COLORREF TextColor;         // labels and buttons: white, black with the browser
extern int InstalledLanguageCount; // set flags of InstalledLanguages

// The main window (or headless console window) of the instance that runs,
// kept in a data section that every running instance of the executable
// shares, so a second instance can bring it to the front.
extern HWND SharedMainWindow;

// The whole run: what wWinMain returns: one of the codes of exit_codes.h
// (the quit message's code, EXIT_ANOTHER_LAUNCHER for a headless second
// instance, or the code of the downloaded copy a headless run handed over
// to, a crash of the copy's included), or a browser sub-process's exit code.
int LauncherMain(HINSTANCE instance);

// Runs until the quit message and returns its exit code. window is the main
// window, the headless console window, or null.
int RunMessageLoop(HWND window);

// The single-instance mutex, named by the product folder in local
// application data with every "\" made "_". True when this process now
// holds it; false when another launcher does or it cannot be made.
bool AcquireSingleInstanceMutex();
// Closes the mutex early, so the launcher started by the hand-over can take
// it.
void ReleaseSingleInstanceMutex();

// What a second instance does: brings the running launcher's window to the
// front (restored when minimised): SharedMainWindow, or else the first
// window of the class "Launcher". False when there is none.
bool ActivateRunningLauncher();
