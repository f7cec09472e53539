#include "painters.h"

#include "button_subclass.h"
#include "drawing_resources.h"
#include "gdi_objects.h"
#include "launcher.h"
#include "ui_scale.h"

namespace {

constexpr COLORREF DISABLED_CAPTION = 0x808080;
constexpr int CAPTION_CAPACITY = 64;

} // namespace

void CopyFromDesign(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, int sourceX, int sourceY)
{
    if (!bitmap)
        return;
    MemoryDc memory(dc);
    SelectedObject selected(memory.get(), bitmap);
    SetStretchBltMode(dc, COLORONCOLOR);
    SetTextColor(dc, 0);
    StretchBlt(dc, x, y, width, height, memory.get(), U(sourceX), U(sourceY), U(width), U(height), SRCCOPY);
}

int ButtonBitmapColumn(UINT itemState, bool hovered)
{
    if (itemState & ODS_SELECTED)
        return BUTTON_PRESSED;
    if (hovered)
        return BUTTON_HOVER;
    if (itemState & (ODS_GRAYED | ODS_DISABLED))
        return BUTTON_DISABLED;
    return BUTTON_NORMAL;
}

void DrawLauncherButton(const DRAWITEMSTRUCT& item, bool alpha, HBITMAP const bitmaps[4], HFONT font,
                        bool centred)
{
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const int column = ButtonBitmapColumn(item.itemState, IsButtonHovered(item.hwndItem));

    if (HBITMAP bitmap = bitmaps[column]) {
        MemoryDc memory(dc);
        SelectedObject selected(memory.get(), bitmap);
        SetTextColor(dc, 0);
        if (alpha) {
            SetStretchBltMode(dc, COLORONCOLOR);
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(dc, r.left, r.top, width, height, memory.get(), U(r.left), U(r.top), U(width),
                       U(height), blend);
        } else {
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, r.left, r.top, width, height, memory.get(), U(r.left), U(r.top), U(width),
                       U(height), SRCCOPY);
        }
    }

    RECT caption = r;
    caption.left += S(4);
    caption.right -= S(4);
    SelectedObject selectedFont(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, column == BUTTON_DISABLED ? DISABLED_CAPTION : TextColor);
    wchar_t text[CAPTION_CAPACITY] = {};
    GetWindowTextW(item.hwndItem, text, CAPTION_CAPACITY);
    UINT format = DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE | DT_VCENTER | (centred ? DT_CENTER : 0);
    DrawTextW(dc, text, -1, &caption, format);
}

void PaintScaledBackground(HWND control, HDC dc)
{
    POINT origin = {0, 0};
    MapWindowPoints(control, SharedMainWindow, &origin, 1);
    RECT r = {};
    GetClientRect(control, &r);
    if (GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_STATICEDGE) {
        --r.right;
        --r.bottom;
    }
    CopyFromDesign(dc, BackgroundBitmap, r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1,
                   r.left + origin.x, r.top + origin.y);
}
