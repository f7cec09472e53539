// Starting the game, or dedicated servers, at the end of a launcher run.
#pragma once

#include <windows.h>

#include <string>

// What the dedicated-server dialog asks for.
struct DedicatedServerOptions {
    const char* missionId = nullptr; // a game-mode key ("SB_Title", ...), or none
    std::wstring motd;               // the message of the day, empty when none
    bool clanOnly = false;
    bool altPvpMode = false;
};

// Index 0 the game, 1 dedicated servers: set once a launch of that mode has
// completed in this run.
extern bool LaunchedModes[2];

// mode 0 starts the game, 1 dedicated servers (options may be null); each
// mode starts at most once per run.
void LaunchGame(HWND window, int mode, const DedicatedServerOptions* options);
