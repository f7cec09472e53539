#include "shell_open.h"

#include <shellapi.h>

#include <cwctype>
#include <string>

ShellExecuteProc ShellExecuteFunction = ShellExecuteW;

bool IsUrlForTheShell(std::wstring_view url)
{
    size_t colon = url.find(L':');
    if (colon == std::wstring_view::npos)
        return false;
    for (wchar_t c : url) {
        if (c < 0x20 || c == 0x7F || c == L'"')
            return false;
    }
    std::wstring scheme(url.substr(0, colon));
    for (wchar_t& c : scheme)
        c = static_cast<wchar_t>(towlower(c));
    return scheme == L"http" || scheme == L"https" || scheme == L"mailto";
}
