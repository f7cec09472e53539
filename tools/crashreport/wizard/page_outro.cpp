// OutroPage: the crash server's verdict on the report, and the bug number
// to quote to support.
#include "wizard_pages.h"

#include "resource_ids.h"
#include "texts.h"

namespace {

void ShowOutcome(HWND page, const WizardContext& context)
{
    switch (GetReportOutcome(context)) {
    case REPORT_FAILED:
        SetDlgItemTextByKey(page, IDC_SUMMARY, "STRING_OUTRO_SUMMARY_FAILURE");
        SetDlgItemTextByKey(page, IDC_DESCRIPTION, "STRING_OUTRO_DESCRIPTION_FAILURE");
        SetWizardButtons(page, PSWIZB_FINISH);
        break;
    case REPORT_REJECTED: {
        SetDlgItemTextByKey(page, IDC_SUMMARY, "STRING_OUTRO_SUMMARY_REJECTED");
        // A long name is cut so that the sentence after it still fits.
        std::wstring after;
        GetLocalizedText("STRING_OUTRO_POST_SUSPECT_TEXT", after);
        SetDlgItemTextByKey(page, IDC_DESCRIPTION, "STRING_OUTRO_PRE_SUSPECT_TEXT");
        AppendDlgItemTextCut(page, IDC_DESCRIPTION, AnswerTextToWide(context.answer.suspectText).c_str(),
                             after.size());
        AppendDlgItemText(page, IDC_DESCRIPTION, after.c_str());
        SetWizardButtons(page, PSWIZB_BACK | PSWIZB_FINISH);
        break;
    }
    case REPORT_FIXED:
        SetDlgItemTextByKey(page, IDC_SUMMARY, "STRING_OUTRO_SUMMARY_FIXED");
        SetDlgItemTextByKey(page, IDC_DESCRIPTION, "STRING_OUTRO_DESCRIPTION_FIXED");
        SetWizardButtons(page, PSWIZB_BACK | PSWIZB_FINISH);
        break;
    case REPORT_SUBMITTED:
        SetDlgItemTextByKey(page, IDC_SUMMARY, "STRING_OUTRO_SUMMARY_SUCCESS");
        SetDlgItemTextByKey(page, IDC_DESCRIPTION, "STRING_OUTRO_DESCRIPTION_SUCCESS");
        SetWizardButtons(page, PSWIZB_BACK | PSWIZB_FINISH);
        break;
    }

    if (context.answer.bugNumber[0] != 0) {
        AppendDlgItemText(page, IDC_DESCRIPTION, L"\r\n\r\n");
        AppendDlgItemTextByKey(page, IDC_DESCRIPTION, "STRING_OUTRO_INCLUDE_BUG_NUMBER");
        AppendDlgItemText(page, IDC_DESCRIPTION, L"\r\n\r\n");
        SetControlText(page, IDC_BUG_NUMBER, AnswerTextToWide(context.answer.bugNumber).c_str());
        ShowPageControl(page, IDC_BUG_NUMBER, true);
    }
}

INT_PTR OnOutroNotify(HWND page, const NMHDR* notification)
{
    switch (notification->code) {
    case PSN_SETACTIVE:
        PropSheet_CancelToClose(GetParent(page));
        ShowOutcome(page, *GetPageContext(page));
        return SetPageResult(page, 0);
    case PSN_WIZBACK:
        return SetPageResult(page, IDD_SUBMIT_PAGE);
    default:
        return FALSE;
    }
}

} // namespace

void AddOutroPage(PageList& pages, WizardContext* context)
{
    pages.push_back(MakeWizardPage(IDD_OUTRO_PAGE, OutroPageProc, context, PSP_HIDEHEADER));
}

int CALLBACK BugNumberWordBreakProc(LPWSTR, int, int, int action)
{
    return action == WB_RIGHT ? -1 : 0;
}

INT_PTR CALLBACK OutroPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        WizardContext* context = KeepPageContext(page, lParam);
        SendDlgItemMessageW(page, IDC_SUMMARY, WM_SETFONT, reinterpret_cast<WPARAM>(context->titleFont),
                            TRUE);
        SendDlgItemMessageW(page, IDC_BUG_NUMBER, EM_SETWORDBREAKPROC, 0,
                            reinterpret_cast<LPARAM>(BugNumberWordBreakProc));
        return TRUE;
    }
    case WM_NOTIFY:
        return OnOutroNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    default:
        return FALSE;
    }
}
