// The modal settings dialog (IDD_SETTINGS) that the settings button opens,
// owned by the main window. It edits LauncherSettings, offers the cache,
// diagnostics and dedicated-server actions and the versions dialog, and
// hides the test-cluster switch. A stored change that alters what the main
// chain does restarts that chain through WM_STEP_FAILED(CHAIN_MAIN) to the
// owner; other stored values wait in memory for the next save.
#pragma once

#include <windows.h>

#include "dialogs/dialog_ids.h"

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
