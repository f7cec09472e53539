// The modal settings dialog that the settings button opens.
#pragma once

#include <windows.h>

#define IDD_SETTINGS 103

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
