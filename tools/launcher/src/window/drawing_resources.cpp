#include "drawing_resources.h"

#include "clusters.h"
#include "gdi_objects.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "localization.h"
#include "scoped_handles.h"
#include "ui_scale.h"

HBITMAP BackgroundBitmap = nullptr;
SIZE BackgroundSize = {};
COLORREF BackgroundColor = 0;
HBITMAP ButtonBitmaps[BUTTON_ROWS][BUTTON_STATES] = {};
HBITMAP MainButtonBitmaps[BUTTON_STATES] = {};
SIZE MainButtonSize = {};
HFONT StatusFont = nullptr;
HFONT ButtonFont = nullptr;
HFONT MainButtonFont = nullptr;
wchar_t LanguageNames[LANGUAGE_COUNT][NAME_CAPACITY] = {};
wchar_t ClusterNames[3][NAME_CAPACITY] = {};

namespace {

constexpr int FIRST_BUTTON_BITMAP = 501;
constexpr int FIRST_MAIN_BUTTON_BITMAP = 521;

HBITMAP LoadBitmapResource(HINSTANCE instance, int id)
{
    return static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP header = {};
    if (!bitmap || !GetObjectW(bitmap, sizeof(header), &header))
        return {};
    return {header.bmWidth, header.bmHeight};
}

template <typename Handle> void DeleteHandle(Handle& handle)
{
    if (handle)
        DeleteObject(handle);
    handle = nullptr;
}

HFONT CreateTahoma(int points, int weight, int dpiY)
{
    return CreateFontW(-MulDiv(points, dpiY, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                       0, 0, L"Tahoma");
}

void LoadNameLists()
{
    int remembered = LanguageIndex;
    for (int i = 0; i < LANGUAGE_COUNT; ++i) {
        LanguageIndex = i;
        GetLocalizedTextBuffer("LanguageSelector", LanguageNames[i], NAME_CAPACITY);
    }
    LanguageIndex = 0;
    for (int cluster = SC_PUBLIC; cluster < SC_MAX; ++cluster)
        GetLocalizedTextBuffer(GetClusterDisplayKey(cluster), ClusterNames[cluster], NAME_CAPACITY);
    LanguageIndex = remembered;
}

} // namespace

const wchar_t* LanguageName(int index)
{
    return index >= 0 && index < LANGUAGE_COUNT ? LanguageNames[index] : L"";
}

const wchar_t* ClusterDisplayName(int cluster)
{
    return cluster >= SC_PUBLIC && cluster < SC_MAX ? ClusterNames[cluster] : L"";
}

HBITMAP CreateSolidBitmap(HDC dc, COLORREF colour)
{
    HBITMAP bitmap = CreateCompatibleBitmap(dc, DESIGN_WIDTH, DESIGN_HEIGHT);
    if (!bitmap)
        return nullptr;
    {
        MemoryDc memory(dc);
        SelectedObject selected(memory.get(), bitmap);
        BrushHandle brush(CreateSolidBrush(colour));
        RECT all = {0, 0, DESIGN_WIDTH, DESIGN_HEIGHT};
        FillRect(memory.get(), &all, brush.Get());
    }
    SetBitmapDimensionEx(bitmap, DESIGN_WIDTH, DESIGN_HEIGHT, nullptr);
    return bitmap;
}

void ReplaceBackground(HWND window, COLORREF colour)
{
    DeleteHandle(BackgroundBitmap);
    WindowDc dc(window);
    BackgroundBitmap = CreateSolidBitmap(dc.get(), colour);
    BackgroundSize = BitmapSize(BackgroundBitmap);
    BackgroundColor = colour;
}

void LoadLauncherImages(HINSTANCE instance)
{
    if (!CefEnabled)
        ReplaceBackground(SharedMainWindow, RGB(0, 0, 0));
    for (int column = 0; column < BUTTON_STATES; ++column) {
        MainButtonBitmaps[column] = LoadBitmapResource(instance, FIRST_MAIN_BUTTON_BITMAP + column);
        if (column == BUTTON_DISABLED)
            continue;
        for (int row = 0; row < BUTTON_ROWS; ++row)
            ButtonBitmaps[row][column] =
                LoadBitmapResource(instance, FIRST_BUTTON_BITMAP + BUTTON_STATES * row + column);
    }
    MainButtonSize = BitmapSize(MainButtonBitmaps[BUTTON_PRESSED]);
    LoadNameLists();
}

void CreateLauncherFonts(HWND window)
{
    WindowDc dc(window);
    int dpiY = DeviceDpiFunction(dc.get(), LOGPIXELSY);
    DeleteHandle(StatusFont);
    DeleteHandle(ButtonFont);
    DeleteHandle(MainButtonFont);
    StatusFont = CreateTahoma(10, FW_NORMAL, dpiY);
    ButtonFont = CreateTahoma(10, FW_NORMAL, dpiY);
    MainButtonFont = CreateTahoma(13, FW_SEMIBOLD, dpiY);
}

void DeleteLauncherDrawingObjects()
{
    for (auto& row : ButtonBitmaps) {
        for (HBITMAP& bitmap : row)
            DeleteHandle(bitmap);
    }
    for (HBITMAP& bitmap : MainButtonBitmaps)
        DeleteHandle(bitmap);
    DeleteHandle(BackgroundBitmap);
    DeleteHandle(StatusFont);
    DeleteHandle(ButtonFont);
    DeleteHandle(MainButtonFont);
}
