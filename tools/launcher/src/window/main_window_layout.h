// Where the items of the main window go, and their creation in WM_CREATE.
//
// Lengths of the 1024 x 640 design are scaled with S() (ui_scale.h); the
// system's scroll bar width is not. At 1/1 with a 17-pixel scroll bar the
// close button sits at (1000, 4), the action buttons at (868, 591) and the
// text frame at (32, 120), 970 x 456.
#pragma once

#include <windows.h>

struct ItemPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct MainWindowLayout {
    ItemPlace close, minimize, settings, language, cluster; // along the top edge
    ItemPlace mainButton;                                   // IDC_ALT_BUTTON shares it
    ItemPlace progress, statusText, statusDetail;           // the footer band
    ItemPlace textFrame, textPane, textScrollBar;           // the pane sits at (0, 0) in the frame
};

// The layout of a client area of width x height with the current UiScale.
// mainButtonBitmap is the stored size of the action buttons' bitmap;
// scrollBarWidth the system's vertical scroll bar width.
MainWindowLayout ComputeMainWindowLayout(int width, int height, SIZE mainButtonBitmap, int scrollBarWidth);

// The creation steps of WM_CREATE, in their order. The title buttons and the
// cluster selector (only with ClusterAccessLevel > 0) are always shown; the
// footer and the text frame only without the browser; the text pane and its
// scroll bar are created hidden.
void CreateTitleButtons(HWND window);
void CreateFooterControls(HWND window);
void CreateTextPane(HWND window);
