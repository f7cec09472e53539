// The browser tests on the real runtime: where it is installed, the
// sub-process role of the test program and a screenshot.
#pragma once

#include <windows.h>

#include <string>

// The folder that plays the launcher's folder, with "CEF3_1\" below it.
std::wstring RealRuntimeLauncherFolder();

// True when this process was started by the runtime as one of its
// sub-processes; then *exitCode is what the process ends with.
bool RunAsBrowserSubProcess(int* exitCode);

// Saves what the screen shows of the window as a 24-bit BMP.
void CaptureScreen(HWND window, const std::wstring& path);
