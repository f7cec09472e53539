#include "steps_test_support.h"

#include "command_line.h"
#include "log.h"
#include "progress.h"
#include "requirement_queue.h"
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
