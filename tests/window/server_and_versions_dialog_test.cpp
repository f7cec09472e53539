// The dedicated-server and versions dialogs, opened from the settings dialog
// as the user opens them: START_SERVER only once the ready page was shown
// and until a server was started, the server options read from the
// controls, what OK, Cancel and the close box start, the two versions, and
// the dialogs' scale following the main window's.
#include "clusters.h"
#include "dialog_driver.h"
#include "dialogs/dedicated_server_dialog.h"
#include "dialogs/settings_dialog.h"
#include "dialogs/versions_dialog.h"
#include "game_launch.h"
#include "launcher_settings.h"
#include "machine/ready_to_play_step.h"
#include "step_messages.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <string>

using window_test::Click;
using window_test::DialogDriver;
using window_test::ItemText;
using window_test::LauncherWindow;
using window_test::LogCapture;
using window_test::Ticked;

namespace {

class ServerAndVersionsTest : public ::testing::Test {
  protected:
    ServerAndVersionsTest()
    {
        ResetLauncherSettingsForTest();
        ResetClusterInstallDirsForTest();
        ReadyToPlayShown = true;
        LaunchedModes[1] = false;
    }
    ~ServerAndVersionsTest() override
    {
        ReadyToPlayShown = false;
        LaunchedModes[1] = false;
        ResetLauncherSettingsForTest();
        ResetClusterInstallDirsForTest();
    }
    bool Open(HWND owner, DialogDriver& driver)
    {
        return driver.Run([owner] { SendMessageW(owner, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, 0), 0); });
    }
    // Server launches asked for: the launch's stand-in logs its call, and
    // the launch itself logs the server's command line when it cannot start
    // it (no game is installed here).
    static size_t Launches(const LogCapture& log)
    {
        std::string text = log.Text();
        size_t count = 0;
        for (const char* mark : {"LaunchGame(1)", "-applet:/Ornix/Types/Game/DedicatedServer"}) {
            for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
                ++count;
        }
        return count;
    }
};

TEST_F(ServerAndVersionsTest, StartServerOffersTheModesAndHandsTheOptionsOn)
{
    LauncherWindow w;
    LogCapture log;
    DedicatedServerOptions read;
    DialogDriver driver;
    driver.Then([](HWND settings) { Click(settings, IDC_START_SERVER); }).Then([&](HWND dialog) {
        wchar_t caption[64] = {};
        GetWindowTextW(dialog, caption, 64);
        EXPECT_STREQ(caption, L"Dedicated Server");
        EXPECT_EQ(ItemText(dialog, IDC_SERVER_MOTD_LABEL), L"MOTD");
        EXPECT_EQ(ItemText(dialog, IDC_CLAN_ONLY), L"Clan only");
        HWND modes = GetDlgItem(dialog, IDC_SERVER_MODE);
        EXPECT_EQ(SendMessageW(modes, CB_GETCOUNT, 0, 0), 4);
        EXPECT_EQ(SendMessageW(modes, CB_GETCURSEL, 0, 0), 0);
        window_test::KeepPicture(dialog, L"dedicated_server_dialog");
        // Untouched: the first mode, no flags, no message.
        ReadDedicatedServerOptions(dialog, read);
        EXPECT_STREQ(read.missionId, "SB_Title");
        EXPECT_FALSE(read.clanOnly);
        EXPECT_FALSE(read.altPvpMode);
        EXPECT_TRUE(read.motd.empty());
        // Typing stops at 128 characters; all of them are passed on.
        std::wstring typed(130, L'm');
        SendDlgItemMessageW(dialog, IDC_SERVER_MOTD, EM_REPLACESEL, TRUE,
                            reinterpret_cast<LPARAM>(typed.c_str()));
        window_test::Choose(dialog, IDC_SERVER_MODE, 1);
        Click(dialog, IDC_CLAN_ONLY);
        Click(dialog, IDC_ALT_MODE);
        DedicatedServerOptions typedOptions;
        ReadDedicatedServerOptions(dialog, typedOptions);
        EXPECT_EQ(typedOptions.motd, std::wstring(128, L'm'));
        EXPECT_STREQ(typedOptions.missionId, "TDM_Title");
        EXPECT_TRUE(typedOptions.clanOnly);
        EXPECT_TRUE(typedOptions.altPvpMode);
        // A text set past the limit from outside the edit is left out.
        SetDlgItemTextW(dialog, IDC_SERVER_MOTD, std::wstring(129, L'x').c_str());
        DedicatedServerOptions tooLong;
        ReadDedicatedServerOptions(dialog, tooLong);
        EXPECT_TRUE(tooLong.motd.empty());
        Click(dialog, IDC_DIALOG_OK);
    });
    ASSERT_TRUE(Open(w.get(), driver));
    // The settings dialog closed with the server dialog; one launch asked.
    EXPECT_EQ(window_test::CurrentDialog(), nullptr);
    EXPECT_EQ(Launches(log), 1u);

    // Cancel and the close box start nothing.
    for (bool closeBox : {false, true}) {
        DialogDriver cancelled;
        cancelled.Then([](HWND settings) { Click(settings, IDC_START_SERVER); })
            .Then([closeBox](HWND dialog) {
                if (closeBox)
                    SendMessageW(dialog, WM_CLOSE, 0, 0);
                else
                    Click(dialog, IDC_DIALOG_CANCEL);
            });
        ASSERT_TRUE(Open(w.get(), cancelled));
    }
    EXPECT_EQ(Launches(log), 1u);
}

