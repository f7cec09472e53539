#include "motd_frame.h"

LRESULT CALLBACK MOTDFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY)
        return SendMessageW(GetParent(frame), WM_NOTIFY, wParam, lParam);
    return DefWindowProcW(frame, message, wParam, lParam);
}
