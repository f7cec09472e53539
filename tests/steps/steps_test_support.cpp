#include "steps_test_support.h"

#include "command_line.h"
#include "log.h"
#include "progress.h"
#include "requirement_queue.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "step_statistics.h"

namespace steps_test {


namespace {

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

PlainWindow::PlainWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = PlainWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"StepsTestWindow";
        RegisterClassW(&windowClass);
        registered = true;
    }
    window_ = CreateWindowExW(0, L"StepsTestWindow", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
}

PlainWindow::~PlainWindow()
{
    if (window_)
        DestroyWindow(window_);
}

StepHost::StepHost()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"StepsTestHost";
        RegisterClassW(&windowClass);
        registered = true;
    }
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

} // namespace steps_test
