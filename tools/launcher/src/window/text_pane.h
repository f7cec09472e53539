// The text pane of the Win32 window: a read-only rich-edit control
// (IDC_TEXT_PANE) inside the frame IDC_TEXT_FRAME, scrolled through the
// separate bar IDC_TEXT_SCROLLBAR, showing the texts of WM_STEP_SHOW_TEXT.
#pragma once

#include <windows.h>

#include <cstddef>

// Style of the pane. The vertical scroll bar style lets the control keep
// real scroll information (Wine's rich edit reports stale ranges without
// it); the pane's own bar is only shown while its range is read.
constexpr DWORD TEXT_PANE_STYLE = ES_MULTILINE | ES_READONLY | WS_VSCROLL;

// The pane holds the message of the day (see WM_STEP_SHOW_MOTD).
extern bool MotdShown;

// Upgrades the pane to "RICHEDIT50W" when Msftedit.dll is loaded (same
// style, place, parent and id), then enables link notifications and URL
// detection, sets 4-pixel margins and installs TextPaneSubclassProc.
// Returns the control to use.
HWND ReplaceWithRichEdit(HWND control, HWND parent);

// The pane's subclass: paints the background behind it, takes no keys and
// hands the wheel to IDC_TEXT_SCROLLBAR.
LRESULT CALLBACK TextPaneSubclassProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam);

// Length in bytes of a narrow RTF given with WM_STEP_SHOW_TEXT: up to its
// zero byte, and never beyond the end of the message of the day's buffer,
// which carries none.
size_t ShownRtfLength(const char* rtf);

// Loads a WM_STEP_SHOW_TEXT text into the pane (wParam 1: narrow RTF, 0: a
// wide text), with the text limit raised to hold it whole, and selects its
// start.
void LoadPaneText(HWND pane, WPARAM wParam, LPARAM lParam);

// WM_STEP_SHOW_TEXT without the browser: shows the text (or hides the pane
// for a null lParam) and the separate scroll bar when the text is longer
// than the pane.
LRESULT ShowTextInPane(HWND window, WPARAM wParam, LPARAM lParam);

// WM_VSCROLL of the main window: moves IDC_TEXT_SCROLLBAR and the pane.
LRESULT ScrollTextPane(HWND window, WPARAM wParam);

// WM_NOTIFY of the main window: a left click on a link in the pane opens
// it with the shell when IsUrlForTheShell allows it. 1 when a link text was
// read.
LRESULT OpenClickedLink(LPARAM lParam);
