// Where the browser runtime is loaded from. The launcher binds to the
// runtime library lazily (a delay-loaded import of "libcef.dll" by name), so
// once the library is loaded from the runtime folder every later call binds
// to that copy, and no runtime call may come before it is loaded.
#pragma once

#include <string>

// The full path of "libcef.dll"; empty until it was tried.
extern std::wstring CefLibraryPath;

// Loads the runtime libraries from the "V5\" folder inside runtimeFolder
// (ending in "\"): "chrome_elf.dll" when the folder has one, then
// "libcef.dll". Sets CefRootDirectory and CefLibraryPath; clears CefEnabled
// and logs when a library cannot be loaded.
void LoadCEFLibFrom(const std::wstring& runtimeFolder);
