#include "details_dialog.h"

#include "details_text.h"
#include "scoped_handles.h"
#include "in_house.h"
#include "resource_ids.h"
#include "shell_open.h"

namespace {

// What the dialog needs while it is up; lives in ShowDetailsDialog's frame.
struct DetailsDialogState {
    WizardContext* context = nullptr;
    FontHandle font;
};

// "Lucida Console" of 8 points on this display.
HFONT CreateDetailsFont(HWND dialog)
{
    HDC dc = GetDC(dialog);
    int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc)
        ReleaseDC(dialog, dc);
    return CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       L"Lucida Console");
}

void OnDetailsCreate(HWND dialog, DetailsDialogState& state)
{
    SetWindowTextW(dialog, L"Vantorel");
    SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    state.font.Reset(CreateDetailsFont(dialog));
    SendDlgItemMessageW(dialog, IDC_DETAILS_TEXT, WM_SETFONT, reinterpret_cast<WPARAM>(state.font.Get()),
                        TRUE);
    std::wstring text = BuildDetailsText(state.context->folder, IsInHouseMachine());
    SetDlgItemTextW(dialog, IDC_DETAILS_TEXT, text.c_str());
    SetFocus(GetDlgItem(dialog, IDOK));
}

INT_PTR OnDetailsCommand(HWND dialog, WORD id)
{
    DetailsDialogState* state =
        reinterpret_cast<DetailsDialogState*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    switch (id) {
    case IDOK:
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDC_DETAILS:
        OpenWithShell(dialog, L"explore", state->context->folder.c_str(), SW_SHOWDEFAULT);
        return TRUE;
    default:
        return FALSE;
    }
}

// Static and read-only controls in the colours of a window's text.
INT_PTR OnStaticColour(HDC dc)
{
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
}

} // namespace

void ShowDetailsDialog(HWND owner, WizardContext& context)
{
    DetailsDialogState state;
    state.context = &context;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DETAILS), owner, DetailsDialogProc,
                    reinterpret_cast<LPARAM>(&state));
}

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnDetailsCreate(dialog, *reinterpret_cast<DetailsDialogState*>(lParam));
        return FALSE; // the focus is set
    case WM_COMMAND:
        return OnDetailsCommand(dialog, LOWORD(wParam));
    case WM_CLOSE:
        EndDialog(dialog, IDCLOSE);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnStaticColour(reinterpret_cast<HDC>(wParam));
    default:
        return FALSE;
    }
}
