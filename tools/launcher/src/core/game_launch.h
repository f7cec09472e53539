// Starting the game, or dedicated servers, at the end of a launcher run.
//
// LaunchGame builds the command line from LauncherSettings and the
// launcher's own command line and starts the processes without waiting for
// them. Each mode starts at most once per run; after the game (or anything,
// headless) the launcher quits. A process that cannot be started sets the
// StepError "NO_EXECUTABLE" and sends the launcher to the retry page; the
// mode then stays unlaunched so that a later press tries again.
#pragma once

#include "scoped_handles.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum LaunchMode {
    LAUNCH_GAME = 0,
    LAUNCH_DEDICATED = 1,
};

// What the dedicated-server dialog asks for.
struct DedicatedServerOptions {
    const char* missionId = nullptr; // "SB_Title", "TDM_Title", "DM_Title", "CTF_Title", or null
    std::wstring motd;               // message of the day, fewer than 128 characters; empty for none
    bool clanOnly = false;
    bool altPvpMode = false;
};

// One entry of a dedicated-server configuration file.
struct DedicatedServerConfigEntry {
    wchar_t settingsName[64] = {};
    uint64_t instanceCount = 0;
};

constexpr int MAX_CONFIG_ENTRIES = 6;
constexpr int MAX_CONFIG_PROCESSES = 6; // processes started from a configuration file
constexpr int MAX_SERVER_PROCESSES = 8; // processes started from a plain count
constexpr size_t GAME_COMMAND_LINE_CAPACITY = 0x4000;

// Index 0 the game, 1 dedicated servers: set once a launch of that mode has
// completed in this run.
extern bool LaunchedModes[2];

// mode 0 starts the game, 1 dedicated servers (options may be null). window
// is the caller's window: the ready page, the dedicated-server dialog or the
// main window; failures are reported to the main window it belongs to.
void LaunchGame(HWND window, int mode, const DedicatedServerOptions* options);

// The command lines LaunchGame starts for mode, one per process in the
// order they start, each numbered for its process (the first keeps the
// numbers it was built with).
std::vector<std::wstring> BuildLaunchCommandLines(int mode, const DedicatedServerOptions* options);

// Starts one process with the child environment (the one the applets get);
// false (after reporting NO_EXECUTABLE) when it could not be created. The started process's handles are kept until the launch
// completes.
bool StartGameProcess(HWND window, const std::wstring& commandLine, int index, int mode);

// Writes index as two digits after "-log:DedicatedServer" and after
// "-instance:", where present.
void NumberServerCommandLine(std::wstring& commandLine, int index);

// The launcher's arguments as the game gets them: the command line without
// the program path and the blanks after it, and without "-relaunched".
std::wstring GetLauncherArguments(const wchar_t* commandLine);

// "dx10", "dx11", "dx12" for GraphicsAPI 0, 1, 2; any other value is not a
// driver the game knows and gives the default, "dx11".
const wchar_t* GraphicsDriverName(int graphicsApi);

// The dedicated-server options as the game reads them, "{...}", with the
// message of the day escaped as a JSON string.
std::wstring BuildOverrideObject(const DedicatedServerOptions& options);

// Opens a configuration file: the name itself, else below the current
// cluster's install folder, else below its "Tools" folder.
UniqueHandle OpenDedicatedServerConfig(const wchar_t* name);

// Fills up to 6 entries from the text; returns how many were found.
int ParseDedicatedServerConfig(const char* text, size_t length, DedicatedServerConfigEntry* entries);

// Forgets the launches of this run.
void ResetGameLaunchForTest();
