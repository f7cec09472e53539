// The two popup lists under the language and cluster selectors. A popup
// holds the mouse capture from the press that opened it to a choice, a
// click elsewhere, a right or middle click or the loss of the capture.
#pragma once

#include <windows.h>

#include "text_table.h"

#define LANGUAGE_POPUP_CLASS L"LanguagePopup"
#define CLUSTER_POPUP_CLASS L"ClusterPopup"

// Row state, the popup's user data: the press that opened it is not yet
// released (-2), no row under the pointer (-1), or the row under it.
constexpr LONG_PTR POPUP_JUST_OPENED = -2;
constexpr LONG_PTR POPUP_NO_ROW = -1;

// The row at client point (x, y) of a list of rows, each width x rowHeight,
// from y 0; a point on the bottom edge counts as the last row. -1 off the
// list.
int PopupRowAt(int x, int y, int width, int rowHeight, int rows);

// The state after the pointer moved onto row (-1: off the list): a row, or
// -1, except that a negative state stays as it is off the list.
LONG_PTR NextPopupState(LONG_PTR state, int row);

// The language index shown in a row of the language popup: the row-th set
// flag of installed in index order; -1 when there is no such row.
int InstalledLanguageAtRow(const bool installed[LANGUAGE_COUNT], int row);

// Opens a popup under selector (its window rectangle's left and bottom
// edges), owned by the main window.
HWND OpenLanguagePopup(HWND window, HWND selector);
HWND OpenClusterPopup(HWND window, HWND selector);

LRESULT CALLBACK LanguagePopupProc(HWND popup, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ClusterPopupProc(HWND popup, UINT message, WPARAM wParam, LPARAM lParam);
