// The game and dedicated servers started for real: the stand-in game
// executable records each command line it was started with.
#include "clusters.h"
#include "command_line.h"
#include "downloaded_path.h"
#include "game_launch.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "machine/platform_step.h"
#include "machine_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using testing_support::ReadFileBytes;

// How long a check that no further start comes waits for one.
constexpr DWORD NO_MORE_MS = 20000;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class StandInLaunchTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ResetLauncherSettingsForTest();
        ResetGameLaunchForTest();
        DownloadFolder = dir_.path();
        ResetClusterInstallDirsForTest();
        MTRenderingSupported = true;
        LanguageIndex = 0;
        for (const wchar_t* cluster : {L"Public", L"Test"}) {
            std::wstring folder = dir_ / cluster;
            CreateDirectoryW(folder.c_str(), nullptr);
            ASSERT_TRUE(CopyFileW((testing_support::BuildFolder() + L"\\Vantorel.x64.exe").c_str(),
                                  (folder + L"\\Vantorel.x64.exe").c_str(), FALSE));
        }
        SetEnvironmentVariableW(L"VANTOREL_STANDIN", L"exit:0");
        SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", record_.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"VANTOREL_STANDIN", nullptr);
        SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", nullptr);
        SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_overlay_1", nullptr);
        SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_fossilize_1", nullptr);
        ResetLauncherSettingsForTest();
        ResetGameLaunchForTest();
        DownloadFolder.clear();
        ResetClusterInstallDirsForTest();
        SetCommandLineForTest(nullptr);
        steps_test::TakeQuitMessage();
    }
    // The command lines recorded so far, once there are count of them (at
    // most 20 s), sorted: processes started side by side record in any order.
    // The command lines recorded once count starts have written theirs, or
    // those there are after boundMs. Starts that are due are waited for as
    // long as a loaded machine may take to start a process; a check that no
    // further start comes gives a bound of its own.
    std::vector<std::string> Recorded(size_t count, DWORD boundMs = 120000)
    {
        std::vector<std::string> lines;
        for (DWORD start = GetTickCount();; Sleep(50)) {
            lines.clear();
            std::string record = ReadFileBytes(record_);
            for (size_t at = record.find("command="); at != std::string::npos;
                 at = record.find("command=", at + 1)) {
                size_t start = at + 8;
                lines.push_back(record.substr(start, record.find_first_of("\r\n", start) - start));
            }
            if (lines.size() >= count || GetTickCount() - start >= boundMs)
                break;
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    // The game options and relaunch text every start carries, for a launcher
    // started with arguments.
    std::string Base(const wchar_t* cluster, const char* clusterOption,
                     const wchar_t* arguments = L"-nocef -x")
    {
        std::wstring relaunch = L"\"" + GetDownloadedFilePath(L"/Tools/Launcher.exe") + L"\" " + arguments;
        std::string bytes(reinterpret_cast<const char*>(relaunch.data()), relaunch.size() * 2);
        return "\"" + Narrow(dir_ / cluster) + "\\Vantorel.x64.exe\" -fullscreen:0 -graphicsDriver:dx11 " +
               "-threadedworker:1 " + clusterOption +
               " -language:en -deferred:0 -relaunch:" + testing_support::Base64Encode(bytes);
    }
    std::vector<std::string> Servers(const std::string& base, int count, const std::string& settings = "")
    {
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i) {
            std::string number =
                std::string(1, static_cast<char>('0' + i / 10)) + static_cast<char>('0' + i % 10);
            lines.push_back(base + " -allowmultiple -log:DedicatedServer" + number +
                            ".log -applet:/Ornix/Types/Game/DedicatedServer "
                            "/Ornix/Types/GameRules/DefaultDedicatedServerSettings -instance:" +
                            number + settings);
        }
        return lines;
    }

    // The environment entries of every start recorded so far, in the order
    // they were recorded.
    std::vector<std::vector<std::string>> RecordedEnvironments()
    {
        std::vector<std::vector<std::string>> starts;
        std::string record = ReadFileBytes(record_);
        size_t at = 0;
        while ((at = record.find("command=", at)) != std::string::npos) {
            size_t end = record.find("\nend\n", at);
            std::vector<std::string> entries;
            for (size_t line = record.find("\nenv=", at); line < end;
                 line = record.find("\nenv=", line + 1)) {
                size_t start = line + 5;
                entries.push_back(record.substr(start, record.find('\n', start) - start));
            }
            starts.push_back(entries);
            at = end == std::string::npos ? record.size() : end;
        }
        return starts;
    }
    // The value of the PATH entry, whatever the case of its name; "<none>"
    // when there is none.
    static std::string PathValue(const std::vector<std::string>& entries)
    {
        for (const std::string& entry : entries) {
            if (_strnicmp(entry.c_str(), "PATH=", 5) == 0)
                return entry.substr(5);
        }
        return "<none>";
    }

    testing_support::TempDir dir_;
    std::wstring record_ = dir_ / L"record.txt";
    machine_test::PageParent parent_;
};

