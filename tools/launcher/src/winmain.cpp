// Entry point of Launcher.exe; the process frame lives in launcher.cpp.
#include "launcher.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return LauncherMain(instance);
}
