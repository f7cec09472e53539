// The small modal versions dialog (IDD_VERSIONS), opened from the settings
// dialog: the launcher's and the installed game's product versions.
#pragma once

#include <windows.h>

#include <string>

#include "dialogs/dialog_ids.h"

// The launcher's own product version, read on first use and kept for the
// run; empty until it could be read.
extern std::wstring LauncherVersion;

INT_PTR CALLBACK VersionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows both versions. An empty launcher version is read again at the next
// opening; a game executable without a version (or not installed yet)
// hides the engine version and leaves its label.
void FillVersionsDialog(HWND dialog);
