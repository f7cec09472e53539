// The two hooks on the browser's thread: mouse messages over the page (and
// only those) go to the main window too (so dragging the window works over
// the page, and the page shows no context menu), and the first joystick's
// button presses the page's main button while it is enabled.
#include "client_app.h"
#include "page_bridge.h"
#include "requirement_queue.h"
#include "step_messages.h"

#include <mmsystem.h>

namespace {

// The hook sees every window of the thread: dialogs and popups keep their
// own mouse messages.
bool IsBrowserWindow(HWND window)
{
    return BrowserWindow && window && (window == BrowserWindow || IsChild(BrowserWindow, window));
}

} // namespace

LRESULT CALLBACK BrowserMouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* data = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    if (code >= 0 && BrowserParentWindow && IsBrowserWindow(data->hwnd)) {
        POINT point = data->pt;
        ScreenToClient(BrowserParentWindow, &point);
        SendMessageW(BrowserParentWindow, static_cast<UINT>(wParam), 0, MAKELPARAM(point.x, point.y));
        if (wParam == WM_RBUTTONDOWN || wParam == WM_RBUTTONUP)
            return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK BrowserMessageHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && message->message == MM_JOY1BUTTONDOWN && BrowserCommandTarget &&
        MirroredMainButtonState() != 0) {
        SendMessageW(BrowserCommandTarget, WM_COMMAND, IDC_MAIN_BUTTON, 0);
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
