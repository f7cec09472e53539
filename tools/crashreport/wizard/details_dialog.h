// The in-house details dialog: what the crash folder holds, the game log's
// tail, and a button that shows the folder in the file manager.
#pragma once

#include <windows.h>

#include "wizard_context.h"

// Runs the dialog modally over owner; returns when it is closed.
void ShowDetailsDialog(HWND owner, WizardContext& context);

INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
