#include "applet_test_support.h"

#include "clusters.h"
#include "launcher_settings.h"
#include "step_error.h"
#include "step_messages.h"

using testing_support::BuildFolder;
using testing_support::ReadFileBytes;

namespace applet_test {

GameInstall::GameInstall()
{
    DownloadFolder = download_.path();
    ServerCluster = SC_PUBLIC;
    SingleClusterMode = false;
    ResetClusterInstallDirsForTest();
    ready_ = CreateDirectoryW(InstallDir().c_str(), nullptr) &&
             CopyFileW((BuildFolder() + L"\\Vantorel.x64.exe").c_str(), Exe().c_str(), FALSE);
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", RecordPath().c_str());
}

GameInstall::~GameInstall()
{
    SetEnvironmentVariableW(L"VANTOREL_STANDIN", nullptr);
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", nullptr);
    ResetLauncherSettingsForTest();
    ResetClusterInstallDirsForTest();
}

std::wstring GameInstall::InstallDir() const
{
    return download_ / L"Public";
}

void GameInstall::Script(const std::wstring& script)
{
    SetEnvironmentVariableW(L"VANTOREL_STANDIN", script.c_str());
}

std::string GameInstall::Record() const
{
    return ReadFileBytes(RecordPath());
}

StepOutcome RunStepToEnd(Requirement& step, HWND parent, DWORD limitMs, void (*onTick)(Requirement&, HWND))
{
    StepOutcome outcome;
    HWND page = step.Run(parent);
    if (!page) {
        outcome.finishedAtOnce = true;
        return outcome;
    }
    ULONGLONG end = GetTickCount64() + limitMs;
    while (!outcome.succeeded && !outcome.failed && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.hwnd == parent && message.message == WM_STEP_SUCCEEDED) {
                outcome.succeeded = true;
            } else if (message.hwnd == parent && message.message == WM_STEP_FAILED) {
                outcome.failed = true;
                outcome.chain = static_cast<int>(message.lParam);
            } else {
                DispatchMessageW(&message);
            }
        }
        if (onTick && IsWindow(page))
            onTick(step, page);
    }
    if (IsWindow(page))
        DestroyWindow(page);
    return outcome;
}

std::wstring StepErrorText()
{
    std::wstring text;
    bool fatal = false;
    GetStepError(text, fatal);
    return text;
}

} // namespace applet_test
