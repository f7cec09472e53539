// FaultCourier's shell calls: opening the issue tracker's page and showing
// the crash folder in the file manager.
#pragma once

#include <windows.h>

// Every shell call goes through this one function, which has
// ShellExecuteW's signature; tests replace it to record the calls.
using ShellExecuteProc = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                            LPCWSTR directory, INT show);
extern ShellExecuteProc ShellExecuteFunction;

// Asks the shell to apply verb ("open", "explore") to target.
void OpenWithShell(HWND owner, const wchar_t* verb, const wchar_t* target, int show);
