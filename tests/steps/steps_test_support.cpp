#include "steps_test_support.h"

#include <commctrl.h>

#include "command_line.h"
#include "localization.h"
#include "log.h"
#include "progress.h"
#include "requirement_queue.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "step_statistics.h"

namespace steps_test {

namespace {

// Registers the window class name once per process.
void RegisterOnce(const wchar_t* name, WNDPROC proc)
{
    WNDCLASSW windowClass = {};
    if (GetClassInfoW(GetModuleHandleW(nullptr), name, &windowClass))
        return;
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

} // namespace

PlainWindow::PlainWindow(bool mainWindowItems)
{
    RegisterOnce(L"StepsTestWindow", DefWindowProcW);
    window_ = CreateWindowExW(0, L"StepsTestWindow", L"", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!mainWindowItems)
        return;
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 300, 20, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_TEXT)), nullptr, nullptr);
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 30, 300, 20, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS)), nullptr, nullptr);
    SendMessageW(bar, PBM_SETRANGE32, 0, 0x10000);
}

std::wstring PlainWindow::StatusText() const
{
    wchar_t text[256] = {};
    GetDlgItemTextW(window_, IDC_STATUS_TEXT, text, 256);
    return text;
}

PlainWindow::~PlainWindow()
{
    if (window_)
        DestroyWindow(window_);
}

StepHost::StepHost()
{
    RegisterOnce(L"StepsTestHost", Proc);
    window_ = CreateWindowExW(0, L"StepsTestHost", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                              GetModuleHandleW(nullptr), this);
    for (int id : {IDC_MAIN_BUTTON, IDC_ALT_BUTTON, IDC_STATUS_TEXT})
        CreateWindowExW(0, id == IDC_STATUS_TEXT ? L"Static" : L"Button", L"", WS_CHILD | WS_DISABLED, 0, 0,
                        10, 10, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

StepHost::~StepHost()
{
    if (window_)
        DestroyWindow(window_);
}

bool StepHost::WaitForEnd(DWORD timeoutMs)
{
    int ends = succeeded + failed;
    DWORD start = GetTickCount();
    while (succeeded + failed == ends && GetTickCount() - start < timeoutMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        PumpMessages();
    }
    return succeeded + failed != ends;
}

LRESULT CALLBACK StepHost::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* host = reinterpret_cast<StepHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!host)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_STEP_SUCCEEDED:
        ++host->succeeded;
        if (host->driveQueue && reinterpret_cast<HWND>(lParam) == CurrentStepPage)
            CompleteFrontStep(window, false);
        return 0;
    case WM_STEP_FAILED:
        ++host->failed;
        return 0;
    case WM_STEP_SHOW_TEXT:
        host->shownAgreementAtText.push_back(ShownAgreement);
        if (wParam == 1)
            host->narrowTexts.push_back(lParam ? reinterpret_cast<const char*>(lParam) : "");
        else
            host->wideTexts.push_back(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        return 0;
    case WM_STEP_PAGE_SHOWN:
        host->pageKeys.push_back(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool TakeQuitMessage()
{
    MSG message;
    bool found = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            found = true;
        else
            DispatchMessageW(&message);
    }
    return found;
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        DispatchMessageW(&message);
    }
}

void ResetQueueState()
{
    RequirementQueue.clear();
    DoneWeight = 0.0f;
    TotalStepTime = 0;
    CurrentStepPage = nullptr;
    BrowserCommandTarget = nullptr;
    ReadyToPlayReached = false;
    SentPageProgress = 0.0f;
    StepStatistics.clear();
    SetCommandLineForTest(nullptr);
}

std::wstring Text(const char* key)
{
    std::wstring text;
    GetLocalizedText(key, text);
    return text;
}

} // namespace steps_test
