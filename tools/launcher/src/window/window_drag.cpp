#include "window_drag.h"

#include "launcher.h"

#include <windowsx.h>

namespace {

constexpr int DRAG_ZONE_BOTTOM = 28; // client pixels, not scaled
constexpr int BROWSER_DRAG_ZONE_RIGHT = 300;

bool Dragging = false;
POINT DragOffset = {};

POINT ScreenPoint(HWND window, LPARAM lParam)
{
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(window, &point);
    return point;
}

} // namespace

bool BeginWindowDrag(HWND window, LPARAM lParam)
{
    if (GET_Y_LPARAM(lParam) > DRAG_ZONE_BOTTOM)
        return false;
    if (CefEnabled) {
        // The browser host forwards the page's presses here; no capture.
        if (GET_X_LPARAM(lParam) > BROWSER_DRAG_ZONE_RIGHT)
            return false;
    } else {
        SetCapture(window);
    }
    POINT point = ScreenPoint(window, lParam);
    RECT place = {};
    GetWindowRect(window, &place);
    Dragging = true;
    DragOffset = {point.x - place.left, point.y - place.top};
    return true;
}

bool ContinueWindowDrag(HWND window, LPARAM lParam)
{
    if (!Dragging)
        return false;
    POINT point = ScreenPoint(window, lParam);
    SetWindowPos(window, nullptr, point.x - DragOffset.x, point.y - DragOffset.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    return true;
}

void EndWindowDrag(bool releaseCapture)
{
    if (!Dragging)
        return;
    Dragging = false;
    if (releaseCapture)
        ReleaseCapture();
}
