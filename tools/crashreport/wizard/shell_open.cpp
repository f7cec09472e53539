#include "shell_open.h"

#include <shellapi.h>

ShellExecuteProc ShellExecuteFunction = ShellExecuteW;

void OpenWithShell(HWND owner, const wchar_t* verb, const wchar_t* target, int show)
{
    ShellExecuteFunction(owner, verb, target, nullptr, nullptr, show);
}
