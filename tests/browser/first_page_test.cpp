// The whole launcher on the real runtime when its first page never finishes
// loading (the start page waits for a script from a peer that takes the
// request and never answers), or is not in the interface archive. The
// launcher gives the browser up, shows its own window and runs its queue to
// the ready page; a runtime that becomes ready only after that makes no
// browser.
#include <winsock2.h> // before windows.h

#include "browser_runtime.h"
#include "client_app.h"
#include "launcher_process.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log_capture.h"
#include "page_client.h"
#include "real_runtime_support.h"
#include "settings_store.h"
#include "step_messages.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using testing_support::FileExists;

// A peer on 127.0.0.1 that accepts connections (in its backlog) and never
// reads or answers them.
class SilentPeer {
  public:
    SilentPeer()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            listen(socket_, 16) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~SilentPeer()
    {
        closesocket(socket_);
        WSACleanup();
    }
    int Port() const { return port_; }

  private:
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
};

BOOL CALLBACK FindVisibleLauncherWindow(HWND window, LPARAM data)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (wcscmp(name, L"Launcher") != 0 || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
}

TEST(FirstPageTest, APageThatNeverLoadsGivesWayToTheLauncherWindow)
{
    std::wstring launcherFolder = RealRuntimeLauncherFolder();
    REQUIRE_REAL_RUNTIME();
    testing_support::TempDir downloads;
    ASSERT_TRUE(PrepareLauncherRun(downloads.path()));

    // "-nozip" loads the pages from the unpacked folder beside the archive.
    SilentPeer peer;
    ASSERT_NE(peer.Port(), 0);
    std::wstring pages = launcherFolder + L"CEF3_1\\launcher\\";
    CreateDirectoryW(pages.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileBytes(
        pages + L"index.html", "<html><head><script src=\"http://127.0.0.1:" + std::to_string(peer.Port()) +
                                   "/never.js\"></script></head><body>never shown</body></html>"));
    {
        LauncherProcess launcher(launcherFolder + L"Launcher.exe", L"-nozip");
        // The window comes with its own controls (the text pane's frame is
        // shown only then), and the queue runs to the ready page.
        HWND window = nullptr;
        EXPECT_TRUE(launcher.WaitUntil(
            [&] {
                window = nullptr;
                EnumWindows(FindVisibleLauncherWindow, reinterpret_cast<LPARAM>(&window));
                return window && IsWindowVisible(GetDlgItem(window, IDC_TEXT_FRAME));
            },
            120000))
            << "the launcher never showed its own window";
        EXPECT_EQ(launcher.RunToItsEnd(false, 60000), 0);
        EXPECT_EQ(launcher.LastPage(), LauncherPage::Ready);
    }
    std::string log = testing_support::ReadFileBytes(LauncherLogPath());
    EXPECT_NE(log.find("The first page did not load in"), std::string::npos) << log;
    EXPECT_NE(log.find("The browser is given up for the launcher's own window"), std::string::npos) << log;
    EXPECT_EQ(log.find("StartCEF failed"), std::string::npos) << log;
    EXPECT_NE(log.find("Finished Preprocess"), std::string::npos) << log;
    // The runtime was shut down with the launcher: none of its processes is left.
    EXPECT_TRUE(NoProcessLeft(L"Launcher.exe", 0));

    testing_support::RemoveTree(pages);
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", L"");
}

// The interface archive lacks the start page: its load ends with the 404
// page, which is no page of the interface. The launcher gives the browser up
// at once, shows its own window, and its buttons work: PLAY on the ready
// page, clicked with the pointer, starts the game.
TEST(FirstPageTest, AStartPageTheArchiveLacksGivesWayToTheLauncherWindow)
{
    std::wstring launcherFolder = RealRuntimeLauncherFolder();
    REQUIRE_REAL_RUNTIME();
    testing_support::TempDir downloads;
    ASSERT_TRUE(PrepareLauncherRun(downloads.path()));
    ASSERT_TRUE(CopyFileW((testing_support::BuildFolder() + L"\\test_zips\\descriptors.zip").c_str(),
                          (launcherFolder + L"CEF3_1\\launcher.zip").c_str(), FALSE));
    std::wstring record = downloads / L"game_record.txt";
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", record.c_str());
    if (GetLocalizationTable().empty())
        LoadLocalizationTable();
    std::wstring play;
    GetLocalizedText("PLAY", play);
    {
        LauncherProcess launcher(launcherFolder + L"Launcher.exe", L"");
        HWND window = nullptr;
        EXPECT_TRUE(launcher.WaitUntil(
            [&] {
                window = nullptr;
                EnumWindows(FindVisibleLauncherWindow, reinterpret_cast<LPARAM>(&window));
                return window && IsWindowVisible(GetDlgItem(window, IDC_TEXT_FRAME)) &&
                       launcher.EnabledMainButton() == play;
            },
            90000))
            << "the launcher never showed its own window's ready page";
        Sleep(1000);
        SetForegroundWindow(launcher.Window());
        ClickScreenAt(launcher.MainButtonOnScreen());
        EXPECT_TRUE(launcher.WaitUntil([&] { return !launcher.Running(); }, 60000));
    }
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", nullptr);
    std::string log = testing_support::ReadFileBytes(LauncherLogPath());
    EXPECT_NE(log.find("The first page could not be shown: status 404"), std::string::npos) << log;
    EXPECT_NE(log.find("The browser is given up for the launcher's own window"), std::string::npos) << log;
    EXPECT_EQ(log.find("The first page did not load in"), std::string::npos) << log;
    // The applets run the stand-in too; the game's start is the one without
    // "-applet:".
    std::string started = testing_support::ReadFileBytes(record);
    bool gameStarted = false;
    for (size_t at = started.find("command="); at != std::string::npos; at = started.find("command=", at + 1))
        gameStarted = gameStarted ||
                      started.substr(at, started.find('\n', at) - at).find("-applet:") == std::string::npos;
    EXPECT_TRUE(gameStarted) << started;
    EXPECT_TRUE(NoProcessLeft(L"Launcher.exe", 0));
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", L"");
}

// The runtime's context becomes ready only after the main window gave the
// browser up and showed its own controls: no browser is made over them.
TEST(FirstPageTest, ARuntimeReadyAfterTheBrowserWasGivenUpMakesNoBrowser)
{
    testing_support::LogCapture log;
    AbandonBrowser();
    CreateLauncherBrowser(nullptr);
    EXPECT_EQ(SimpleHandlerInstance, nullptr);
    EXPECT_TRUE(
        log.Contains("The runtime became ready after the browser was given up: no browser is created"))
        << log.Text();
}

} // namespace
