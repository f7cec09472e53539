#include "step_message_handlers.h"

#include "launcher.h"
#include "localization.h"
#include "motd_buffer.h"
#include "page_text.h"
#include "requirement_queue.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "text_pane.h"

namespace {

constexpr size_t PAGE_TEXT_CAPACITY = 1024;

LRESULT ShowMessageOfTheDay(HWND window)
{
    if (MotdShown)
        return 0;
    const char* text = MotdBuffer.empty() ? nullptr : MotdBuffer.data();
    SendMessageW(window, WM_STEP_SHOW_TEXT, 1, reinterpret_cast<LPARAM>(text));
    MotdShown = text != nullptr;
    return 0;
}

LRESULT ShowPageText(HWND window, LPARAM key)
{
    wchar_t text[PAGE_TEXT_CAPACITY] = {};
    GetLocalizedTextBuffer(reinterpret_cast<const char*>(key), text, PAGE_TEXT_CAPACITY);
    SendMessageW(window, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text));
    return 0;
}

LRESULT Dispatch(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam)
{
    switch (messageId) {
    case WM_STEP_NEXT:
        if (!CurrentStepPage)
            RunQueue(window);
        return 0;
    case WM_STEP_SUCCEEDED:
        CompleteFrontStep(window, true);
        return 0;
    case WM_STEP_FAILED:
        ReplaceChain(window, static_cast<int>(lParam));
        return 0;
    case WM_STEP_SHOW_MOTD:
        return ShowMessageOfTheDay(window);
    case WM_STEP_SHOW_TEXT:
        return CefEnabled ? ShowTextInPage(window, wParam, lParam) : ShowTextInPane(window, wParam, lParam);
    case WM_STEP_PAGE_SHOWN:
        return ShowPageText(window, lParam);
    default:
        return 0;
    }
}

} // namespace

LRESULT HandleStepMessage(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam)
{
    switch (ClassifyStepMessage(messageId, wParam, lParam, CurrentStepPage, IsQueueRunning())) {
    case StepMessageAction::Defer:
        DeferStepMessage(window, messageId, wParam, lParam);
        return 0;
    case StepMessageAction::Ignore:
        return 0;
    case StepMessageAction::Handle:
        break;
    }
    LRESULT result = Dispatch(window, messageId, wParam, lParam);
    ReplayDeferredStepMessages();
    return result;
}
