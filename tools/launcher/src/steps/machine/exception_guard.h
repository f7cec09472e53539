// Runs a probe of the machine (a processor instruction, a graphics driver's
// device creation) so that a processor fault inside it comes back as a
// result instead of ending the launcher.
//
// g++ has no structured exception handling: a vectored handler, active only
// for the guarding thread while the probe runs, returns through
// __builtin_longjmp to the frame that started the probe. Only error codes of
// the system's own range (0xC0000000 to 0xCFFFFFFF: access violations,
// illegal instructions, ...) are taken; anything else, a library's own
// exceptions among them, goes on to its usual handlers. Whatever the probe
// held when it faulted is left as it was.
#pragma once

#include <windows.h>

// Calls probe(context). Returns 0 when it returned, else the exception code
// that interrupted it.
DWORD RunGuarded(void (*probe)(void* context), void* context);
