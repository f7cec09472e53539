// The modal dedicated-server dialog (IDD_DEDICATED_SERVER), opened from the
// settings dialog once the ready page has been shown: the server's game
// mode, two options and a message of the day, handed to LaunchGame in its
// dedicated-server mode. It closes after OK whether or not a server starts;
// what a failed start shows is LaunchGame's.
#pragma once

#include <windows.h>

#include "dialogs/dialog_ids.h"

struct DedicatedServerOptions;

// The game modes' localisation keys in list order, ended by a null entry;
// the chosen key itself is what the server gets.
extern const char* const DedicatedServerModes[];

// Longest message of the day the edit takes.
constexpr int SERVER_MOTD_LIMIT = 128;

INT_PTR CALLBACK DedicatedServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills options from the dialog's controls. A message longer than the
// edit's limit (set from outside it) is left out.
void ReadDedicatedServerOptions(HWND dialog, DedicatedServerOptions& options);
