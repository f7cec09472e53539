// The language and cluster popups: where they open, their rows, how a
// choice is made or abandoned, and what a choice changes (the selector's
// caption, the saved settings, the rebuilt main chain).
#include "button_subclass.h"
#include "launcher_settings.h"
#include "popups.h"
#include "requirement_queue.h"
#include "settings_store.h"
#include "step_messages.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

using window_test::LauncherWindow;
using window_test::LogCapture;
using window_test::PumpFor;
using window_test::PumpUntil;
using window_test::WindowOptions;

namespace {

WindowOptions ThreeLanguagesAllClusters()
{
    WindowOptions options;
    options.installedLanguages = {0, 1, 3};
    options.clusterAccessLevel = 2;
    return options;
}

class PopupsTest : public ::testing::Test {
protected:
    PopupsTest() : w_(ThreeLanguagesAllClusters()) { window_test::UseFakeChainSteps(); }
    ~PopupsTest() override
    {
        LanguageIndex = 0;
        ServerCluster = 0;
    }

    HWND Open(int selector)
    {
        PostMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(selector, NOTIFY_BUTTON_DOWN), 0);
        PumpFor(30);
        return FindWindowW(selector == IDC_LANGUAGE ? LANGUAGE_POPUP_CLASS : CLUSTER_POPUP_CLASS, nullptr);
    }
    static LPARAM At(int x, int y) { return MAKELPARAM(x, y); }
    static LONG_PTR State(HWND popup) { return GetWindowLongPtrW(popup, GWLP_USERDATA); }

    LauncherWindow w_;
};

TEST_F(PopupsTest, LanguagePopupOpensUnderItsSelector)
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
    EXPECT_EQ(GetWindow(popup, GW_OWNER), w_.get());
    EXPECT_EQ(GetCapture(), popup);
    EXPECT_EQ(State(popup), POPUP_JUST_OPENED);

    // The release of the opening press leaves it open; a click off the
    // rows closes it.
    SendMessageW(popup, WM_LBUTTONUP, 0, At(-5, -5));
    EXPECT_EQ(State(popup), POPUP_NO_ROW);
    EXPECT_TRUE(IsWindow(popup));
    SendMessageW(popup, WM_MOUSEMOVE, 0, At(50, 200));
    SendMessageW(popup, WM_LBUTTONUP, 0, At(50, 200));
    EXPECT_FALSE(IsWindow(popup));

    popup = Open(IDC_LANGUAGE);
    SendMessageW(popup, WM_RBUTTONDOWN, 0, At(10, 10));
    EXPECT_FALSE(IsWindow(popup));
    popup = Open(IDC_LANGUAGE);
    SetCapture(w_.get()); // the popup loses the capture
    ReleaseCapture();
    EXPECT_FALSE(IsWindow(popup));
}

TEST_F(PopupsTest, ChoosingALanguageSavesItAndRebuildsTheMainChain)
{
    WriteSettingString(SCOPE_LAUNCHER, L"Language", L"xx");
    HWND popup = Open(IDC_LANGUAGE);
    ASSERT_TRUE(popup);
    SendMessageW(popup, WM_MOUSEMOVE, 0, At(30, 25)); // row 1: the second installed language
    EXPECT_EQ(State(popup), 1);
    SendMessageW(popup, WM_LBUTTONDOWN, 0, At(30, 25));
    SendMessageW(popup, WM_LBUTTONUP, 0, At(30, 25));
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(LanguageIndex, 1);
    EXPECT_EQ(w_.Text(IDC_LANGUAGE), L"Fran\u00e7ais");
    wchar_t language[16] = {};
    ReadSettingString(SCOPE_LAUNCHER, language, 16, L"Language");
    EXPECT_STREQ(language, L"fr");

    // The text pane is hidden and the main chain rebuilt.
    std::wstring text = L"shown before";
    SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    ASSERT_TRUE(PumpUntil([] { return !RequirementQueue.empty(); }));
    EXPECT_STREQ(RequirementQueue.front()->name, L"Platform");
    EXPECT_EQ(RequirementQueue.size(), 16u);
    EXPECT_FALSE(IsWindowVisible(w_.Pane()));
}

TEST_F(PopupsTest, BottomEdgeSelectsTheLastRow)
{
    HWND popup = Open(IDC_LANGUAGE);
    SendMessageW(popup, WM_MOUSEMOVE, 0, At(100, 60));
    EXPECT_EQ(State(popup), 2);
    SendMessageW(popup, WM_LBUTTONUP, 0, At(100, 60));
    EXPECT_EQ(LanguageIndex, 3);

    popup = Open(IDC_CLUSTER);
    SendMessageW(popup, WM_MOUSEMOVE, 0, At(0, 60));
    EXPECT_EQ(State(popup), 2);
    SendMessageW(popup, WM_MOUSEMOVE, 0, At(0, 61));
    EXPECT_EQ(State(popup), POPUP_NO_ROW);
    SendMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageW(popup, WM_MBUTTONDOWN, 0, 0);
    EXPECT_FALSE(IsWindow(popup));
}

TEST_F(PopupsTest, ChoosingAClusterLogsAndSavesIt)
{
    LogCapture log;
    HWND popup = Open(IDC_CLUSTER);
    ASSERT_TRUE(popup);
    RECT place = {};
    GetWindowRect(popup, &place);
    EXPECT_EQ(place.bottom - place.top, 60);
    SendMessageW(popup, WM_LBUTTONUP, 0, At(5, 5)); // the opening release, over a row: stays open
    EXPECT_TRUE(IsWindow(popup));
    SendMessageW(popup, WM_MOUSEMOVE, 0, At(5, 45));
    SendMessageW(popup, WM_LBUTTONUP, 0, At(5, 45));
    EXPECT_FALSE(IsWindow(popup));
    EXPECT_EQ(ServerCluster, 2);
    EXPECT_EQ(w_.Text(IDC_CLUSTER), L"Dev");
    EXPECT_EQ(ReadSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", 99), 2u);
    ASSERT_TRUE(PumpUntil([] { return !RequirementQueue.empty(); }));
    EXPECT_STREQ(RequirementQueue.front()->name, L"Platform");
    EXPECT_NE(log.Text().find("SC_DEV\r\n"), std::string::npos);
}

TEST_F(PopupsTest, PressDragAndReleaseWithTheRealPointer)
{
    HWND selector = w_.Item(IDC_LANGUAGE);
    RECT r = {};
    GetWindowRect(selector, &r);
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
    EXPECT_EQ(LanguageIndex, 3);
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
    EXPECT_TRUE(PumpUntil([] { return !RequirementQueue.empty(); }));
}

} // namespace
