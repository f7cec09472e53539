// Stand-in for the game launch until it is part of the launcher.
#include "game_launch.h"

#include "log.h"

bool LaunchedModes[2] = {};

void LaunchGame(HWND, int mode, const DedicatedServerOptions*)
{
    LogPrintf(L"LaunchGame(%d) is not built yet\n", mode);
}
