// What the rest of the launcher calls of the embedded browser host: loading
// the runtime and the sub-process dispatch at start-up, the pump and the
// page mirror in the main loop, the page updates, and the shutdown.
#pragma once

#include <windows.h>

#include <string>

// The runtime folder (ending in "\"); set once its libraries were tried,
// empty when "chrome_elf.dll" was there and would not load.
extern std::wstring CefRootDirectory;

// Loads the runtime libraries; clears CefEnabled when it cannot.
void LoadCEFLib();
// The runtime's process entry: 0 or more when this process is one of the
// browser's sub-processes and has finished (its exit code); negative for
// the launcher itself.
int ExecuteCEFProcess(HINSTANCE instance);
// Starts the browser in the main window; false when it cannot.
bool StartCEF(HWND window);
// Mirrors the window into the page and runs the browser's work when due;
// true when it did anything.
bool UpdateCEF();
// Closes every browser with force, when the browser client exists.
void CloseAllBrowsers(bool force);
// Gives the browser up (it showed no page): its window is hidden and every
// browser closed; the runtime runs on until ShutdownCEF.
void AbandonBrowser();

// True from a successful StartCEF until ShutdownCEF, also after the browser
// was given up: the main loop then polls and runs the runtime's work.
bool BrowserRuntimeRunning();
// The runtime's work alone, without the page mirror, when it is due; true
// when it ran.
bool RunBrowserWork();
// Milliseconds the main loop may wait for a message before the runtime's
// work is due (0: now); INFINITE while the runtime does not run.
DWORD BrowserWorkDueInMs();
// Shuts the runtime down (after the main window is gone).
void ShutdownCEF();

// Page updates; each does nothing while no browser client exists.
void SetPageValue(const wchar_t* name, const wchar_t* value);
void ShowStartPage(bool reload);
// Sets the inner HTML of a page element: now, or with defer at the next
// page load (replacing a script that was waiting).
void SetElementHtml(const wchar_t* element, const wchar_t* html, bool defer);
// Loads a page of the interface (a name with its query, "agreement.html").
void LoadLauncherPage(const wchar_t* page);
