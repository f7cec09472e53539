// Stand-in for the hand-over to the downloaded launcher until it is part of
// the launcher: nothing is ever handed over.
#include "relaunch.h"

bool RelaunchLauncher(bool, bool)
{
    return false;
}
