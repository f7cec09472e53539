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
#define WM_BROWSER_FAILED (WM_USER + 7)  // 1031, from the browser host: no page will load

#define IDC_STATUS_TEXT 1037
#define IDC_STATUS_DETAIL 1038
#define IDC_CLOSE 1039
#define IDC_MINIMIZE 1040
#define IDC_SETTINGS 1041
#define IDC_LANGUAGE 1042
#define IDC_CLUSTER 1043
#define IDC_MAIN_BUTTON 1044
#define IDC_ALT_BUTTON 1045
#define IDC_TEXT_PANE 1046      // inside IDC_TEXT_FRAME
#define IDC_TEXT_FRAME 1047
#define IDC_PROGRESS 1048       // range 0 to 0x10000
#define IDC_TEXT_SCROLLBAR 1049
