// The language and cluster popups: where they open, how a choice is made or
// abandoned, and what a choice changes (the selector's caption, the saved
// settings, the rebuilt main chain).
#include "button_subclass.h"
#include "launcher_settings.h"
#include "popups.h"
#include "requirement_queue.h"
#include "settings_store.h"
#include "step_messages.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

using window_test::LauncherWindow;
using window_test::PumpFor;
using window_test::PumpUntil;

namespace {

window_test::WindowOptions ThreeLanguagesAllClusters()
{
    window_test::WindowOptions options;
    options.installedLanguages = {0, 1, 3};
    options.clusterAccessLevel = 2;
    return options;
}

class PopupsTest : public ::testing::Test {
protected:
    PopupsTest() : w_(ThreeLanguagesAllClusters()) { window_test::UseFakeChainSteps(); }
    ~PopupsTest() override { LanguageIndex = ServerCluster = 0; }

    HWND Open(int selector)
    {
        PostMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(selector, NOTIFY_BUTTON_DOWN), 0);
        PumpFor(30);
        return FindWindowW(selector == IDC_LANGUAGE ? LANGUAGE_POPUP_CLASS : CLUSTER_POPUP_CLASS, nullptr);
    }
    static void Mouse(HWND popup, UINT message, int x, int y)
    {
        SendMessageW(popup, message, 0, MAKELPARAM(x, y));
    }
    static LONG_PTR State(HWND popup) { return GetWindowLongPtrW(popup, GWLP_USERDATA); }
    static bool MainChainBuilt()
    {
        return PumpUntil([] { return RequirementQueue.size() == 16; }) &&
               wcscmp(RequirementQueue.front()->name, L"Platform") == 0;
    }

    LauncherWindow w_;
};

TEST_F(PopupsTest, OpensUnderItsSelectorAndClosesOffTheRows)
{
    HWND popup = Open(IDC_LANGUAGE);
    ASSERT_TRUE(popup);
    RECT selector = {}, place = {};
    GetWindowRect(w_.Item(IDC_LANGUAGE), &selector);
    GetWindowRect(popup, &place);
    EXPECT_EQ(place.left, selector.left);
    EXPECT_EQ(place.top, selector.bottom);
    EXPECT_EQ(place.right - place.left, 100);
    EXPECT_EQ(place.bottom - place.top, 60);
    EXPECT_EQ(GetCapture(), popup);

    // The release of the opening press leaves it open; a click off the
    // rows closes it, and so do a right click and the loss of the capture.
    Mouse(popup, WM_LBUTTONUP, 5, 5);
    EXPECT_EQ(State(popup), POPUP_NO_ROW);
    Mouse(popup, WM_MOUSEMOVE, 50, 200);
    Mouse(popup, WM_LBUTTONUP, 50, 200);
    EXPECT_FALSE(IsWindow(popup));
    popup = Open(IDC_LANGUAGE);
    Mouse(popup, WM_RBUTTONDOWN, 10, 10);
    EXPECT_FALSE(IsWindow(popup));
    popup = Open(IDC_CLUSTER);
    SetCapture(w_.get());
    ReleaseCapture();
    EXPECT_FALSE(IsWindow(popup));

    // A quick second click on a selector arrives as a double click: it
    // opens the popup as the first click did.
    SendMessageW(w_.Item(IDC_LANGUAGE), WM_LBUTTONDBLCLK, 0, MAKELPARAM(5, 5));
    PumpFor(30);
    popup = FindWindowW(LANGUAGE_POPUP_CLASS, nullptr);
    ASSERT_TRUE(popup);
    Mouse(popup, WM_RBUTTONDOWN, 10, 10);
    EXPECT_FALSE(IsWindow(popup));
}

TEST_F(PopupsTest, ChoosingALanguageSavesItAndRebuildsTheMainChain)
{
    WriteSettingString(SCOPE_LAUNCHER, L"Language", L"xx");
    std::wstring text = L"shown before";
    SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    HWND popup = Open(IDC_LANGUAGE);
    Mouse(popup, WM_MOUSEMOVE, 30, 25); // row 1: the second installed language
    EXPECT_EQ(State(popup), 1);
    Mouse(popup, WM_LBUTTONDOWN, 30, 25);
    Mouse(popup, WM_LBUTTONUP, 30, 25);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(LanguageIndex, 1);
    EXPECT_EQ(w_.Text(IDC_LANGUAGE), L"Fran\u00e7ais");
    wchar_t language[16] = {};
    ReadSettingString(SCOPE_LAUNCHER, language, 16, L"Language");
    EXPECT_STREQ(language, L"fr");
    EXPECT_TRUE(MainChainBuilt());
    EXPECT_FALSE(IsWindowVisible(w_.Pane()));

    // The bottom edge counts as the last row.
    popup = Open(IDC_LANGUAGE);
    Mouse(popup, WM_MOUSEMOVE, 100, 60);
    Mouse(popup, WM_LBUTTONUP, 100, 60);
    EXPECT_EQ(LanguageIndex, 3);
}

TEST_F(PopupsTest, ChoosingAClusterLogsAndSavesIt)
{
    window_test::LogCapture log;
    std::wstring text = L"stays";
    SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    HWND popup = Open(IDC_CLUSTER);
    Mouse(popup, WM_MOUSEMOVE, 0, 61);
    EXPECT_EQ(State(popup), POPUP_JUST_OPENED); // off the list before any row
    Mouse(popup, WM_MOUSEMOVE, 0, 60);
    EXPECT_EQ(State(popup), 2);
    Mouse(popup, WM_LBUTTONUP, 0, 60);
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(ServerCluster, 2);
    EXPECT_EQ(w_.Text(IDC_CLUSTER), L"Dev");
    EXPECT_EQ(ReadSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", 99), 2u);
    EXPECT_TRUE(MainChainBuilt());
    EXPECT_TRUE(IsWindowVisible(w_.Pane()));
    EXPECT_NE(log.Text().find("SC_DEV\r\n"), std::string::npos);
}

TEST_F(PopupsTest, PressDragAndReleaseWithTheRealPointer)
{
    RECT r = {};
    GetWindowRect(w_.Item(IDC_LANGUAGE), &r);
    SetForegroundWindow(w_.get());
    window_test::MovePointer({r.left + 20, r.top + 10});
    PumpFor(50);
    window_test::PressLeft();
    HWND popup = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (popup = FindWindowW(LANGUAGE_POPUP_CLASS, nullptr)) != nullptr; }));
    window_test::MovePointer({r.left + 20, r.bottom + 50}); // row 2 of the popup
    EXPECT_TRUE(PumpUntil([&] { return State(popup) == 2; }, 3000)) << State(popup);
    window_test::ReleaseLeft();
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(popup); }, 3000));
    EXPECT_EQ(w_.Text(IDC_LANGUAGE), L"Deutsch");
}

TEST(PopupsSingleLanguageTest, OnlyEnglishStillSavesAndRebuilds)
{
    LauncherWindow w;
    window_test::UseFakeChainSteps();
    PostMessageW(w.get(), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, NOTIFY_BUTTON_DOWN), 0);
    PumpFor(30);
    HWND popup = FindWindowW(LANGUAGE_POPUP_CLASS, nullptr);
    ASSERT_TRUE(popup);
    RECT place = {};
    GetWindowRect(popup, &place);
    EXPECT_EQ(place.bottom - place.top, 20);
    SendMessageW(popup, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    SendMessageW(popup, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(LanguageIndex, 0);
    EXPECT_TRUE(PumpUntil([] { return RequirementQueue.size() == 16; }));
}

} // namespace
