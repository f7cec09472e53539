// The main window's handling of the step messages WM_STEP_NEXT to
// WM_STEP_PAGE_SHOWN: they run, pop, clear and rebuild the RequirementQueue
// and show texts in the text pane (or the browser page).
#pragma once

#include <windows.h>

// messageId is one of WM_STEP_*. Reports from pages that are no longer
// current are dropped, and those that arrive while a step's Run is on the
// stack wait for it (step_message_gate.h).
LRESULT HandleStepMessage(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam);
