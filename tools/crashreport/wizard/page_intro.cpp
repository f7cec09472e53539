// IntroPage: tells the user about the crash; on in-house machines it also
// offers the crash details.
#include "wizard_pages.h"

#include "details_dialog.h"
#include "in_house.h"
#include "resource_ids.h"
#include "texts.h"

namespace {

void SetSheetIcons(HWND sheet)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HANDLE big = LoadImageW(module, MAKEINTRESOURCEW(IDI_FAULTCOURIER), IMAGE_ICON,
                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
    HANDLE small = LoadImageW(module, MAKEINTRESOURCEW(IDI_FAULTCOURIER), IMAGE_ICON,
                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageW(sheet, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(sheet, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void OnIntroCreate(HWND page, LPARAM initParam)
{
    WizardContext* context = KeepPageContext(page, initParam);
    HWND sheet = GetParent(page);
    SetWindowTextW(sheet, L"Vantorel");
    SetDlgItemTextByKey(page, IDC_SUMMARY, "STRING_INTRO_SUMMARY");
    SetDlgItemTextByKey(page, IDC_DESCRIPTION, "STRING_INTRO_DESCRIPTION");
    SetDlgItemTextByKey(page, IDC_DETAILS, "STRING_DETAILS");
    ShowPageControl(page, IDC_DETAILS, IsInHouseMachine());
    SendDlgItemMessageW(page, IDC_SUMMARY, WM_SETFONT, reinterpret_cast<WPARAM>(context->titleFont), TRUE);
    SetSheetIcons(sheet);
}

INT_PTR OnIntroNotify(HWND page, const NMHDR* notification)
{
    switch (notification->code) {
    case PSN_SETACTIVE:
        SetWizardButtons(page, PSWIZB_NEXT);
        return SetPageResult(page, 0);
    case PSN_WIZNEXT:
        return SetPageResult(page, IDD_REPRO_STEPS_PAGE);
    default:
        return FALSE;
    }
}

} // namespace

void AddIntroPage(PageList& pages, WizardContext* context)
{
    pages.push_back(MakeWizardPage(IDD_INTRO_PAGE, IntroPageProc, context, PSP_HIDEHEADER));
}

INT_PTR CALLBACK IntroPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnIntroCreate(page, lParam);
        return TRUE;
    case WM_NOTIFY:
        return OnIntroNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_DETAILS && HIWORD(wParam) == BN_CLICKED) {
            ShowDetailsDialog(page, *GetPageContext(page));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
