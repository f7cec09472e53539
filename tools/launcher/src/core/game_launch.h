// Starting the game, or dedicated servers, at the end of a launcher run.
#pragma once

#include <windows.h>

struct DedicatedServerOptions;

// mode 0 starts the game, 1 dedicated servers (options may be null); each
// mode starts at most once per run.
void LaunchGame(HWND window, int mode, const DedicatedServerOptions* options);
