#include "relaunch.h"

#include "binaries/install_purge.h"
#include "command_line.h"
#include "copy_process.h"
#include "downloaded_path.h"
#include "launcher.h"
#include "localization.h"
#include "log.h"
#include "server_config.h"
#include "step_error.h"

#include <windows.h>

namespace {

constexpr size_t kCommandLineLimit = 1024;

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::wstring(full, length) : path;
}

bool RunsFromCopy(const std::wstring& target)
{
    wchar_t own[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    return _wcsicmp(FullPath(own).c_str(), FullPath(target).c_str()) == 0;
}

// What the copy needs free: the log file (deleted, the copy appends to a new
// one) and the single-instance mutex.
void ReleaseForCopy()
{
    HANDLE log = LogFileHandle();
    if (log) {
        FlushFileBuffers(log);
        LogClose();
    }
    const wchar_t* path = LogFilePath();
    if (path && path[0] && !DeleteFileW(path))
        OutputDebugStringW(L"Could not delete aborted log file");
    SharedMainWindow = nullptr;
    ReleaseSingleInstanceMutex();
}

// The copy did not start: this process goes on, logged and single.
void TakeBack(HWND window, const std::wstring& target, DWORD error, bool fromStep)
{
    const wchar_t* path = LogFilePath();
    if (path && path[0])
        LogOpen(path, true);
    if (!AcquireSingleInstanceMutex())
        LogWrite(L"Could not take the single-instance mutex back\n");
    SharedMainWindow = window;
    std::wstring system;
    AppendSystemErrorText(system, error, 1033);
    LogPrintf(L"Could not start %s\n%s\n", target.c_str(), system.c_str());
    if (fromStep) {
        std::wstring text;
        GetLocalizedText("FailedFileUpdate", text);
        text += L"\n" + DoubleBackslashes(target) + L"\n\n";
        AppendSystemErrorText(text, error, 1024);
        SetStepError(text, true);
    }
}

} // namespace

std::wstring BuildRelaunchCommandLine(const std::wstring& target, const wchar_t* commandLine)
{
    const wchar_t* arguments = SkipProgramName(commandLine);
    std::wstring line = L"\"" + target + L"\" -relaunched" + arguments;
    if (line.size() > kCommandLineLimit - 1)
        line.resize(kCommandLineLimit - 1);
    return line;
}

bool RelaunchLauncher(bool fromStep, bool exitAtOnce)
{
    if (IsDebuggerPresent())
        return false;
    std::wstring target = GetDownloadedFilePath(L"/Tools/Launcher.exe");
    if (target.empty())
        return false;
    if (!fromStep) {
        if (HasOption(L"-relaunched") || RunsFromCopy(target))
            return false;
        // Nothing to hand over to: keep the log and the mutex.
        if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;
    }
    std::wstring line = BuildRelaunchCommandLine(target, GetLauncherCommandLine());

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    HWND window = SharedMainWindow;
    RECT rect;
    if (window && GetWindowRect(window, &rect)) {
        startup.dwFlags = STARTF_USEPOSITION;
        startup.dwX = static_cast<DWORD>(rect.left);
        startup.dwY = static_cast<DWORD>(rect.top);
    }
    // The copy talks to the servers this launcher was configured with.
    HandOverServerConfig();
    ReleaseForCopy();
    DWORD error = ERROR_SUCCESS;
    if (!StartLauncherCopy(line, startup, error)) {
        TakeBack(window, target, error, fromStep);
        return false;
    }
    // Headless, the run's outcome is the copy's.
    if (exitAtOnce)
        ExitProcess(WaitsForLauncherCopy() ? static_cast<UINT>(WaitForLauncherCopy()) : 0);
    PostQuitMessage(0);
    return true;
}
