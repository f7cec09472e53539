// WM_COMMAND and WM_CLOSE of the main window: the title buttons, the
// selectors' popups and the settings button's test keys. Every command goes
// to the current step page first, so the action buttons act on the step
// that owns them; but not a person's click that began before that page had
// been shown for PAGE_SETTLE_MS (step_page.h): it is logged and dropped.
#pragma once

#include <windows.h>

LRESULT HandleMainWindowCommand(HWND window, WPARAM wParam, LPARAM lParam);

// Alt+F4 and the system's close: records "AltF4" under "Exit" and closes as
// the close button does, without its record.
LRESULT HandleMainWindowClose(HWND window);
