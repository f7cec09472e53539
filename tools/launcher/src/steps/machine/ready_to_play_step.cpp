#include "ready_to_play_step.h"

#include "button_subclass.h"
#include "game_launch.h"
#include "launcher.h"
#include "localization.h"
#include "log.h"
#include "page_bridge.h"
#include "requirement_queue.h"
#include "settings_store.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

#include <mmsystem.h>

bool ReadyToPlayShown = false;
UINT ReadyPageRebuildMs = 30 * 60 * 1000;
bool (*IsRemoteSession)() = [] { return GetSystemMetrics(SM_REMOTESESSION) != 0; };

namespace {

constexpr UINT_PTR REBUILD_TIMER = 1;

// The ready page while it exists.
HWND ReadyPage = nullptr;

void Launch(HWND page)
{
    LaunchGame(page, DedicatedMode ? 1 : 0, nullptr);
}

void InitPage(HWND page)
{
    ReadyPage = page;
    if (HeadlessMode) {
        ReadyToPlayShown = true;
        Launch(page);
        return;
    }
    HWND parent = GetParent(page);
    // The interface's own chime; nothing without a browser.
    if (CefEnabled)
        ExecuteScript(L"playDownloadEndSound();");
    SetWindowTextByKey(GetDlgItem(parent, IDC_STATUS_TEXT), "READY_TO_PLAY", true);
    HWND play = GetDlgItem(parent, IDC_MAIN_BUTTON);
    EnableWindow(play, TRUE);
    SetWindowTextByKey(play, "PLAY", true);
    FocusActionButton(play);
    joySetCapture(parent, JOYSTICKID1, 0, FALSE);
    SetTimer(page, REBUILD_TIMER, ReadyPageRebuildMs, nullptr);
    ReadyToPlayShown = true;
}

} // namespace

bool IsReadyPageCurrent()
{
    return ReadyPage && CurrentStepPage == ReadyPage;
}

HWND ReqReadyToPlay::Run(HWND parent)
{
    if (HeadlessMode || !IsRemoteSession()) {
        DeleteSetting(L"OfflineInstall");
        return ShowStepPage(parent, DialogProc, 0);
    }
    kind = STEP_PROGRESS_HIDDEN;
    return ShowStepPage(parent, QuitPageProc, reinterpret_cast<LPARAM>("NO_REMOTE"));
}

INT_PTR CALLBACK ReqReadyToPlay::DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitPage(page);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDC_MAIN_BUTTON) {
            Launch(page);
            EnableWindow(GetDlgItem(GetParent(page), IDC_MAIN_BUTTON), FALSE);
            return 1;
        }
        return 0;
    case WM_TIMER:
        if (wParam == REBUILD_TIMER) {
            // Once: the chain that follows makes a new page.
            KillTimer(page, REBUILD_TIMER);
            PostStepFailed(GetParent(page), page, CHAIN_MAIN);
        }
        return 0;
    case WM_DESTROY:
        KillTimer(page, REBUILD_TIMER);
        if (ReadyPage == page)
            ReadyPage = nullptr;
        return 0;
    default:
        return 0;
    }
}
