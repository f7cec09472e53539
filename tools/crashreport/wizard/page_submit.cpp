// SubmitPage: attaches the crash files and posts the report, one step per
// timer tick, showing what it is doing; on in-house machines it then offers
// the issue tracker's entry of the report. The POST may take minutes: the
// sheet's messages go on meanwhile, and its Cancel ends the wait.
#include "wizard_pages.h"

#include <commctrl.h>

#include <string>

#include "attach.h"
#include "crash_endpoint.h"
#include "in_house.h"
#include "resource_ids.h"
#include "send_wait.h"
#include "server_config.h"
#include "shell_open.h"
#include "texts.h"
#include "transport.h"

namespace {

void StartSubmitTimer(HWND page)
{
    SetTimer(page, SUBMIT_TIMER_ID, SUBMIT_TIMER_MS, nullptr);
}

void StartAnimation(HWND page)
{
    HWND animation = GetDlgItem(page, IDC_PROGRESS_ANIMATION);
    ShowWindow(animation, SW_SHOW);
    Animate_OpenEx(animation, GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_PROGRESS_AVI));
}

void StopAnimation(HWND page)
{
    HWND animation = GetDlgItem(page, IDC_PROGRESS_ANIMATION);
    Animate_Close(animation);
    ShowWindow(animation, SW_HIDE);
}

// Only a bug number of the tracker's own form goes into the address: the
// shell would open anything else it makes of the text.
bool HasTrackerEntry(const WizardContext& context)
{
    return IsInHouseMachine() && IsSafeBugNumber(context.answer.bugNumber);
}

void OpenIssueTrackerEntry(HWND page, const WizardContext& context)
{
    if (!HasTrackerEntry(context))
        return;
    std::wstring address = GetIssueTrackerBrowseUrl() + AnswerTextToWide(context.answer.bugNumber);
    OpenWithShell(page, L"open", address.c_str(), SW_SHOWNORMAL);
}

INT_PTR OnSubmitNotify(HWND page, const NMHDR* notification)
{
    WizardContext& context = *GetPageContext(page);
    switch (notification->code) {
    case PSN_SETACTIVE:
        SetPageHeaderTitleByKey(page, "STRING_REPORTING_PROBLEM");
        // Coming back from OutroPage: the report went once, it does not go
        // again.
        if (context.submitStep == SUBMIT_STEP_FINISHED)
            SetWizardButtons(page, PSWIZB_NEXT);
        else
            AdvanceSubmitStep(page, context);
        return SetPageResult(page, 0);
    case PSN_KILLACTIVE:
        StopAnimation(page);
        KillTimer(page, SUBMIT_TIMER_ID);
        return SetPageResult(page, FALSE);
    case PSN_WIZNEXT:
        // No page move while the POST's wait runs inside this page.
        return SetPageResult(page, context.sending ? -1 : IDD_OUTRO_PAGE);
    case PSN_QUERYCANCEL:
        // The sheet closes as Cancel always closes it; the wait ends first
        // and the report counts as not sent.
        if (context.sending)
            context.sendCancelled = true;
        return SetPageResult(page, FALSE);
    default:
        return FALSE;
    }
}

} // namespace

void AddSubmitPage(PageList& pages, WizardContext* context)
{
    pages.push_back(MakeWizardPage(IDD_SUBMIT_PAGE, SubmitPageProc, context, PSP_USEHEADERTITLE));
}

void AdvanceSubmitStep(HWND page, WizardContext& context)
{
    switch (++context.submitStep) {
    case 1:
        SetWizardButtons(page, 0);
        SetDlgItemTextByKey(page, IDC_PROGRESS_TEXT, "STRING_BUILDING_SEND_REQUEST");
        StartAnimation(page);
        AttachCrashFiles(*context.body, context.folder);
        StartSubmitTimer(page);
        break;
    case 2:
        // The timer would run the next step inside the wait.
        KillTimer(page, SUBMIT_TIMER_ID);
        SetDlgItemTextByKey(page, IDC_PROGRESS_TEXT, "STRING_SUBMITTING_ISSUE");
        context.sending = true;
        context.failed =
            !PostCrashReport(CrashEndpointUrl().c_str(), ReportBodyText(*context.body), context.answer, true,
                             PumpingSendWaiter(GetParent(page), &context.sendCancelled));
        context.sending = false;
        StartSubmitTimer(page);
        break;
    case SUBMIT_STEP_FINISHED:
        KillTimer(page, SUBMIT_TIMER_ID);
        SetWizardButtons(page, PSWIZB_NEXT);
        ShowPageControl(page, IDC_DETAILS, HasTrackerEntry(context));
        StopAnimation(page);
        break;
    default:
        break;
    }
}

void OnSubmitTimer(HWND page, WizardContext& context)
{
    switch (context.submitStep) {
    case 1:
    case 2:
        // The POST of step 2 may have delivered nothing.
        AppendDlgItemTextByKey(page, IDC_PROGRESS_TEXT,
                               context.submitStep == 2 && context.failed ? "STRING_FAILED" : "STRING_DONE");
        AdvanceSubmitStep(page, context);
        break;
    case SUBMIT_STEP_FINISHED:
        break;
    default:
        context.submitStep = SUBMIT_STEP_FINISHED;
        AppendDlgItemTextByKey(page, IDC_PROGRESS_TEXT, "STRING_FAILED");
        AppendDlgItemTextByKey(page, IDC_PROGRESS_TEXT, "STRING_CONNECTION_LOST");
        SetWizardButtons(page, PSWIZB_NEXT);
        ShowPageControl(page, IDC_PROGRESS_ANIMATION, false);
        KillTimer(page, SUBMIT_TIMER_ID);
        break;
    }
}

INT_PTR CALLBACK SubmitPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepPageContext(page, lParam);
        ShowPageControl(page, IDC_DETAILS, false);
        SetDlgItemTextByKey(page, IDC_DETAILS, "STRING_DETAILS");
        return TRUE;
    case WM_NOTIFY:
        return OnSubmitNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam != SUBMIT_TIMER_ID)
            return FALSE;
        OnSubmitTimer(page, *GetPageContext(page));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_DETAILS && HIWORD(wParam) == BN_CLICKED) {
            OpenIssueTrackerEntry(page, *GetPageContext(page));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
