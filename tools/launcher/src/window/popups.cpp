#include "popups.h"

#include "browser_runtime.h"
#include "clusters.h"
#include "drawing_resources.h"
#include "gdi_objects.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "log.h"
#include "painters.h"
#include "requirement.h"
#include "step_messages.h"
#include "ui_scale.h"

#include <windowsx.h>

namespace {

// Set while the popup is being destroyed, so the loss of the capture that
// the destruction causes does not destroy it again.
constexpr LONG_PTR POPUP_CLOSING = -3;

// What tells the two popups apart.
struct PopupList {
    int (*rows)();
    const wchar_t* (*caption)(int row);
    void (*choose)(HWND owner, int row);
};

int LanguageRows()
{
    return InstalledLanguageCount;
}

const wchar_t* LanguageCaption(int row)
{
    return LanguageName(InstalledLanguageAtRow(InstalledLanguages, row));
}

void ChooseLanguage(HWND owner, int row)
{
    int index = InstalledLanguageAtRow(InstalledLanguages, row);
    if (index < 0)
        return;
    LanguageIndex = index;
    HWND selector = GetDlgItem(owner, IDC_LANGUAGE);
    SetWindowTextW(selector, LanguageName(index));
    InvalidateRect(selector, nullptr, TRUE);
    SaveSettings();
    PostMessageW(owner, WM_STEP_SHOW_TEXT, 0, 0);
    PostMessageW(owner, WM_STEP_FAILED, 0, CHAIN_MAIN);
    if (CefEnabled)
        ShowStartPage(true);
}

int ClusterRows()
{
    return ClusterAccessLevel + 1;
}

void ChooseCluster(HWND owner, int row)
{
    ServerCluster = row;
    LogPrintf(L"%s\n", GetClusterName(row));
    HWND selector = GetDlgItem(owner, IDC_CLUSTER);
    SetWindowTextW(selector, ClusterDisplayName(row));
    InvalidateRect(selector, nullptr, TRUE);
    SaveSettings();
    PostMessageW(owner, WM_STEP_FAILED, 0, CHAIN_MAIN);
}

const PopupList LanguageList = {LanguageRows, LanguageCaption, ChooseLanguage};
const PopupList ClusterList = {ClusterRows, ClusterDisplayName, ChooseCluster};

LONG_PTR RowState(HWND popup)
{
    return GetWindowLongPtrW(popup, GWLP_USERDATA);
}

void InvalidateRow(HWND popup, LONG_PTR row)
{
    if (row < 0)
        return;
    RECT r = {0, S(20) * static_cast<int>(row), S(100), S(20) * static_cast<int>(row) + S(20)};
    InvalidateRect(popup, &r, FALSE);
}

void ClosePopup(HWND popup)
{
    SetWindowLongPtrW(popup, GWLP_USERDATA, POPUP_CLOSING);
    DestroyWindow(popup);
}

void PaintRows(HWND popup, const PopupList& list)
{
    PaintScope paint(popup);
    HDC dc = paint.dc();
    LONG_PTR n = RowState(popup);
    RECT row = {0, 0, S(100), S(20)};
    const int rows = list.rows();
    for (int i = 0; i < rows; ++i, --n, OffsetRect(&row, 0, S(20))) {
        RECT visible;
        if (!IntersectRect(&visible, &row, &paint.area()))
            continue;
        int column = BUTTON_NORMAL;
        if (n == 0)
            column = GetKeyState(VK_LBUTTON) < 0 ? BUTTON_PRESSED : BUTTON_HOVER;
        CopyFromDesign(dc, ButtonBitmaps[ROW_POPUP][column], visible.left, visible.top,
                       visible.right - visible.left + 1, visible.bottom - visible.top + 1,
                       visible.left - row.left, visible.top - row.top);
        RECT caption = row;
        caption.left += S(4);
        caption.right -= S(4);
        SelectedObject font(dc, ButtonFont);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, CefEnabled ? RGB(255, 255, 255) : TextColor);
        DrawTextW(dc, list.caption(i), -1, &caption, DT_NOCLIP | DT_SINGLELINE | DT_VCENTER);
    }
}

void TrackPointer(HWND popup, const PopupList& list, LPARAM lParam)
{
    LONG_PTR old = RowState(popup);
    LONG_PTR state = NextPopupState(
        old, PopupRowAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), S(100), S(20), list.rows()));
    if (state == old)
        return;
    SetWindowLongPtrW(popup, GWLP_USERDATA, state);
    InvalidateRow(popup, old);
    InvalidateRow(popup, state);
}

void Release(HWND popup, const PopupList& list)
{
    LONG_PTR state = RowState(popup);
    if (state == POPUP_JUST_OPENED) {
        SetWindowLongPtrW(popup, GWLP_USERDATA, POPUP_NO_ROW);
        return;
    }
    if (state >= 0)
        list.choose(GetWindow(popup, GW_OWNER), static_cast<int>(state));
    ClosePopup(popup);
}

LRESULT PopupProc(HWND popup, UINT message, WPARAM wParam, LPARAM lParam, const PopupList& list)
{
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrW(popup, GWLP_USERDATA, POPUP_JUST_OPENED);
        SetCapture(popup);
        return 0;
    case WM_PAINT:
        PaintRows(popup, list);
        return 0;
    case WM_MOUSEMOVE:
        TrackPointer(popup, list, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        InvalidateRow(popup, RowState(popup));
        return 0;
    case WM_LBUTTONUP:
        Release(popup, list);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_CAPTURECHANGED:
        if (RowState(popup) != POPUP_CLOSING)
            ClosePopup(popup);
        return 0;
    default:
        return DefWindowProcW(popup, message, wParam, lParam);
    }
}

HWND OpenPopup(HWND window, HWND selector, const wchar_t* windowClass, int rows)
{
    RECT place = {};
    GetWindowRect(selector, &place);
    return CreateWindowExW(0, windowClass, L"", WS_POPUP | WS_VISIBLE, place.left, place.bottom, S(100),
                           S(20) * rows, window, nullptr, GetModuleHandleW(nullptr), nullptr);
}

} // namespace

int PopupRowAt(int x, int y, int width, int rowHeight, int rows)
{
    if (x < 0 || x > width || y < 0 || y > rowHeight * rows || rows <= 0)
        return -1;
    int row = y / rowHeight;
    return row < rows ? row : rows - 1;
}

LONG_PTR NextPopupState(LONG_PTR state, int row)
{
    if (row >= 0)
        return row;
    return state < 0 ? state : POPUP_NO_ROW;
}

int InstalledLanguageAtRow(const bool installed[LANGUAGE_COUNT], int row)
{
    if (row < 0)
        return -1;
    for (int index = 0; index < LANGUAGE_COUNT; ++index) {
        if (installed[index] && row-- == 0)
            return index;
    }
    return -1;
}

HWND OpenLanguagePopup(HWND window, HWND selector)
{
    return OpenPopup(window, selector, LANGUAGE_POPUP_CLASS, InstalledLanguageCount);
}

HWND OpenClusterPopup(HWND window, HWND selector)
{
    return OpenPopup(window, selector, CLUSTER_POPUP_CLASS, ClusterAccessLevel + 1);
}

LRESULT CALLBACK LanguagePopupProc(HWND popup, UINT message, WPARAM wParam, LPARAM lParam)
{
    return PopupProc(popup, message, wParam, lParam, LanguageList);
}

LRESULT CALLBACK ClusterPopupProc(HWND popup, UINT message, WPARAM wParam, LPARAM lParam)
{
    return PopupProc(popup, message, wParam, lParam, ClusterList);
}
