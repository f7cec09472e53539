#include "wizard_context.h"

#include <commctrl.h>
#include <prsht.h>

#include "texts.h"

ReportOutcome GetReportOutcome(const WizardContext& context)
{
    if (context.failed)
        return REPORT_FAILED;
    if (context.answer.rejected)
        return REPORT_REJECTED;
    if (context.answer.fixed)
        return REPORT_FIXED;
    return REPORT_SUBMITTED;
}

std::wstring AnswerTextToWide(const char* text)
{
    int length = static_cast<int>(strlen(text));
    if (length == 0)
        return std::wstring();
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (units > 0) {
        std::wstring wide(static_cast<size_t>(units), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, wide.data(), units);
        return wide;
    }
    std::wstring wide;
    for (int i = 0; i < length; ++i)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return wide;
}

WizardContext* KeepPageContext(HWND page, LPARAM initParam)
{
    const PROPSHEETPAGEW* description = reinterpret_cast<const PROPSHEETPAGEW*>(initParam);
    WizardContext* context = reinterpret_cast<WizardContext*>(description->lParam);
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
    return context;
}

WizardContext* GetPageContext(HWND page)
{
    return reinterpret_cast<WizardContext*>(GetWindowLongPtrW(page, GWLP_USERDATA));
}

void SetWizardButtons(HWND page, DWORD buttons)
{
    PropSheet_SetWizButtons(GetParent(page), buttons);
}

void SetPageHeaderTitleByKey(HWND page, const char* key)
{
    HWND sheet = GetParent(page);
    std::wstring title;
    GetLocalizedText(key, title);
    int index = PropSheet_HwndToIndex(sheet, page);
    SendMessageW(sheet, PSM_SETHEADERTITLEW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(title.c_str()));
}

INT_PTR SetPageResult(HWND page, LONG_PTR result)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

void ShowPageControl(HWND page, int itemId, bool show)
{
    ShowWindow(GetDlgItem(page, itemId), show ? SW_SHOW : SW_HIDE);
}
