#include "button_subclass.h"

#include "launcher.h"
#include "painters.h"

namespace {

WNDPROC SystemButtonProc = nullptr;

// Sets the hover flag; returns its previous value.
bool SetHover(HWND button, bool hover)
{
    return SetWindowLongPtrW(button, GWLP_USERDATA, hover ? 1 : 0) != 0;
}

} // namespace

void StoreSystemButtonProc()
{
    WNDCLASSW buttonClass = {};
    if (GetClassInfoW(nullptr, L"Button", &buttonClass))
        SystemButtonProc = buttonClass.lpfnWndProc;
}

bool IsButtonHovered(HWND button)
{
    return GetWindowLongPtrW(button, GWLP_USERDATA) != 0;
}

LRESULT CALLBACK LauncherButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_MOUSEMOVE:
        if (!SetHover(button, true)) {
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, button, HOVER_DEFAULT};
            TrackMouseEvent(&track);
            InvalidateRect(button, nullptr, TRUE);
        }
        break;
    case WM_MOUSELEAVE:
        if (SetHover(button, false))
            InvalidateRect(button, nullptr, TRUE);
        break;
    case WM_LBUTTONDBLCLK:
        // A quick second click arrives as a double click; it is a press like
        // the first (an owner-drawn button would only report it otherwise).
        message = WM_LBUTTONDOWN;
        [[fallthrough]];
    case WM_LBUTTONDOWN:
        PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), NOTIFY_BUTTON_DOWN), 0);
        break;
    case WM_ERASEBKGND:
        if (!CefEnabled)
            PaintScaledBackground(button, reinterpret_cast<HDC>(wParam));
        return 0;
    default:
        break;
    }
    return CallWindowProcW(SystemButtonProc, button, message, wParam, lParam);
}
