#include "ui_scale.h"

#include "command_line.h"

UiScaleFactor UiScale;

namespace {

int SystemDeviceDpi(HDC dc, int index)
{
    return GetDeviceCaps(dc, index);
}

} // namespace

DeviceDpiProc DeviceDpiFunction = SystemDeviceDpi;

UiScaleFactor ComputeUiScale(int dpiX, bool forceBig)
{
    if (forceBig)
        return {3, 2};
    if (dpiX <= 96)
        return {1, 1};
    return {dpiX, 96};
}

int ScaleLength(UiScaleFactor scale, int v)
{
    return (scale.num * v + scale.den / 2) / scale.den;
}

int UnscaleLength(UiScaleFactor scale, int v)
{
    return (scale.den * v + scale.num / 2) / scale.num;
}

void SetUiScaleFromScreen()
{
    HDC screen = GetDC(nullptr);
    int dpi = DeviceDpiFunction(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    UiScale = ComputeUiScale(dpi, HasOption(L"-force:big"));
}
