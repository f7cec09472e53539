// The drawing resources of the Win32 interface: the background, the button
// bitmaps, the fonts and the name lists of the two selectors. Created by
// LoadLauncherImages (start-up) and the main window's WM_CREATE, deleted at
// shutdown by DeleteLauncherDrawingObjects. User-interface thread only; a
// resource that cannot be made stays null and painting goes on without it.
#pragma once

#include <windows.h>

#include "text_table.h"

constexpr int DESIGN_WIDTH = 1024;
constexpr int DESIGN_HEIGHT = 640;

// Painted, scaled, behind the whole interface: black while the browser is
// off, white after the browser failed to start. BackgroundSize is read from
// the bitmap and sizes the window without the browser; BackgroundColor is
// the bitmap's one colour.
extern HBITMAP BackgroundBitmap;
extern SIZE BackgroundSize;
extern COLORREF BackgroundColor;

// Columns of a button row.
enum ButtonState { BUTTON_PRESSED = 0, BUTTON_HOVER = 1, BUTTON_DISABLED = 2, BUTTON_NORMAL = 3 };
// Rows of ButtonBitmaps.
enum ButtonRow { ROW_CLOSE = 0, ROW_MINIMIZE = 1, ROW_SETTINGS = 2, ROW_SELECTOR = 3, ROW_POPUP = 4 };
constexpr int BUTTON_ROWS = 5;
constexpr int BUTTON_STATES = 4;

// Resource 501 + 4 * row + column; no row has a disabled bitmap.
extern HBITMAP ButtonBitmaps[BUTTON_ROWS][BUTTON_STATES];
// Resources 521 to 524, 32 bits per pixel with premultiplied alpha.
extern HBITMAP MainButtonBitmaps[BUTTON_STATES];
// The stored size of bitmap 521; sizes both action buttons (scaled).
extern SIZE MainButtonSize;

extern HFONT StatusFont;     // Tahoma 10 pt
extern HFONT ButtonFont;     // Tahoma 10 pt
extern HFONT MainButtonFont; // Tahoma 13 pt semi-bold

constexpr int NAME_CAPACITY = 128;
// Each language's own name ("LanguageSelector" in that language).
extern wchar_t LanguageNames[LANGUAGE_COUNT][NAME_CAPACITY];
// "PUBLIC", "TEST", "DEV" in English.
extern wchar_t ClusterNames[3][NAME_CAPACITY];

// The entries of the two lists; "" for an index outside them.
const wchar_t* LanguageName(int index);
const wchar_t* ClusterDisplayName(int cluster);

// Start-up, not headless: the black background (browser off), the button
// bitmaps from instance's resources and the name lists.
void LoadLauncherImages(HINSTANCE instance);

// A 1024 x 640 bitmap compatible with dc, filled with colour.
HBITMAP CreateSolidBitmap(HDC dc, COLORREF colour);

// Replaces BackgroundBitmap by a solid one of colour, made for window.
void ReplaceBackground(HWND window, COLORREF colour);

// The three fonts, sized by the window's vertical dots per inch.
void CreateLauncherFonts(HWND window);

// Deletes every bitmap and font above, clearing each handle.
void DeleteLauncherDrawingObjects();
