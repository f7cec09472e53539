// The process of the launcher's downloaded copy, once the hand-over starts
// it. With its own window the launcher leaves the copy to run alone. A
// headless run is one process to the script that started it: the launcher
// waits for the copy, which prints where the launcher prints, and ends with
// the copy's exit code; ending the launcher (a script's time-out) ends the
// copy and whatever it runs.
#pragma once

#include <windows.h>

#include <string>

// Starts the copy with commandLine and startup. Headless, the copy gets this
// process's standard handles, runs in a job that ends it with this process,
// and is kept for WaitForLauncherCopy. False, with the system's error in
// error, when it cannot be started.
bool StartLauncherCopy(std::wstring& commandLine, STARTUPINFOW& startup, DWORD& error);

// Whether a headless hand-over started a copy that this process waits for.
bool WaitsForLauncherCopy();

// Waits for that copy and gives its exit code (EXIT_RUN_FAILED when the
// code cannot be read). What the copy started and left running (the game,
// dedicated servers) then outlives this process.
int WaitForLauncherCopy();
