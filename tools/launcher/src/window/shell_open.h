// Every ShellExecuteW of the launcher goes through this one function, which
// has ShellExecuteW's signature; tests replace it to see what would be
// opened without starting a program.
#pragma once

#include <windows.h>

#include <string_view>

using ShellExecuteProc = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                            LPCWSTR directory, INT show);
extern ShellExecuteProc ShellExecuteFunction;

// Whether an address from a page or a text may be handed to the shell: only
// "http:", "https:" and "mailto:" (any letter case), without a double quote
// or a control character. Every other scheme may start a program (a file
// or share, or any registered handler), so links and popups of other
// schemes are dropped.
bool IsUrlForTheShell(std::wstring_view url);
