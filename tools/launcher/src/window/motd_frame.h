// The frame window of the text pane (class "MOTDFrame"): it passes the
// rich-edit pane's notifications (link clicks) on to the main window.
#pragma once

#include <windows.h>

#define MOTD_FRAME_CLASS L"MOTDFrame"

// WM_NOTIFY goes unchanged to the frame's parent, whose result is returned;
// everything else to DefWindowProcW.
LRESULT CALLBACK MOTDFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);
