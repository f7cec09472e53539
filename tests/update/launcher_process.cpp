#include "launcher_process.h"

#include "test_support.h"

LauncherProcess::LauncherProcess(const std::wstring& arguments)
{
    std::wstring line = L"\"" + testing_support::BuildFolder() + L"\\Launcher.exe\" " + arguments;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
    }
}

LauncherProcess::~LauncherProcess()
{
    Kill();
}

bool LauncherProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool LauncherProcess::WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (done())
            return true;
        if (!Running())
            return false;
        Sleep(10);
    }
    return false;
}

void LauncherProcess::Kill()
{
    if (!process_)
        return;
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 15000);
    CloseHandle(process_);
    process_ = nullptr;
}

int64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
