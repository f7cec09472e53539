#include "step_error.h"

#include "localization.h"
#include "log.h"
#include "wideformat.h"

#include <shlobj.h>

#include <cwctype>

namespace {

CRITICAL_SECTION StepErrorLock;
bool StepErrorLockReady = false;
std::wstring StepErrorText;
bool StepErrorFatal = false;

class LockGuard {
public:
    LockGuard() { EnterCriticalSection(&StepErrorLock); }
    ~LockGuard() { LeaveCriticalSection(&StepErrorLock); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
};

} // namespace

void CreateStepErrorLock()
{
    if (StepErrorLockReady)
        return;
    InitializeCriticalSection(&StepErrorLock);
    StepErrorLockReady = true;
}

void DeleteStepErrorLock()
{
    if (!StepErrorLockReady)
        return;
    StepErrorLockReady = false;
    DeleteCriticalSection(&StepErrorLock);
}

void SetStepError(const std::wstring& text, bool fatal)
{
    LockGuard guard;
    if (&text != &StepErrorText)
        StepErrorText = text;
    StepErrorFatal = fatal;
}

void SetStepErrorKey(const char* key, bool fatal)
{
    std::wstring text;
    GetLocalizedText(key, text);
    SetStepError(text, fatal);
}

void GetStepError(std::wstring& text, bool& fatal)
{
    LockGuard guard;
    text = StepErrorText;
    fatal = StepErrorFatal;
}

void AppendSystemErrorText(std::wstring& text, DWORD code, DWORD languageId)
{
    wchar_t message[256] = {};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  languageId, message, 256, nullptr);
    if (length >= 256)
        length = 255;
    while (length > 0 && iswspace(message[length - 1]))
        --length;
    if (length > 0) {
        text.append(message, length);
        text += L' ';
    }
    wchar_t bracket[16];
    LegacySnwprintf(bracket, 16, L"[0x%08X]", code);
    bracket[15] = 0;
    text += bracket;
}

bool CreateDirectoryChecked(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        int result = SHCreateDirectoryExW(nullptr, path, nullptr);
        if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS)
            return true;
        LogPrintf(L"Could not create directory %s\n", path);
        std::wstring text;
        GetLocalizedText("FailedDirCreate", text);
        text += L"\n";
        text += path;
        text += L"\n\n";
        AppendSystemErrorText(text, static_cast<DWORD>(result), 1024);
        SetStepError(text, true);
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        LogPrintf(L"Could not create directory %s (already exists as a file)\n", path);
        std::wstring text;
        GetLocalizedText("FailedDirCreate", text);
        text += L"\n";
        text += path;
        text += L"\n";
        std::wstring exists;
        GetLocalizedText("DirExistsAsFile", exists);
        text += exists;
        SetStepError(text, true);
        return false;
    }
    return true;
}