TEST_F(ServerAndVersionsTest, StartServerWaitsForTheReadyPageAndOneServerStart)
{
    LauncherWindow w;
    auto startServerEnabled = [&] {
        bool enabled = true;
        DialogDriver driver;
        driver.Then([&](HWND settings) {
            enabled = IsWindowEnabled(GetDlgItem(settings, IDC_START_SERVER)) != FALSE;
            Click(settings, IDC_DIALOG_CANCEL);
        });
        EXPECT_TRUE(Open(w.get(), driver));
        return enabled;
    };
    ReadyToPlayShown = false;
    EXPECT_FALSE(startServerEnabled());
    ReadyToPlayShown = true;
    EXPECT_TRUE(startServerEnabled());
    LaunchedModes[1] = true;
    EXPECT_FALSE(startServerEnabled());
}

// Opens the versions dialog from the settings dialog and hands it to look.
bool OpenVersions(HWND owner, const std::function<void(HWND)>& look)
{
    DialogDriver driver;
    driver.Then([](HWND settings) { Click(settings, IDC_VERSIONS); })
        .Then([&](HWND versions) {
            look(versions);
            Click(versions, IDC_DIALOG_OK);
        })
        .Then([](HWND settings) { Click(settings, IDC_DIALOG_CANCEL); });
    return driver.Run([owner] { SendMessageW(owner, WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, 0), 0); });
}

TEST_F(ServerAndVersionsTest, VersionsShowsTheLauncherAndAnInstalledGame)
{
    testing_support::TempDir install;
    DownloadFolder = install.path();
    SIZE plain = {};
    {
        LauncherWindow w;
        // No game installed: the engine's version is hidden, its label stays.
        ASSERT_TRUE(OpenVersions(w.get(), [&](HWND versions) {
            wchar_t caption[64] = {};
            GetWindowTextW(versions, caption, 64);
            EXPECT_STREQ(caption, L"Versions");
            EXPECT_EQ(ItemText(versions, IDC_LAUNCHER_LABEL), L"Launcher:");
            EXPECT_EQ(ItemText(versions, IDC_LAUNCHER_VERSION), L"1.0.0.0");
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(versions, IDC_ENGINE_VERSION)));
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(versions, IDC_ENGINE_LABEL)));
            RECT client = {};
            GetClientRect(versions, &client);
            plain = {client.right, client.bottom};
        }));

        // A game executable with a version resource shows its version.
        CreateDirectoryW((install / L"Public").c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((testing_support::BuildFolder() + L"\\Launcher.exe").c_str(),
                              GetGameExePath().c_str(), FALSE));
        ASSERT_TRUE(OpenVersions(w.get(), [](HWND versions) {
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(versions, IDC_ENGINE_VERSION)));
            EXPECT_EQ(ItemText(versions, IDC_ENGINE_VERSION), L"1.0.0.0");
            window_test::KeepPicture(versions, L"versions_dialog");
        }));
    }

    // On a display of 144 dots per inch the main window is half as large
    // again, and so are its dialogs.
    window_test::WindowOptions big;
    big.dpi = 144;
    LauncherWindow w(big);
    ASSERT_TRUE(OpenVersions(w.get(), [&](HWND versions) {
        RECT client = {};
        GetClientRect(versions, &client);
        EXPECT_NEAR(client.right, plain.cx * 3 / 2, 2);
        EXPECT_NEAR(client.bottom, plain.cy * 3 / 2, 2);
        RECT ok = {};
        GetWindowRect(GetDlgItem(versions, IDC_DIALOG_OK), &ok);
        MapWindowPoints(nullptr, versions, reinterpret_cast<POINT*>(&ok), 2);
        EXPECT_LE(ok.right, client.right);
        EXPECT_LE(ok.bottom, client.bottom);
    }));
}

} // namespace
