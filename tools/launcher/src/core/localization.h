// The launcher's LocalizationTable and the helpers that put its texts on
// screen.
//
// The table is the program's "TEXT" resource 526, loaded once at start-up on
// the user-interface thread and read-only afterwards, so any thread may look
// texts up without a lock. Lookups use the current language, `LanguageIndex`
// (a LauncherSettings value); a key or language line that is missing gives
// the empty text.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "text_table.h"

constexpr int LOCALIZATION_TABLE_RESOURCE = 526;

// Loads the table from the program's own module. A missing or damaged
// resource leaves the table empty (every lookup then gives "").
void LoadLocalizationTable();

// The loaded table text.
const std::wstring& GetLocalizationTable();

// out receives the text of key (ASCII, at most 125 characters) in the current
// language, or the empty text.
void GetLocalizedText(const char* key, std::wstring& out);

// The same text copied into buffer (capacity characters), cut to fit and
// always terminated. Returns the number of characters copied.
size_t GetLocalizedTextBuffer(const char* key, wchar_t* buffer, size_t capacity);

// Sets the text of key (at most 1023 characters) as the window's text; with
// repaint through SetTransparentText.
void SetWindowTextByKey(HWND window, const char* key, bool repaint);

// SetWindowTextByKey with repaint on the dialog's item; nothing in headless
// mode.
void SetDlgItemTextByKey(HWND dialog, int itemId, const char* key);

// Sets the window's text and makes its area in the parent (or the parent's
// parent) repaint with erasing, so a label drawn transparently over a
// background keeps no trace of the old text.
void SetTransparentText(HWND window, const wchar_t* text);

// Every message box of the launcher goes through this one function, which
// has MessageBoxExW's signature; tests replace it to answer without a window.
using MessageBoxExProc = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type,
                                      WORD languageId);
extern MessageBoxExProc MessageBoxExFunction;

// Shows a message box in the current language and returns the pressed
// button's id. When a window of this thread is owned by a disabled top-level
// window (a modal dialog is up), that window owns the box instead of owner.
int LocalizedMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// LocalizedMessageBox with the texts of two keys, each cut to 511 characters.
int MessageBoxByKey(HWND owner, const char* textKey, const char* captionKey, UINT type);

// EnumThreadWindows callback of LocalizedMessageBox; lParam points to the
// owner (HWND) to replace. Always continues.
BOOL CALLBACK FindMessageBoxOwnerProc(HWND window, LPARAM owner);
