// FaultCourier's LocalizationTable (its "TEXT" resource 102, in the same
// format as the launcher's table) and the helpers that put its texts into
// dialog controls.
//
// The table is loaded on first use and never changes during a run; lookups
// use the language of this run (language.h). A key, or a key's line for the
// language, that is missing gives the empty text: there is no fallback to
// English. None of the control helpers asks for a repaint.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Loads the table from the program's own module (a missing resource leaves
// it empty) and settles the language.
void LoadLocalizationTable();

// out receives the text of key (narrow, ASCII) in the current language.
void GetLocalizedText(const char* key, std::wstring& out);

// The text copied into buffer (capacity characters), cut to fit and always
// terminated; returns the characters copied.
size_t GetLocalizedTextBuffer(const char* key, wchar_t* buffer, size_t capacity);

// Control texts hold at most CONTROL_TEXT_SIZE - 1 characters.
constexpr size_t CONTROL_TEXT_SIZE = 1024;

// Sets the text of key as the window's text.
void SetWindowTextByKey(HWND window, const char* key);

// The same for the control itemId of dialog.
void SetDlgItemTextByKey(HWND dialog, int itemId, const char* key);

// Sets a wide text on the control itemId of dialog.
void SetControlText(HWND dialog, int itemId, const wchar_t* text);

// Appends text behind the control's current text; the control stays as it
// was when the sum does not fit CONTROL_TEXT_SIZE.
void AppendDlgItemText(HWND dialog, int itemId, const wchar_t* text);

// Appends text behind the control's current text, leaving room for reserve
// more characters; a text that does not fit is cut and ends in "...", so
// that the cut shows.
void AppendDlgItemTextCut(HWND dialog, int itemId, const wchar_t* text, size_t reserve);

// Appends the text of key behind the control's current text, cut to what
// fits CONTROL_TEXT_SIZE.
void AppendDlgItemTextByKey(HWND dialog, int itemId, const char* key);
