// The process of the launcher's downloaded copy, once the hand-over starts
// it. With its own window the launcher leaves the copy to run alone. A
// headless run is one process to the script that started it: the launcher
// waits for the copy, which prints where the launcher prints, and ends with
// the copy's exit code; ending the launcher (a script's time-out) ends the
// copy and whatever it runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Starts the copy with commandLine and startup. Headless, the copy gets this
// process's standard handles (StandardHandlesToHandOn; a start that the
// system refuses with that list of handles is tried once more without it),
// runs in a job that ends it with this process, and is kept for
// WaitForLauncherCopy. False, with the system's error in error, when it
// cannot be started.
bool StartLauncherCopy(std::wstring& commandLine, STARTUPINFOW& startup, DWORD& error);

// Which of this process's standard handles (input, output, error, as
// GetStdHandle gives them) a headless copy is handed in its list of handles
// to inherit: each kernel handle once, in that order. Left out are the
// missing ones (null, INVALID_HANDLE_VALUE) and the console handles of
// Windows 7 and older, which are no kernel handles (their value ends in
// binary 11): CreateProcessW refuses a list that holds one. The copy needs
// none of them: its headless console attaches to this process's console and
// writes there.
std::vector<HANDLE> StandardHandlesToHandOn(const HANDLE (&standard)[3]);

// Whether a headless hand-over started a copy that this process waits for.
bool WaitsForLauncherCopy();

// Waits for that copy and gives its exit code (EXIT_RUN_FAILED when the
// code cannot be read). What the copy started and left running (the game,
// dedicated servers) then outlives this process.
int WaitForLauncherCopy();
