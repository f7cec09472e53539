#include "launcher.h"

#include "browser_runtime.h"
#include "game_launch.h"
#include "log.h"
#include "machine/ready_to_play_step.h"
#include "requirement_queue.h"
#include "step_messages.h"
#include "step_page.h"
#include "step_statistics.h"

#include <mmsystem.h>

namespace {

// The ready page captures the first joystick for the main window; its
// button works as PLAY while the ready page is the current step and its
// main button is enabled. (The agreement page captures the joystick too,
// where the main button means AGREE.) With the browser its message hook
// has pressed the page's button already, or dropped the press. A press
// counts as a person's press on the button does: not while a box or dialog
// of the launcher is open over the window, nor before the page has been
// shown for a moment (pressedAt: the message's time).
void HandleJoystickButton(HWND window, DWORD pressedAt)
{
    HWND button = window ? GetDlgItem(window, IDC_MAIN_BUTTON) : nullptr;
    if (!button || !IsWindowEnabled(button) || !IsReadyPageCurrent())
        return;
    if (!IsWindowEnabled(window)) {
        LogPrintf(L"Ignored a press of the joystick's button: a window of the launcher is open over the "
                  L"main window\n");
        return;
    }
    if (!PressCountsForPage(pressedAt, StepPageShownAt())) {
        LogPrintf(L"Ignored a press of the joystick's button made before its page had been shown for %u ms\n",
                  PAGE_SETTLE_MS);
        return;
    }
    RecordExitStatistic(L"PlayButton");
    LaunchGame(window, 0, nullptr);
}

} // namespace

// While the browser runtime runs, a turn takes one message if there is one,
// mirrors the window into the page and runs the runtime's work when it is
// due; a turn with neither waits for the next message or until the work is
// due. Without the runtime the loop blocks for each message.
int RunMessageLoop(HWND window)
{
    for (;;) {
        MSG message;
        bool runtime = BrowserRuntimeRunning();
        bool taken;
        if (runtime) {
            taken = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
        } else {
            int result = GetMessageW(&message, nullptr, 0, 0);
            if (result == 0)
                return static_cast<int>(message.wParam);
            if (result < 0)
                return 0;
            taken = true;
        }
        if (taken) {
            if (message.message == WM_QUIT)
                return static_cast<int>(message.wParam);
            if (!CurrentStepPage || !IsDialogMessageW(CurrentStepPage, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
                if (message.message == MM_JOY1BUTTONDOWN)
                    HandleJoystickButton(window, static_cast<DWORD>(message.time));
            }
        }
        // A browser that was given up gets no mirror; its runtime still runs
        // until shutdown.
        bool browserWorked = CefEnabled ? UpdateCEF() : runtime && RunBrowserWork();
        if (runtime && !taken && !browserWorked)
            MsgWaitForMultipleObjectsEx(0, nullptr, BrowserWorkDueInMs(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}
