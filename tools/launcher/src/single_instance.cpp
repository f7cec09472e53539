#include "launcher.h"

#include "app_folders.h"
#include "scoped_handles.h"

#include <string>

// Every running instance of the executable maps this section onto the same
// memory, so the first instance's window is known to a second one.
HWND SharedMainWindow __attribute__((section(".shared"), shared)) = nullptr;

namespace {

UniqueHandle SingleInstanceMutex;

// Without a local data folder the name would be "." for every user; this one
// is at least the launcher's own.
constexpr wchar_t kFallbackMutexName[] = L"Vantorel_Launcher";

} // namespace

bool AcquireSingleInstanceMutex()
{
    std::wstring name = LocalDataFolderKnown() ? GetLocalDataFolder() : kFallbackMutexName;
    for (wchar_t& c : name) {
        if (c == L'\\')
            c = L'_';
    }
    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS)
        return false;
    SingleInstanceMutex = std::move(mutex);
    return true;
}

void ReleaseSingleInstanceMutex()
{
    SingleInstanceMutex.Reset();
}

bool ActivateRunningLauncher()
{
    HWND window = SharedMainWindow;
    // The shared handle is null while the first instance is still starting,
    // and stale after it crashed; its window class finds it all the same.
    if (!window || !IsWindow(window))
        window = FindWindowW(L"Launcher", nullptr);
    if (!window || !IsWindow(window))
        return false;
    SetForegroundWindow(window);
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    return true;
}
