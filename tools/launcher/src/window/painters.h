// Painting of the Win32 interface over its background: the owner-drawn
// buttons and the parts of the background behind children. Bitmaps are of
// the 1024 x 640 design and are stretched to the scaled window: a window
// rectangle maps back into a bitmap with U() (ui_scale.h).
#pragma once

#include <windows.h>

// Copies from a design bitmap into dc: destination (x, y, width, height),
// source (U(sourceX), U(sourceY), U(width), U(height)); COLORONCOLOR,
// SRCCOPY. A null bitmap paints nothing.
void CopyFromDesign(HDC dc, HBITMAP bitmap, int x, int y, int width, int height, int sourceX, int sourceY);

// Paints one owner-drawn launcher button from its WM_DRAWITEM data.
// bitmaps is a row of four (pressed, hover, disabled, normal); with alpha
// the bitmap's per-pixel alpha blends it over what is there. The caption is
// the button's text, grey in the disabled state, else TextColor.
void DrawLauncherButton(const DRAWITEMSTRUCT& item, bool alpha, HBITMAP const bitmaps[4], HFONT font,
                        bool centred);

// Which of the four bitmaps a button shows: pressed (selected), hover,
// disabled, normal, in that order of precedence.
int ButtonBitmapColumn(UINT itemState, bool hovered);

// Paints the part of BackgroundBitmap that lies behind control (a child of
// the main window) into dc.
void PaintScaledBackground(HWND control, HDC dc);
