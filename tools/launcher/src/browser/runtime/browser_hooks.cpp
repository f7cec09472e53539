// The two hooks on the browser's thread: mouse messages over the page (and
// only those) go to the main window too (so dragging the window works over
// the page, and the page shows no context menu), and the first joystick's
// button presses the page's main button, as the page's own presses do.
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
    auto* message = reinterpret_cast<MSG*>(lParam);
    // Only a message taken from the queue: one that is merely looked at
    // comes by again when it is taken.
    if (code >= 0 && wParam == PM_REMOVE && message->message == MM_JOY1BUTTONDOWN) {
        if (HandleJoystickPress())
            return 1;
        // A press the page's view may not take is dropped whole: the main
        // loop's own handling of the button must not act on it either.
        message->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
