#include "main_window_commands.h"

#include "browser_runtime.h"
#include "button_subclass.h"
#include "launcher.h"
#include "localization.h"
#include "log.h"
#include "popups.h"
#include "requirement_queue.h"
#include "dialogs/settings_dialog.h"
#include "step_messages.h"
#include "step_page.h"
#include "step_statistics.h"
#include "test_keys.h"

namespace {

// Set while WM_CLOSE sends its IDC_CLOSE command.
bool ClosingFromSystem = false;

bool KeyHeld(int key)
{
    return GetKeyState(key) < 0;
}

// A person's click whose press began before the current page had been on
// screen for a moment belongs to the page before it (the second half of a
// double click on the previous page's button): the current page must not
// take it. Clicks that no person made are the program's own and count.
bool IsClickForAnEarlierPage(WPARAM wParam, LPARAM lParam)
{
    DWORD pressBegan = 0;
    if (HIWORD(wParam) != BN_CLICKED || !ClickInProgress(reinterpret_cast<HWND>(lParam), &pressBegan))
        return false;
    if (PressCountsForPage(pressBegan, StepPageShownAt()))
        return false;
    LogPrintf(L"Ignored a click on button %d that began before its page had been shown for %u ms\n",
              LOWORD(wParam), PAGE_SETTLE_MS);
    return true;
}

void Close(HWND window)
{
    if (!ClosingFromSystem)
        RecordExitStatistic(L"CloseButton");
    if (RequirementQueue.size() < 2) {
        PostQuitMessage(0);
        return;
    }
    if (MessageBoxByKey(window, "CONFIRM_QUIT", "QUIT", MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) ==
        IDOK)
        PostQuitMessage(0);
}

void Settings(HWND window)
{
    if (KeyHeld(VK_CONTROL) && KeyHeld(VK_MENU)) {
        if (KeyHeld('G')) {
            TestCrash();
            return;
        }
        if (KeyHeld('A')) {
            TestAssert();
            return;
        }
        if (CefEnabled && KeyHeld('C')) {
            ShowStartPage(true);
            return;
        }
    }
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), window, SettingsDialogProc, 0);
}

} // namespace

LRESULT HandleMainWindowCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (CurrentStepPage && !IsClickForAnEarlierPage(wParam, lParam))
        SendMessageW(CurrentStepPage, WM_COMMAND, wParam, lParam);

    const WORD code = HIWORD(wParam);
    const WORD id = LOWORD(wParam);
    if (code != 0) {
        if (code == NOTIFY_BUTTON_DOWN && id == IDC_LANGUAGE)
            OpenLanguagePopup(window, GetDlgItem(window, IDC_LANGUAGE));
        else if (code == NOTIFY_BUTTON_DOWN && id == IDC_CLUSTER)
            OpenClusterPopup(window, GetDlgItem(window, IDC_CLUSTER));
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
    switch (id) {
    case IDC_CLOSE:
        Close(window);
        return 0;
    case IDC_MINIMIZE:
        ShowWindow(window, SW_MINIMIZE);
        return 0;
    case IDC_SETTINGS:
        Settings(window);
        return 0;
    default:
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

LRESULT HandleMainWindowClose(HWND window)
{
    RecordExitStatistic(L"AltF4");
    ClosingFromSystem = true;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, 0), 0);
    ClosingFromSystem = false;
    return 0;
}
