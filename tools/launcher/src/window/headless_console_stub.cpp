// Stand-in for the headless console window until it is part of the
// launcher: it answers the step messages in place of the main window and
// writes the texts it is given to the log.
#include "main_window.h"

#include "launcher.h"
#include "localization.h"
#include "log.h"
#include "requirement_queue.h"
#include "step_message_gate.h"
#include "step_messages.h"

namespace {

void LogShownText(WPARAM wParam, LPARAM lParam)
{
    if (!lParam)
        return;
    if (wParam == 1)
        LogWrite(L"RTF\n");
    else
        LogWrite(reinterpret_cast<const wchar_t*>(lParam));
}

void LogPageText(LPARAM lParam)
{
    wchar_t text[1024] = {};
    GetLocalizedTextBuffer(reinterpret_cast<const char*>(lParam), text, 1024);
    LogWrite(text);
}

} // namespace

INT_PTR CALLBACK HeadlessDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        if (SharedMainWindow == dialog)
            SharedMainWindow = nullptr;
        break;
    case WM_STEP_SUCCEEDED:
    case WM_STEP_FAILED:
        switch (ClassifyStepMessage(message, wParam, lParam, CurrentStepPage, IsQueueRunning())) {
        case StepMessageAction::Defer:
            DeferStepMessage(dialog, message, wParam, lParam);
            break;
        case StepMessageAction::Ignore:
            break;
        case StepMessageAction::Handle:
            if (message == WM_STEP_SUCCEEDED)
                CompleteFrontStep(dialog, false);
            else
                ReplaceChain(dialog, static_cast<int>(lParam));
            ReplayDeferredStepMessages();
            break;
        }
        break;
    case WM_STEP_SHOW_TEXT:
        LogShownText(wParam, lParam);
        break;
    case WM_STEP_PAGE_SHOWN:
        LogPageText(lParam);
        break;
    default:
        break;
    }
    return 0;
}
