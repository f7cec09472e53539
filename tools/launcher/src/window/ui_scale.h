// UiScale: the one scale factor of the Win32 interface.
//
// Every length of the 1024 x 640 design is scaled with S() and rounded; a
// window coordinate is mapped back into a design bitmap with U(), the
// inverse rounding. Fonts do not use it: they follow the display's dots per
// inch. Set once by CreateMainWindow, read by every layout and painter.
#pragma once

#include <windows.h>

#include <cstdint>

struct UiScaleFactor {
    int32_t num = 1;
    int32_t den = 1;
};

extern UiScaleFactor UiScale;

// "-force:big": 3/2. Otherwise dpi/96 for more than 96 dots per inch, else
// 1/1.
UiScaleFactor ComputeUiScale(int dpiX, bool forceBig);

// (num * v + den / 2) / den and (den * v + num / 2) / num, truncating.
int ScaleLength(UiScaleFactor scale, int v);
int UnscaleLength(UiScaleFactor scale, int v);

// The same with UiScale.
inline int S(int v)
{
    return ScaleLength(UiScale, v);
}
inline int U(int v)
{
    return UnscaleLength(UiScale, v);
}

// Dots per inch of a device context (LOGPIXELSX or LOGPIXELSY): the only
// place the window asks the display. Tests replace it to lay the window out
// as on another display.
using DeviceDpiProc = int (*)(HDC dc, int index);
extern DeviceDpiProc DeviceDpiFunction;

// Sets UiScale from the screen's horizontal dots per inch and the command
// line.
void SetUiScaleFromScreen();
