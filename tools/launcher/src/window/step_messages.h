// Private messages of the main window and the ids of its items that steps
// and the browser host use. Steps report only by posting these to the main
// window (or, for success, to their own page).
#pragma once

#include <windows.h>

#define WM_STEP_NEXT (WM_USER + 1)       // 1025
#define WM_STEP_SUCCEEDED (WM_USER + 2)  // 1026
#define WM_STEP_FAILED (WM_USER + 3)     // 1027, lParam a ChainType
#define WM_STEP_SHOW_MOTD (WM_USER + 4)  // 1028
#define WM_STEP_SHOW_TEXT (WM_USER + 5)  // 1029, wParam 1 narrow RTF / 0 wide; null lParam hides
#define WM_STEP_PAGE_SHOWN (WM_USER + 6) // 1030, lParam a narrow localisation key

#define IDC_STATUS_TEXT 1037
#define IDC_STATUS_DETAIL 1038
#define IDC_MAIN_BUTTON 1044
#define IDC_ALT_BUTTON 1045
