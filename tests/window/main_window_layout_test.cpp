// The real main window at several displays: its size, where its items sit,
// which are shown, its fonts, classes and resources.
#include "drawing_resources.h"
#include "launcher.h"
#include "step_messages.h"
#include "ui_scale.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <richedit.h>

using window_test::LauncherWindow;
using window_test::WindowOptions;

namespace {

void ExpectPlace(const LauncherWindow& w, int id, int x, int y, int width, int height)
{
    RECT r = w.ItemRect(id);
    EXPECT_EQ(r.left, x) << "item " << id;
    EXPECT_EQ(r.top, y) << "item " << id;
    EXPECT_EQ(r.right - r.left, width) << "item " << id;
    EXPECT_EQ(r.bottom - r.top, height) << "item " << id;
}

void ExpectClient(HWND window, int width, int height)
{
    RECT r = {};
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, width);
    EXPECT_EQ(r.bottom, height);
}

LONG FontHeight(HFONT font)
{
    LOGFONTW logFont = {};
    GetObjectW(font, sizeof(logFont), &logFont);
    return logFont.lfHeight;
}

bool Visible(const LauncherWindow& w, int id)
{
    return (GetWindowLongPtrW(w.Item(id), GWL_STYLE) & WS_VISIBLE) != 0;
}

TEST(MainWindowLayoutTest, DesignSizeAt96Dpi)
{
    LauncherWindow w;
    ExpectClient(w.get(), 1024, 640);
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    ExpectPlace(w, IDC_CLOSE, 1000, 4, 20, 20);
    ExpectPlace(w, IDC_LANGUAGE, 848, 4, 100, 20);
    ExpectPlace(w, IDC_MAIN_BUTTON, 868, 591, 132, 33);
    ExpectPlace(w, IDC_PROGRESS, 32, 611, 812, 13);
    ExpectPlace(w, IDC_STATUS_TEXT, 32, 592, 406, 19);
    ExpectPlace(w, IDC_TEXT_FRAME, 32, 120, 1024 - 36 - bar - 1, 456);
    ExpectPlace(w, IDC_TEXT_SCROLLBAR, 1024 - 4 - bar, 120, bar, 456);
    RECT pane = {};
    GetClientRect(w.Pane(), &pane);
    EXPECT_EQ(pane.right, 1024 - 36 - bar - 1);
    EXPECT_EQ(FontHeight(reinterpret_cast<HFONT>(SendMessageW(w.Item(IDC_STATUS_TEXT), WM_GETFONT, 0, 0))),
              -13);
    EXPECT_EQ(FontHeight(MainButtonFont), -17);
}

TEST(MainWindowLayoutTest, ScaledByTheDisplayOrForcedBig)
{
    {
        LauncherWindow w({120});
        ExpectClient(w.get(), 1280, 800);
        ExpectPlace(w, IDC_CLOSE, 1280 - 30, 5, 25, 25);
        ExpectPlace(w, IDC_LANGUAGE, 1280 - 90 - 130, 5, 125, 25);
        ExpectPlace(w, IDC_MAIN_BUTTON, 1280 - 30 - 165, 720 + (80 - 41) / 2, 165, 41);
        EXPECT_EQ(FontHeight(StatusFont), -17);
        EXPECT_EQ(FontHeight(MainButtonFont), -22);
    }
    {
        LauncherWindow w({144});
        ExpectClient(w.get(), 1536, 960);
        ExpectPlace(w, IDC_CLOSE, 1536 - 36, 6, 30, 30);
        // m = (96 - 29 - 20) / 2 = 23: the bar sits m above the bottom edge.
        ExpectPlace(w, IDC_PROGRESS, 48, 960 - 20 - 23, 1536 - 36 - 198 - 36 - 48, 20);
        ExpectPlace(w, IDC_TEXT_FRAME, 48, 180, 1536 - 6 - 48 - GetSystemMetrics(SM_CXVSCROLL) - 1,
                    960 - 180 - 96);
        EXPECT_EQ(FontHeight(StatusFont), -20);
    }
    {
        // Forced big at 120 dpi: the layout of 3/2, the fonts of 120 dpi.
        LauncherWindow w({120, L"-force:big"});
        EXPECT_EQ(UiScale.num * 2, UiScale.den * 3);
        ExpectClient(w.get(), 1536, 960);
        ExpectPlace(w, IDC_CLOSE, 1536 - 36, 6, 30, 30);
        EXPECT_EQ(FontHeight(StatusFont), -17);
    }
}

TEST(MainWindowLayoutTest, WindowItemsAndResources)
{
    LauncherWindow w;
    HWND window = w.get();
    wchar_t text[64] = {};
    GetClassNameW(window, text, 64);
    EXPECT_STREQ(text, L"Launcher");
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(text, L"Vantorel");
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & (WS_POPUP | WS_BORDER | WS_CAPTION),
              WS_POPUP | WS_BORDER);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(SharedMainWindow, window);
    EXPECT_TRUE(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    EXPECT_TRUE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
    RECT work = {}, place = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window, &place);
    EXPECT_EQ(place.left, work.left + (work.right - work.left - (place.right - place.left)) / 2);

    for (int id : {IDC_CLOSE, IDC_MINIMIZE, IDC_SETTINGS, IDC_LANGUAGE, IDC_MAIN_BUTTON, IDC_PROGRESS,
                   IDC_STATUS_TEXT, IDC_STATUS_DETAIL, IDC_TEXT_FRAME})
        EXPECT_TRUE(Visible(w, id)) << id;
    for (int id : {IDC_CLUSTER, IDC_ALT_BUTTON, IDC_TEXT_SCROLLBAR})
        EXPECT_FALSE(Visible(w, id)) << id;
    EXPECT_FALSE(GetWindowLongPtrW(w.Pane(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(IsWindowEnabled(w.Item(IDC_MAIN_BUTTON)));
    EXPECT_EQ(w.Text(IDC_MAIN_BUTTON), L"Quit");
    EXPECT_EQ(w.Text(IDC_LANGUAGE), L"English");
    EXPECT_EQ(w.Text(IDC_CLUSTER), L"Public");

    PBRANGE range = {};
    SendMessageW(w.Item(IDC_PROGRESS), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iHigh, 0x10000);
    GetClassNameW(w.Pane(), text, 64);
    EXPECT_EQ(_wcsicmp(text, L"RICHEDIT50W"), 0) << text;
    EXPECT_TRUE(SendMessageW(w.Pane(), EM_GETEVENTMASK, 0, 0) & ENM_LINK);

    WindowOptions access;
    access.clusterAccessLevel = 2;
    access.serverCluster = 1;
    LauncherWindow tester(access);
    EXPECT_TRUE(Visible(tester, IDC_CLUSTER));
    EXPECT_EQ(tester.Text(IDC_CLUSTER), L"Test");
}

} // namespace
