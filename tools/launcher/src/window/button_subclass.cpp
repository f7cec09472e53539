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
// The button that got the keyboard focus while the space bar was down, and
// when: that press of the bar began elsewhere, no later than then.
HWND SpaceHeldAtFocus = nullptr;
DWORD FocusCameAt = 0;

void NotePressBegan(HWND button, DWORD began)
{
    PressedButton = button;
    PressBegan = began;
}

void NoteFocus(HWND button)
{
    SpaceHeldAtFocus = GetKeyState(VK_SPACE) < 0 ? button : nullptr;
    FocusCameAt = GetTickCount();
}

// A key-down of the space bar: the first one begins a press, now. One of a
// bar held since before the button had the focus (a repeat, or any while
// the bar has not been released since the focus came) belongs to a press
// that began no later than the focus came.
void NoteSpaceDown(HWND button, LPARAM lParam)
{
    bool repeat = (lParam & (1 << 30)) != 0;
    if (!repeat && SpaceHeldAtFocus != button)
        NotePressBegan(button, static_cast<DWORD>(GetMessageTime()));
    else if (PressedButton != button)
        NotePressBegan(button,
                       SpaceHeldAtFocus == button ? FocusCameAt : static_cast<DWORD>(GetMessageTime()));
}

// Passes a release on to the system procedure, which sends the click to the
// parent from inside it. The press ends with it.
LRESULT Release(HWND button, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND outer = ReleasingButton;
    ReleasingButton = PressedButton == button ? button : nullptr;
    LRESULT result = CallWindowProcW(SystemButtonProc, button, message, wParam, lParam);
    ReleasingButton = outer;
    if (PressedButton == button)
        PressedButton = nullptr;
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

void FocusActionButton(HWND button)
{
    if (button && (GetWindowLongPtrW(button, GWL_STYLE) & WS_VISIBLE))
        SetFocus(button);
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
        NotePressBegan(button, static_cast<DWORD>(GetMessageTime()));
        PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), NOTIFY_BUTTON_DOWN), 0);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE)
            NoteSpaceDown(button, lParam);
        break;
    case WM_LBUTTONUP:
        return Release(button, message, wParam, lParam);
    case WM_KEYUP:
        if (wParam != VK_SPACE)
            break;
        if (SpaceHeldAtFocus == button)
            SpaceHeldAtFocus = nullptr;
        return Release(button, message, wParam, lParam);
    case WM_SETFOCUS:
        NoteFocus(button);
        break;
    case WM_KILLFOCUS:
        if (SpaceHeldAtFocus == button)
            SpaceHeldAtFocus = nullptr;
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
