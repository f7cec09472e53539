// Every ShellExecuteW of the launcher goes through this one function, which
// has ShellExecuteW's signature; tests replace it to see what would be
// opened without starting a program.
#pragma once

#include <windows.h>

using ShellExecuteProc = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                            LPCWSTR directory, INT show);
extern ShellExecuteProc ShellExecuteFunction;
