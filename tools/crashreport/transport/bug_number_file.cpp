#include "bug_number_file.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "scoped_handles.h"

std::wstring BugNumberFolder(const std::wstring& executablePath)
{
    size_t at = executablePath.find(L"\\Code\\");
    if (at == std::wstring::npos)
        at = executablePath.find(L"\\Tools\\");
    if (at == std::wstring::npos)
        return std::wstring();
    return executablePath.substr(0, at) + L"\\Temp\\";
}

std::wstring WriteBugNumberFile(const std::wstring& folder, const char* bugNumber)
{
    for (int n = 1; n < INT_MAX; ++n) {
        std::wstring path = folder + L"crash" + std::to_wstring(n) + L".bug";
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (!file) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return std::wstring();
        }
        DWORD length = static_cast<DWORD>(strlen(bugNumber));
        DWORD written = 0;
        bool ok = WriteFile(file.Get(), bugNumber, length, &written, nullptr) && written == length;
        return ok ? path : std::wstring();
    }
    return std::wstring();
}
