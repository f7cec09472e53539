#include "staged_files.h"

#include "localization.h"
#include "scoped_handles.h"
#include "log.h"
#include "step_error.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr wchar_t kStagedMark[] = L".cpy";

// Moves one staged file over its target; on failure sets the StepError.
bool InstallOne(const std::wstring& folder, const wchar_t* name, size_t targetLength)
{
    std::wstring source = folder + name;
    std::wstring target = folder + std::wstring(name, targetLength);
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        LogPrintf(L"Installed staged file %s\n", target.c_str());
        return true;
    }
    DWORD error = GetLastError();
    std::wstring reason;
    AppendSystemErrorText(reason, error, 1033);
    // The main chain clears the StepError when it is built, before any step
    // could show it, so the log is where this failure stays on record.
    LogPrintf(L"Could not install staged file %s: %s\n", target.c_str(), reason.c_str());
    std::wstring text;
    GetLocalizedText("FailedFileUpdate", text);
    text += L"\n";
    text += target;
    text += L"\n\n";
    text += reason;
    SetStepError(text, true);
    return false;
}

// Returns false once a file could not be installed (the search stops).
bool InstallBelow(const std::wstring& folder, int& installed)
{
    WIN32_FIND_DATAW found;
    FindHandle search(FindFirstFileW((folder + L"*").c_str(), &found));
    if (!search)
        return true;
    do {
        // A junction or link leads out of the runtime's folder; a staged file
        // is never one either.
        if (found.dwFileAttributes &
            (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
                continue;
            if (!InstallBelow(folder + found.cFileName + L"\\", installed))
                return false;
            continue;
        }
        const wchar_t* mark = wcsstr(found.cFileName, kStagedMark);
        // A name that is nothing but the mark names no file to replace.
        if (!mark || mark == found.cFileName)
            continue;
        if (!InstallOne(folder, found.cFileName, static_cast<size_t>(mark - found.cFileName)))
            return false;
        ++installed;
    } while (FindNextFileW(search.Get(), &found));
    return true;
}

} // namespace

std::wstring BrowserRuntimeFolderFor(const wchar_t* exePath)
{
    std::wstring folder(exePath);
    size_t slash = folder.rfind(L'\\');
    folder.erase(slash == std::wstring::npos ? 0 : slash + 1);
    size_t code = folder.find(L"\\Code\\");
    if (code != std::wstring::npos)
        folder.replace(code, std::wstring::npos, L"\\Tools\\");
    return folder + L"CEF3_1\\";
}

int InstallStagedFilesIn(const std::wstring& folder)
{
    int installed = 0;
    InstallBelow(folder, installed);
    return installed;
}

void InstallStagedFiles()
{
    wchar_t exePath[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    InstallStagedFilesIn(BrowserRuntimeFolderFor(exePath));
}
