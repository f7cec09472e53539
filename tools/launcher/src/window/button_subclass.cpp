#include "button_subclass.h"

#include "launcher.h"
#include "painters.h"

namespace {

WNDPROC SystemButtonProc = nullptr;

// The press under way on a button: where and when it began; and the button
// whose release is being handled now (its click goes out during that call).
HWND PressedButton = nullptr;
DWORD PressBegan = 0;
HWND ReleasingButton = nullptr;

void NotePressBegan(HWND button)
{
    PressedButton = button;
    PressBegan = static_cast<DWORD>(GetMessageTime());
}

// Passes a release on to the system procedure, which sends the click to the
// parent from inside it.
LRESULT Release(HWND button, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND outer = ReleasingButton;
    ReleasingButton = PressedButton == button ? button : nullptr;
    LRESULT result = CallWindowProcW(SystemButtonProc, button, message, wParam, lParam);
    ReleasingButton = outer;
    return result;
}

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

bool ClickInProgress(HWND button, DWORD* pressBegan)
{
    if (!button || button != ReleasingButton)
        return false;
    *pressBegan = PressBegan;
    return true;
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
        NotePressBegan(button);
        PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), NOTIFY_BUTTON_DOWN), 0);
        break;
    case WM_KEYDOWN:
        // The first key-down of the space bar, not its repeats.
        if (wParam == VK_SPACE && !(lParam & (1 << 30)))
            NotePressBegan(button);
        break;
    case WM_LBUTTONUP:
        return Release(button, message, wParam, lParam);
    case WM_KEYUP:
        if (wParam == VK_SPACE)
            return Release(button, message, wParam, lParam);
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
