// Moving the borderless main window with the mouse: a press in the top 29
// client pixels (with the browser, only in their first 301 pixels) grabs
// the window, mouse moves drag it, the release or the loss of capture ends it.
#pragma once

#include <windows.h>

// Each returns true when it handled the message (result 0); false sends it
// on to default processing.
bool BeginWindowDrag(HWND window, LPARAM lParam);
bool ContinueWindowDrag(HWND window, LPARAM lParam);
void EndWindowDrag(bool releaseCapture);
