#include "dialogs/dialog_placement.h"

#include "ui_scale.h"

#include <vector>

namespace {

struct Ratio {
    int num;
    int den;
};

int Stretch(Ratio ratio, int v)
{
    return static_cast<int>((static_cast<long long>(ratio.num) * v + ratio.den / 2) / ratio.den);
}

// UiScale over the scale the dialog manager used: the screen's dots per
// inch over 96.
Ratio DialogRatio()
{
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    if (dpi <= 0)
        dpi = 96;
    return {UiScale.num * 96, UiScale.den * dpi};
}

// A drop-down list's window is only its closed part; its full height holds
// the list as well.
RECT ChildRect(HWND dialog, HWND child)
{
    RECT r = {};
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    bool dropDown = lstrcmpiW(className, L"ComboBox") == 0;
    if (!dropDown || !SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&r)))
        GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace

void CentreOnOwner(HWND dialog)
{
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (!owner)
        return;
    RECT ownerRect = {}, dialogRect = {};
    GetWindowRect(owner, &ownerRect);
    GetWindowRect(dialog, &dialogRect);
    int width = dialogRect.right - dialogRect.left;
    int height = dialogRect.bottom - dialogRect.top;
    int x = ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2;
    int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2;
    MoveWindow(dialog, x, y, width, height, FALSE);
}

void ScaleDialogToUi(HWND dialog)
{
    Ratio ratio = DialogRatio();
    if (ratio.num == ratio.den || ratio.den <= 0)
        return;

    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    for (HWND child : children) {
        RECT r = ChildRect(dialog, child);
        int x = Stretch(ratio, r.left);
        int y = Stretch(ratio, r.top);
        MoveWindow(child, x, y, Stretch(ratio, r.right) - x, Stretch(ratio, r.bottom) - y, FALSE);
    }

    RECT client = {};
    GetClientRect(dialog, &client);
    RECT frame = {0, 0, Stretch(ratio, client.right), Stretch(ratio, client.bottom)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void PlaceDialog(HWND dialog)
{
    ScaleDialogToUi(dialog);
    CentreOnOwner(dialog);
}
