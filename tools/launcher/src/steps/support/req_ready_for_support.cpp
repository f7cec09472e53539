#include "req_ready_for_support.h"

#include "button_subclass.h"
#include "localization.h"
#include "shell_open.h"
#include "step_messages.h"
#include "step_page.h"
#include "support/support_folder.h"

HWND ReqReadyForSupport::Run(HWND parent)
{
    return ShowStepPage(parent, PageProc, 0);
}

INT_PTR CALLBACK ReqReadyForSupport::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM)
{
    HWND parent = GetParent(page);
    switch (message) {
    case WM_INITDIALOG: {
        SetDlgItemTextByKey(parent, IDC_STATUS_TEXT, "READY_FOR_SUPPORT");
        HWND button = GetDlgItem(parent, IDC_MAIN_BUTTON);
        EnableWindow(button, TRUE);
        SetWindowTextByKey(button, "OPEN", true);
        FocusActionButton(button);
        return FALSE;
    }
    case WM_COMMAND:
        if (wParam == IDC_MAIN_BUTTON) {
            ShellExecuteFunction(nullptr, L"open", GetSupportLogFolder(), nullptr, nullptr, SW_SHOWDEFAULT);
            PostQuitMessage(0);
        }
        return FALSE;
    default:
        return FALSE;
    }
}
