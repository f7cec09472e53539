// Entry point of Launcher.exe; the process frame lives in launcher.cpp.
#include "log.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    LogWrite(L"Launcher\n");
    return 0;
}
