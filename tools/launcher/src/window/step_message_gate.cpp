#include "step_message_gate.h"

#include "requirement_queue.h"
#include "step_messages.h"

#include <vector>

namespace {

std::vector<MSG> Deferred;

} // namespace

StepMessageAction ClassifyStepMessage(UINT messageId, WPARAM wParam, LPARAM lParam, HWND currentPage,
                                      bool queueRunning)
{
    switch (messageId) {
    case WM_STEP_NEXT:
        return queueRunning ? StepMessageAction::Defer : StepMessageAction::Handle;
    case WM_STEP_SUCCEEDED:
        if (queueRunning)
            return StepMessageAction::Defer;
        return currentPage && reinterpret_cast<HWND>(lParam) == currentPage ? StepMessageAction::Handle
                                                                            : StepMessageAction::Ignore;
    case WM_STEP_FAILED:
        if (queueRunning)
            return StepMessageAction::Defer;
        return !wParam || reinterpret_cast<HWND>(wParam) == currentPage ? StepMessageAction::Handle
                                                                        : StepMessageAction::Ignore;
    default:
        return StepMessageAction::Handle;
    }
}

void PostStepSucceeded(HWND page)
{
    PostMessageW(GetParent(page), WM_STEP_SUCCEEDED, 0, reinterpret_cast<LPARAM>(page));
}

void PostStepFailed(HWND window, HWND page, int chainType)
{
    PostMessageW(window, WM_STEP_FAILED, reinterpret_cast<WPARAM>(page), chainType);
}

void DeferStepMessage(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam)
{
    MSG message = {};
    message.hwnd = window;
    message.message = messageId;
    message.wParam = wParam;
    message.lParam = lParam;
    Deferred.push_back(message);
}

void ReplayDeferredStepMessages()
{
    if (IsQueueRunning() || Deferred.empty())
        return;
    std::vector<MSG> replay;
    replay.swap(Deferred);
    for (const MSG& message : replay)
        PostMessageW(message.hwnd, message.message, message.wParam, message.lParam);
}
