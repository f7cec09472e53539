#include "runtime_loader.h"

#include "browser_runtime.h"
#include "launcher.h"
#include "log.h"
#include "staged_files.h"

#include <windows.h>

std::wstring CefRootDirectory;
std::wstring CefLibraryPath;

void LoadCEFLibFrom(const std::wstring& runtimeFolder)
{
    std::wstring libraryFolder = runtimeFolder + L"V5\\";

    // Some runtime builds come without "chrome_elf.dll"; when there is one,
    // it must load before the runtime library.
    HMODULE chromeElf = nullptr;
    std::wstring chromeElfPath = libraryFolder + L"chrome_elf.dll";
    if (GetFileAttributesW(chromeElfPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        chromeElf = LoadLibraryW(chromeElfPath.c_str());
        if (!chromeElf) {
            LogWrite(L"Failed to load chrome_elf.dll!");
            CefEnabled = false;
            return;
        }
    }

    CefLibraryPath = libraryFolder + L"libcef.dll";
    // The runtime's own imports are found beside it.
    HMODULE runtime = LoadLibraryExW(CefLibraryPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (chromeElf)
        FreeLibrary(chromeElf);
    CefRootDirectory = runtimeFolder;
    if (!runtime) {
        LogWrite(L"LoadCEFLib failed\n");
        CefEnabled = false;
    }
}

void LoadCEFLib()
{
    LogWrite(L"LoadCEFLib\n");
    if (!CefEnabled)
        return;
    wchar_t exePath[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        LogWrite(L"LoadCEFLib failed\n");
        CefEnabled = false;
        return;
    }
    LoadCEFLibFrom(BrowserRuntimeFolderFor(exePath));
}
