// The settings dialog over the real main window, driven inside its modal
// loop with the message boxes answered by the test: what it shows, what OK
// stores, which changes restart the main chain, the driver and box
// questions, the cache and diagnostics actions and the hidden test-cluster
// switch.
#include "applets/maintenance_requests.h"
#include "dialog_driver.h"
#include "dialogs/settings_dialog.h"
#include "game_launch.h"
#include "launcher_settings.h"
#include "machine/directx_step.h"
#include "machine/platform_step.h"
#include "machine/ready_to_play_step.h"
#include "requirement_queue.h"
#include "settings_store.h"
#include "step_messages.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

using window_test::Choose;
using window_test::Click;
using window_test::DialogDriver;
using window_test::LauncherWindow;
using window_test::MessageBoxAnswer;
using window_test::Ticked;

namespace {

constexpr UINT QUESTION = MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2;

LRESULT Selection(HWND dialog, int id)
{
    return SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
}

class SettingsDialogTest : public ::testing::Test {
  protected:
    SettingsDialogTest()
    {
        ResetLauncherSettingsForTest();
        GraphicsApiSupported[0] = GraphicsApiSupported[1] = true;
        GraphicsApiSupported[2] = false;
        MTRenderingSupported = true;
        ReadyToPlayShown = false;
        LaunchedModes[1] = false;
        DefragTrigger = 0;
        window_test::UseFakeChainSteps();
        // The chain the dialog may replace: one step waiting on its page.
        AppendStep(new window_test::FakeStep(STEP_PROGRESS_HIDDEN, true), L"Waiting");
        RunQueue(w_.get());
    }
    ~SettingsDialogTest() override
    {
        ResetLauncherSettingsForTest();
        MTRenderingSupported = ReadyToPlayShown = false;
        DefragTrigger = 0;
    }

    // Opens the dialog from the settings button and drives it.
    bool Open(DialogDriver& driver)
    {
        return driver.Run([this] { SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, 0), 0); });
    }
    // The chain that runs once the dialog's messages have been handled.
    std::wstring ChainFront()
    {
        window_test::PumpFor(50);
        return RequirementQueue.empty() ? L"" : RequirementQueue.front()->name;
    }

    LauncherWindow w_;
};

TEST_F(SettingsDialogTest, ShowsTheSettingsAndStoresThemOnOk)
{
    EnableFullScreen = true;
    EnableDeferred = true;
    LauncherGPU = false;
    ReadyToPlayShown = true;
    MessageBoxAnswer yes(IDOK);
    DialogDriver driver;
    driver
        .Then([&](HWND dialog) {
            wchar_t caption[64] = {};
            GetWindowTextW(dialog, caption, 64);
            EXPECT_STREQ(caption, L"Settings");
            EXPECT_EQ(window_test::ItemText(dialog, IDC_DEFRAG), L"Optimize");
            EXPECT_EQ(window_test::ItemText(dialog, IDC_THREADED_RENDERING), L"Multi-Threaded Rendering");
            EXPECT_TRUE(Ticked(dialog, IDC_FULL_SCREEN));
            EXPECT_FALSE(Ticked(dialog, IDC_LAUNCHER_GPU));
            EXPECT_TRUE(Ticked(dialog, IDC_THREADED_RENDERING));
            EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_GRAPHICS_API, CB_GETCOUNT, 0, 0), 2);
            EXPECT_EQ(Selection(dialog, IDC_GRAPHICS_API), 1); // DirectX 11
            EXPECT_EQ(Selection(dialog, IDC_GRAPHICS_ENGINE), 1);
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_START_SERVER)));
            // Centred on the main window.
            RECT owner = {}, place = {};
            GetWindowRect(w_.get(), &owner);
            GetWindowRect(dialog, &place);
            EXPECT_NEAR(place.left + place.right, owner.left + owner.right, 1);
            EXPECT_NEAR(place.top + place.bottom, owner.top + owner.bottom, 1);
            window_test::KeepPicture(dialog, L"settings_dialog");
        })
        .Then([](HWND dialog) {
            Click(dialog, IDC_FULL_SCREEN);
            Click(dialog, IDC_AGGRESSIVE_DOWNLOAD);
            Click(dialog, IDC_LAUNCHER_GPU);
            Choose(dialog, IDC_GRAPHICS_ENGINE, 0);
            Click(dialog, IDC_DIALOG_OK);
        });
    ASSERT_TRUE(Open(driver));
    ASSERT_EQ(yes.shown.size(), 1u);
    EXPECT_EQ(yes.shown[0].caption, L"Warning");
    EXPECT_EQ(yes.shown[0].type, QUESTION);
    EXPECT_FALSE(EnableFullScreen);
    EXPECT_FALSE(EnableAggressiveDownload);
    EXPECT_TRUE(LauncherGPU);
    EXPECT_FALSE(EnableDeferred);
    // None of these changes what the main chain does.
    EXPECT_EQ(ChainFront(), L"Waiting");
}

