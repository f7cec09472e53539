#include "applet_test_support.h"

#include "clusters.h"
#include "launcher_settings.h"
#include "step_error.h"
#include "step_messages.h"

#include <commctrl.h>

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

namespace {

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

ParentWindow::ParentWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"AppletTestParent";
        RegisterClassW(&windowClass);
        registered = true;
    }
    window_ = CreateWindowExW(0, L"AppletTestParent", L"", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 300, 20, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_TEXT)), nullptr, nullptr);
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 30, 300, 20, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS)), nullptr, nullptr);
    SendMessageW(bar, PBM_SETRANGE32, 0, 0x10000);
}

ParentWindow::~ParentWindow()
{
    if (window_)
        DestroyWindow(window_);
}

std::wstring ParentWindow::StatusText() const
{
    wchar_t text[256] = {};
    GetDlgItemTextW(window_, IDC_STATUS_TEXT, text, 256);
    return text;
}

int ParentWindow::ProgressPosition() const
{
    return static_cast<int>(SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_GETPOS, 0, 0));
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
