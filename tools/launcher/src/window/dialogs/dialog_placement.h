// Where the launcher's modal dialogs open and how large they are.
#pragma once

#include <windows.h>

// Moves the dialog, without repainting, so that it is centred on its owner
// (halves truncated). A dialog without an owner stays where it is.
void CentreOnOwner(HWND dialog);

// Dialog units follow the dialog font, which follows the display's dots per
// inch. The main window follows UiScale instead ("-force:big" makes it half
// as large again on any display), so its dialogs are brought to the same
// scale: every control and the client area are stretched by UiScale over
// the display's own scale. Fonts stay as they are.
void ScaleDialogToUi(HWND dialog);

// Both, in the order a dialog's WM_INITDIALOG needs them.
void PlaceDialog(HWND dialog);