TEST_F(SettingsDialogTest, TextsFollowTheLanguage)
{
    LanguageIndex = 3;
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        wchar_t caption[64] = {};
        GetWindowTextW(dialog, caption, 64);
        EXPECT_STREQ(caption, L"Einstellungen");
        EXPECT_EQ(window_test::ItemText(dialog, IDC_VERIFY), L"\u00dcberpr\u00fcfen");
        Click(dialog, IDC_DIALOG_CANCEL);
    });
    ASSERT_TRUE(Open(driver));
}

TEST_F(SettingsDialogTest, DriverQuestionsNeverLeaveARefusedDriverToStore)
{
    // Message boxes are answered by one object at a time, so each part has
    // its own.
    GraphicsApiSupported[2] = true;
    {
        MessageBoxAnswer no(IDCANCEL);
        DialogDriver driver;
        driver.Then([&](HWND dialog) {
            Choose(dialog, IDC_GRAPHICS_API, 1); // DirectX 11, the stored one: no question
            EXPECT_TRUE(no.shown.empty());
            Choose(dialog, IDC_GRAPHICS_API, 2);
            ASSERT_EQ(no.shown.size(), 1u);
            EXPECT_NE(no.shown[0].text.find(L"DirectX 12 Rendering is experimental"), std::wstring::npos);
            EXPECT_EQ(Selection(dialog, IDC_GRAPHICS_API), 1);
            Choose(dialog, IDC_GRAPHICS_API, 0);
            EXPECT_NE(no.shown.back().text.find(L"Older drivers"), std::wstring::npos);
            EXPECT_EQ(Selection(dialog, IDC_GRAPHICS_API), 1);
            Click(dialog, IDC_DIALOG_OK);
        });
        ASSERT_TRUE(Open(driver));
        EXPECT_EQ(GraphicsAPI, 1);
        EXPECT_EQ(ChainFront(), L"Waiting");
    }
    // A driver taken with Yes and then cancelled with the dialog is not kept.
    {
        MessageBoxAnswer yes(IDOK);
        DialogDriver taken;
        taken.Then([](HWND dialog) {
            Choose(dialog, IDC_GRAPHICS_API, 2);
            EXPECT_EQ(Selection(dialog, IDC_GRAPHICS_API), 2);
            Click(dialog, IDC_DIALOG_CANCEL);
        });
        ASSERT_TRUE(Open(taken));
        EXPECT_EQ(GraphicsAPI, 1);
    }
    // The stored driver is not offered: nothing is selected, and a refused
    // choice goes back to nothing rather than staying to be stored by OK.
    GraphicsAPI = 2;
    GraphicsApiSupported[2] = false;
    {
        MessageBoxAnswer no(IDCANCEL);
        DialogDriver unsupported;
        unsupported.Then([](HWND dialog) {
            EXPECT_EQ(Selection(dialog, IDC_GRAPHICS_API), CB_ERR);
            Choose(dialog, IDC_GRAPHICS_API, 0);
            EXPECT_EQ(Selection(dialog, IDC_GRAPHICS_API), CB_ERR);
            Click(dialog, IDC_DIALOG_OK);
        });
        ASSERT_TRUE(Open(unsupported));
        EXPECT_EQ(no.shown.size(), 1u);
        EXPECT_EQ(GraphicsAPI, 2);
        EXPECT_EQ(ChainFront(), L"Waiting");
    }
    // Yes to an older driver stores it and restarts the main chain.
    MessageBoxAnswer yes(IDOK);
    DialogDriver older;
    older.Then([](HWND dialog) {
        Choose(dialog, IDC_GRAPHICS_API, 0);
        Click(dialog, IDC_DIALOG_OK);
    });
    ASSERT_TRUE(Open(older));
    EXPECT_EQ(GraphicsAPI, 0);
    EXPECT_EQ(ChainFront(), L"Platform");
}

TEST_F(SettingsDialogTest, ClearedBoxesAskAndBulkDownloadRestartsTheChain)
{
    MTRenderingSupported = false;
    EnableMTRendering = true;
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        // One processor: the box is unticked and cannot be changed.
        EXPECT_FALSE(Ticked(dialog, IDC_THREADED_RENDERING));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_THREADED_RENDERING)));
        MessageBoxAnswer no(IDCANCEL);
        Click(dialog, IDC_BULK_DOWNLOAD);
        ASSERT_EQ(no.shown.size(), 1u);
        EXPECT_TRUE(Ticked(dialog, IDC_BULK_DOWNLOAD));
        MessageBoxAnswer yes(IDOK);
        Click(dialog, IDC_BULK_DOWNLOAD);
        EXPECT_FALSE(Ticked(dialog, IDC_BULK_DOWNLOAD));
        Click(dialog, IDC_DIALOG_OK);
    });
    ASSERT_TRUE(Open(driver));
    EXPECT_FALSE(EnableBulkDownload);
    EXPECT_TRUE(EnableMTRendering);
    EXPECT_EQ(ChainFront(), L"Platform");
}

