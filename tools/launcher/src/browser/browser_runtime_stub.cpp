// Stand-in for the embedded browser host until it is part of the launcher:
// the launcher runs as when the browser runtime cannot be loaded.
#include "browser_runtime.h"

#include "launcher.h"
#include "log.h"

std::wstring CefRootDirectory;

void LoadCEFLib()
{
    LogWrite(L"LoadCEFLib\n");
    if (!CefEnabled)
        return;
    LogWrite(L"Failed to load chrome_elf.dll!");
    CefEnabled = false;
}

int ExecuteCEFProcess(HINSTANCE)
{
    return -1;
}

bool StartCEF(HWND)
{
    return false;
}

bool UpdateCEF()
{
    return false;
}

void CloseAllBrowsers(bool) {}

void ShutdownCEF() {}

void SetPageValue(const wchar_t*, const wchar_t*) {}

void ShowStartPage(bool) {}

void SetElementHtml(const wchar_t*, const wchar_t*, bool) {}

void LoadLauncherPage(const wchar_t*) {}
