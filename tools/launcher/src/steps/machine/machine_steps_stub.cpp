// Stand-in for the machine steps' findings until those steps are part of
// the launcher: nothing has been found out yet.
#include "machine/directx_step.h"
#include "machine/platform_step.h"
#include "machine/ready_to_play_step.h"

bool MTRenderingSupported = false;
bool GraphicsApiSupported[3] = {};
bool ReadyToPlayShown = false;