TEST_F(SettingsDialogTest, CacheAndDiagnosticActions)
{
    // VERIFY while a verify is pending offers to cancel it.
    SetVerifyPending(true);
    {
        MessageBoxAnswer yes(IDOK);
        DialogDriver verify;
        verify.Then([](HWND dialog) { Click(dialog, IDC_VERIFY); });
        ASSERT_TRUE(Open(verify));
        ASSERT_EQ(yes.shown.size(), 1u);
        EXPECT_EQ(yes.shown[0].text, L"A verify is already pending; do you want to cancel it instead?");
        EXPECT_EQ(yes.shown[0].caption, L"Verify Game Data?");
        EXPECT_FALSE(IsVerifyPending());
        EXPECT_EQ(ChainFront(), L"Platform");
    }
    // Declined, the dialog stays open.
    {
        MessageBoxAnswer no(IDCANCEL);
        DialogDriver declined;
        declined.Then([](HWND dialog) { Click(dialog, IDC_VERIFY); }).Then([](HWND dialog) {
            Click(dialog, IDC_DIALOG_CANCEL);
        });
        ASSERT_TRUE(Open(declined));
        EXPECT_FALSE(IsVerifyPending());
    }
    // DEFRAG asks nothing and restarts at once.
    {
        MessageBoxAnswer never(IDCANCEL);
        ClearQueue();
        DialogDriver defrag;
        defrag.Then([](HWND dialog) { Click(dialog, IDC_DEFRAG); });
        ASSERT_TRUE(Open(defrag));
        EXPECT_TRUE(never.shown.empty());
        EXPECT_EQ(DefragTrigger, -1);
        EXPECT_EQ(ChainFront(), L"Platform");
    }
    // GET_LOGS with nothing changed builds only the support chain.
    MessageBoxAnswer yes(IDOK);
    DialogDriver logs;
    logs.Then([](HWND dialog) { Click(dialog, IDC_GET_LOGS); });
    ASSERT_TRUE(Open(logs));
    ASSERT_EQ(yes.shown.size(), 1u);
    EXPECT_EQ(yes.shown[0].caption, L"Warning");
    EXPECT_EQ(ChainFront(), L"MakeLogDirectory");
    EXPECT_EQ(RequirementQueue.size(), 7u);
}

TEST_F(SettingsDialogTest, HiddenSwitchOpensTheTestCluster)
{
    DWORD stored = ReadSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", 0);
    window_test::HeldKeys keys({VK_CONTROL, VK_MENU, VK_SHIFT});
    // The main button is disabled: the public cluster must be updated first.
    {
        MessageBoxAnswer ok(IDOK);
        DialogDriver refused;
        refused.Then([](HWND dialog) { Click(dialog, IDC_VERSIONS); }).Then([](HWND dialog) {
            EXPECT_TRUE(GetDlgItem(dialog, IDC_VERIFY)); // still the settings dialog
            Click(dialog, IDC_DIALOG_CANCEL);
        });
        ASSERT_TRUE(Open(refused));
        ASSERT_EQ(ok.shown.size(), 1u);
        EXPECT_EQ(ok.shown[0].text, L"Test Cluster installs require the Public cluster to be updated first.");
        EXPECT_EQ(ok.shown[0].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(ClusterAccessLevel, 0);
    }

    // A launcher fixed to one cluster has no test cluster to open.
    EnableWindow(w_.Item(IDC_MAIN_BUTTON), TRUE);
    SingleClusterMode = true;
    {
        MessageBoxAnswer ok(IDOK);
        DialogDriver single;
        single.Then([](HWND dialog) { Click(dialog, IDC_VERSIONS); }).Then([](HWND dialog) {
            Click(dialog, IDC_DIALOG_CANCEL);
        });
        ASSERT_TRUE(Open(single));
        ASSERT_EQ(ok.shown.size(), 1u);
        EXPECT_NE(ok.shown[0].text.find(L"stand-alone"), std::wstring::npos) << ok.shown[0].text;
        EXPECT_EQ(ClusterAccessLevel, 0);
    }
    SingleClusterMode = false;

    MessageBoxAnswer ok(IDOK);
    DialogDriver granted;
    granted.Then([](HWND dialog) { Click(dialog, IDC_VERSIONS); });
    ASSERT_TRUE(Open(granted));
    ASSERT_EQ(ok.shown.size(), 1u);
    EXPECT_EQ(ok.shown[0].type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(ReadSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", 0), 1u);
    EXPECT_EQ(ClusterAccessLevel, 1);
    EXPECT_EQ(ServerCluster, SC_TEST);
    EXPECT_TRUE(IsWindowVisible(w_.Item(IDC_CLUSTER)));
    EXPECT_EQ(w_.Text(IDC_CLUSTER), L"Test");
    EXPECT_EQ(ChainFront(), L"Platform");

    // Once open, the same keys only show the versions.
    DialogDriver versions;
    versions.Then([](HWND dialog) { Click(dialog, IDC_VERSIONS); })
        .Then([](HWND dialog) {
            EXPECT_TRUE(GetDlgItem(dialog, IDC_LAUNCHER_VERSION));
            Click(dialog, IDC_DIALOG_OK);
        })
        .Then([](HWND dialog) { Click(dialog, IDC_DIALOG_CANCEL); });
    ASSERT_TRUE(Open(versions));
    EXPECT_EQ(ok.shown.size(), 1u);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"EnableTestCluster", stored);
}

} // namespace
