// Stand-in for the settings dialog until it is part of the launcher: it
// closes as soon as it opens.
#include "settings_dialog.h"

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}
