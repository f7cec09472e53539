// ReproStepsPage: the user describes what they were doing; the text goes
// into the report as its UserComment when the user moves on.
#include "wizard_pages.h"

#include <string>

#include "resource_ids.h"
#include "texts.h"
#include "user_comment.h"

namespace {

// Adds the edit's text to the report. Every Next with text adds it again,
// so a user who goes back and forth sends the field more than once.
void AppendReproSteps(HWND page, WizardContext& context)
{
    HWND edit = GetDlgItem(page, IDC_REPRO_EDIT);
    int length = GetWindowTextLengthW(edit);
    if (length <= 0)
        return;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int read = GetWindowTextW(edit, text.data(), length + 1);
    if (read <= 0)
        return;
    text.resize(static_cast<size_t>(read));
    AppendUserComment(*context.body, text.c_str());
}

INT_PTR OnReproStepsNotify(HWND page, const NMHDR* notification)
{
    switch (notification->code) {
    case PSN_SETACTIVE:
        SetPageHeaderTitleByKey(page, "STRING_REPRO_STEPS");
        SetWizardButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
        return SetPageResult(page, 0);
    case PSN_WIZBACK:
        return SetPageResult(page, IDD_INTRO_PAGE);
    case PSN_WIZNEXT:
        AppendReproSteps(page, *GetPageContext(page));
        return SetPageResult(page, IDD_SUBMIT_PAGE);
    default:
        return FALSE;
    }
}

} // namespace

void AddReproStepsPage(PageList& pages, WizardContext* context)
{
    pages.push_back(MakeWizardPage(IDD_REPRO_STEPS_PAGE, ReproStepsPageProc, context, PSP_USEHEADERTITLE));
}

INT_PTR CALLBACK ReproStepsPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        KeepPageContext(page, lParam);
        SetDlgItemTextByKey(page, IDC_REPRO_PROMPT, "STRING_ENTER_REPRO_STEPS");
        SetDlgItemTextByKey(page, IDC_REPRO_THANKS, "STRING_REPRO_STEPS_THANKS");
        return TRUE;
    case WM_NOTIFY:
        return OnReproStepsNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    default:
        return FALSE;
    }
}