TEST_F(StandInLaunchTest, GameStartsOnceWithItsExactCommandLineAndTheLauncherQuits)
{
    SetCommandLineForTest(L"\"C:\\L\\Launcher.exe\" -nocef -x");
    LaunchGame(parent_.get(), LAUNCH_GAME, nullptr);
    EXPECT_TRUE(LaunchedModes[LAUNCH_GAME]);
    EXPECT_TRUE(steps_test::TakeQuitMessage());
    EXPECT_EQ(Recorded(1), std::vector<std::string>{Base(L"Public", "-cluster:public")});

    LaunchGame(parent_.get(), LAUNCH_GAME, nullptr);
    EXPECT_FALSE(steps_test::TakeQuitMessage());
    Sleep(300);
    EXPECT_EQ(Recorded(2, NO_MORE_MS).size(), 1u);
}

TEST_F(StandInLaunchTest, OneSixAndEightServers)
{
    DedicatedServerOptions options;
    options.missionId = "CTF_Title";
    options.motd = L"Welcome, \"clan\"";
    SetCommandLineForTest(L"\"C:\\L\\Launcher.exe\" -nocef -x");
    LaunchGame(parent_.get(), LAUNCH_DEDICATED, &options);
    EXPECT_TRUE(LaunchedModes[LAUNCH_DEDICATED]);
    EXPECT_FALSE(steps_test::TakeQuitMessage()); // the launcher stays
    std::string one = Base(L"Public", "-cluster:public") +
                      " -allowmultiple -log:DedicatedServer.log -applet:/Ornix/Types/Game/DedicatedServer "
                      "/Ornix/Types/GameRules/DefaultDedicatedServerSettings "
                      "-override:{\"missionId\":CTF_Title,\"motd\":\"Welcome, \\\"clan\\\"\"}";
    EXPECT_EQ(Recorded(1), std::vector<std::string>{one});

    // Six on the public cluster, whatever the count asks for beyond that.
    ResetGameLaunchForTest();
    DeleteFileW(record_.c_str());
    SetCommandLineForTest(L"\"C:\\L\\Launcher.exe\" -nocef -x -dedicated:9,Arena");
    LaunchGame(parent_.get(), LAUNCH_DEDICATED, nullptr);
    std::string base = Base(L"Public", "-cluster:public", L"-nocef -x -dedicated:9,Arena");
    EXPECT_EQ(Recorded(6), Servers(base, 6, " -settings:Arena"));
    Sleep(300);
    EXPECT_EQ(Recorded(7, NO_MORE_MS).size(), 6u);

    // Eight on the test cluster; a larger count stops there and completes.
    ResetGameLaunchForTest();
    DeleteFileW(record_.c_str());
    ServerCluster = SC_TEST;
    SetCommandLineForTest(L"\"C:\\L\\Launcher.exe\" -nocef -x -dedicated:11");
    LaunchGame(parent_.get(), LAUNCH_DEDICATED, nullptr);
    EXPECT_TRUE(LaunchedModes[LAUNCH_DEDICATED]);
    base = Base(L"Test", "-cluster:test", L"-nocef -x -dedicated:11");
    EXPECT_EQ(Recorded(8), Servers(base, 8));
    Sleep(300);
    EXPECT_EQ(Recorded(9, NO_MORE_MS).size(), 8u);
}

TEST_F(StandInLaunchTest, GameAndServersGetTheChildEnvironment)
{
    // The launcher hides two layers from itself at start-up; the game must
    // not inherit that, and it finds its libraries in the tools folder.
    SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_overlay_1", L"1");
    SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_fossilize_1", L"1");
    std::string tools = Narrow(dir_ / L"Public") + "\\Tools\\Windows\\x64";
    wchar_t ownPath[32768] = {};
    GetEnvironmentVariableW(L"PATH", ownPath, 32768);
    auto expectChildEnvironment = [&](const std::vector<std::string>& entries, const std::string& path) {
        EXPECT_EQ(PathValue(entries), path);
        for (const std::string& entry : entries)
            EXPECT_EQ(entry.find("DISABLE_VK_LAYER_VALVE"), std::string::npos) << entry;
        EXPECT_NE(std::find(entries.begin(), entries.end(), "VANTOREL_STANDIN=exit:0"), entries.end());
    };

    SetCommandLineForTest(L"\"C:\\L\\Launcher.exe\" -nocef");
    LaunchGame(parent_.get(), LAUNCH_GAME, nullptr);
    ASSERT_EQ(Recorded(1).size(), 1u);
    std::vector<std::vector<std::string>> starts = RecordedEnvironments();
    ASSERT_EQ(starts.size(), 1u);
    expectChildEnvironment(starts[0], Narrow(ownPath) + ";" + tools);

    // A dedicated server too, here with the PATH forced to the tools folder.
    DeleteFileW(record_.c_str());
    SetCommandLineForTest(L"\"C:\\L\\Launcher.exe\" -nocef -force:path");
    LaunchGame(parent_.get(), LAUNCH_DEDICATED, nullptr);
    ASSERT_EQ(Recorded(1).size(), 1u);
    starts = RecordedEnvironments();
    ASSERT_EQ(starts.size(), 1u);
    expectChildEnvironment(starts[0], tools);
}

} // namespace
