// Waiting for the report's send on the wizard's own thread.
#pragma once

#include <windows.h>

#include "transport.h"

// A SendWaiter for the thread of the sheet: while the send runs, the
// thread's messages are dispatched (the sheet's dialog keys included), so
// its windows keep answering, painting and taking the user's input. The
// wait ends when the send's thread ends, when timeoutMs have passed, when
// *cancelled becomes true (a message handler sets it, for the sheet's
// Cancel) or when WM_QUIT arrives (posted again for the loop outside).
SendWaiter PumpingSendWaiter(HWND sheet, const bool* cancelled);
