#include "command_line.h"

#include <windows.h>

#include <cwchar>

namespace {

// Set only by tests, before the code under test runs.
std::wstring TestCommandLine;
bool UseTestCommandLine = false;

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

} // namespace

const wchar_t* GetLauncherCommandLine()
{
    if (UseTestCommandLine)
        return TestCommandLine.c_str();
    const wchar_t* commandLine = GetCommandLineW();
    return commandLine ? commandLine : L"";
}

void SetCommandLineForTest(const wchar_t* commandLine)
{
    UseTestCommandLine = commandLine != nullptr;
    TestCommandLine = commandLine ? commandLine : L"";
}

const wchar_t* FindOptionValue(const wchar_t* prefix)
{
    if (!prefix || !prefix[0])
        return nullptr;
    const wchar_t* found = wcsstr(GetLauncherCommandLine(), prefix);
    return found ? found + wcslen(prefix) : nullptr;
}

bool HasOption(const wchar_t* option)
{
    return FindOptionValue(option) != nullptr;
}

bool GetOptionWord(const wchar_t* prefix, std::wstring& value)
{
    value.clear();
    const wchar_t* text = FindOptionValue(prefix);
    if (!text)
        return false;
    const wchar_t* end = text;
    while (*end && !IsBlank(*end))
        ++end;
    value.assign(text, end);
    return true;
}

const wchar_t* SkipProgramName(const wchar_t* commandLine)
{
    const wchar_t* p = commandLine ? commandLine : L"";
    if (*p == L'"') {
        const wchar_t* close = wcschr(p + 1, L'"');
        return close ? close + 1 : p + wcslen(p);
    }
    while (*p && *p != L' ' && *p != L'\t')
        ++p;
    return p;
}
