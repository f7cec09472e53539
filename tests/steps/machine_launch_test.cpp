// The game's and the dedicated servers' command lines, built without
// starting anything.
#include "clusters.h"
#include "command_line.h"
#include "downloaded_path.h"
#include "game_launch.h"
#include "launcher_settings.h"
#include "log.h"
#include "machine/platform_step.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

using testing_support::Base64Decode;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The arguments of a command line as the game's runtime splits them.
std::vector<std::wstring> SplitArguments(const std::wstring& line)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> result(arguments, arguments + count);
    LocalFree(arguments);
    return result;
}

class LaunchCommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ResetLauncherSettingsForTest();
        ResetGameLaunchForTest();
        DownloadFolder = L"C:\\G";
        ResetClusterInstallDirsForTest();
        MTRenderingSupported = true;
        EnableMTRendering = true;
        LanguageIndex = 0;
        SetCommandLineForTest(L"\"C:\\Program Files\\Vantorel\\Launcher.exe\"");
    }
    void TearDown() override
    {
        ResetLauncherSettingsForTest();
        ResetGameLaunchForTest();
        ResetClusterInstallDirsForTest();
        HeadlessMode = false;
        SetCommandLineForTest(nullptr);
    }
    std::vector<std::wstring> Servers(const wchar_t* arguments,
                                      const DedicatedServerOptions* options = nullptr)
    {
        SetCommandLineForTest((std::wstring(L"\"C:\\L\\Launcher.exe\" ") + arguments).c_str());
        return BuildLaunchCommandLines(LAUNCH_DEDICATED, options);
    }
};

TEST_F(LaunchCommandLineTest, TheGameGetsTheSettingsAndTheRelaunchText)
{
    std::vector<std::wstring> lines = BuildLaunchCommandLines(LAUNCH_GAME, nullptr);
    ASSERT_EQ(lines.size(), 1u);
    const std::wstring prefix = L"\"C:\\G\\Public\\Vantorel.x64.exe\" -fullscreen:0 -graphicsDriver:dx11 "
                                L"-threadedworker:1 -cluster:public -language:en -deferred:0 -relaunch:";
    ASSERT_EQ(lines[0].rfind(prefix, 0), 0u) << Narrow(lines[0]);
    std::string relaunch = Base64Decode(Narrow(lines[0].substr(prefix.size())));
    std::wstring decoded(reinterpret_cast<const wchar_t*>(relaunch.data()), relaunch.size() / 2);
    EXPECT_EQ(decoded, L"\"" + GetDownloadedFilePath(L"/Tools/Launcher.exe") + L"\" ");

    // Each setting, a second launch and the launcher's own options.
    EnableFullScreen = true;
    EnableDeferred = true;
    GraphicsAPI = 2;
    ServerCluster = SC_TEST;
    LanguageIndex = 3;
    MTRenderingSupported = false;
    LaunchedModes[LAUNCH_DEDICATED] = true;
    SetCommandLineForTest(L"\"C:\\L\\Launcher.exe\" -relaunched -dev -onlive");
    std::wstring line = BuildLaunchCommandLines(LAUNCH_GAME, nullptr)[0];
    EXPECT_EQ(
        line.rfind(L"\"C:\\G\\Test\\Vantorel.x64.exe\" -fullscreen:1 -graphicsDriver:dx12 -threadedworker:0 "
                   L"-cluster:test -language:de -allowmultiple -deferred:1 -relaunch:",
                   0),
        0u)
        << Narrow(line);
    EXPECT_EQ(line.substr(line.size() - 8), L" -onlive");
    std::vector<std::wstring> arguments = SplitArguments(line);
    relaunch = Base64Decode(Narrow(arguments[arguments.size() - 2].substr(wcslen(L"-relaunch:"))));
    decoded.assign(reinterpret_cast<const wchar_t*>(relaunch.data()), relaunch.size() / 2);
    EXPECT_EQ(decoded.substr(decoded.size() - 14), L"\" -dev -onlive");

    // A stored value that names no driver gets the default one.
    GraphicsAPI = 7;
    EXPECT_NE(BuildLaunchCommandLines(LAUNCH_GAME, nullptr)[0].find(L" -graphicsDriver:dx11 "),
              std::wstring::npos);
    GraphicsAPI = -1;
    EXPECT_NE(BuildLaunchCommandLines(LAUNCH_GAME, nullptr)[0].find(L" -graphicsDriver:dx11 "),
              std::wstring::npos);
}

TEST_F(LaunchCommandLineTest, LauncherArgumentsLoseTheProgramAndRelaunched)
{
    EXPECT_EQ(GetLauncherArguments(L"\"C:\\a b\\Launcher.exe\"   -nocef -x"), L"-nocef -x");
    EXPECT_EQ(GetLauncherArguments(L"\"C:\\L.exe\" -relaunched -dev"), L"-dev");
    EXPECT_EQ(GetLauncherArguments(L"\"C:\\L.exe\" -dev -relaunched -nocef"), L"-dev -nocef");
    EXPECT_EQ(GetLauncherArguments(L"C:\\L.exe -dev"), L"-dev");
    EXPECT_EQ(GetLauncherArguments(L"\"C:\\unclosed -dev"), L"");
}

TEST_F(LaunchCommandLineTest, ServerCountAndSettingsNameForms)
{
    // The counts per cluster and the exact lines are checked where the
    // servers are started; here the forms of the option.
    std::vector<std::wstring> lines = Servers(L"-nocef -dedicated:2,Arena -dev");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 28), L"-instance:01 -settings:Arena");

    lines = Servers(L"-dedicated:Arena");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(L" -allowmultiple -log:DedicatedServer.log -applet:"), std::wstring::npos);
    EXPECT_EQ(lines[0].find(L"-instance:"), std::wstring::npos);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 16), L" -settings:Arena");

    lines = Servers(L"-dedicated");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].find(L"-settings:"), std::wstring::npos);
}

TEST_F(LaunchCommandLineTest, OverrideObjectStaysOneArgument)
{
    DedicatedServerOptions options;
    options.missionId = "TDM_Title";
    options.clanOnly = true;
    options.altPvpMode = true;
    EXPECT_EQ(BuildOverrideObject(options),
              L"{\"missionId\":TDM_Title,\"clanOnly\":true,\"altPvpMode\":true}");
    EXPECT_EQ(BuildOverrideObject(DedicatedServerOptions()), L"{}");

    options = DedicatedServerOptions();
    options.motd = L"Say \"hi\" to C:\\ now";
    EXPECT_EQ(BuildOverrideObject(options), L"{\"motd\":\"Say \\\"hi\\\" to C:\\\\ now\"}");
    std::vector<std::wstring> lines = Servers(L"-dedicated", &options);
    ASSERT_EQ(lines.size(), 1u);
    std::vector<std::wstring> arguments = SplitArguments(lines[0]);
    ASSERT_FALSE(arguments.empty());
    EXPECT_EQ(arguments.back(), L"-override:{motd:Say \"hi\" to C:\\\\ now}");
}

TEST_F(LaunchCommandLineTest, ConfigurationFileEntries)
{
    DedicatedServerConfigEntry entries[MAX_CONFIG_ENTRIES];
    const char text[] = "\"Alpha\" 2\r\n\"Beta\" 1\r\n";
    ASSERT_EQ(ParseDedicatedServerConfig(text, sizeof text - 1, entries), 2);
    EXPECT_STREQ(entries[0].settingsName, L"Alpha");
    EXPECT_EQ(entries[0].instanceCount, 2u);
    EXPECT_STREQ(entries[1].settingsName, L"Beta");
    EXPECT_EQ(entries[1].instanceCount, 1u);

    // A name too long leaves its entry closed; an open last entry counts.
    DedicatedServerConfigEntry more[MAX_CONFIG_ENTRIES];
    std::string hostile = "\"" + std::string(63, 'x') + "\" 9,\"Ok\" 3";
    EXPECT_EQ(ParseDedicatedServerConfig(hostile.data(), hostile.size(), more), 1);
    EXPECT_STREQ(more[0].settingsName, L"Ok");
    EXPECT_EQ(more[0].instanceCount, 93u);
    DedicatedServerConfigEntry many[MAX_CONFIG_ENTRIES];
    std::string seven = "\"a\"1,\"b\"1,\"c\"1,\"d\"1,\"e\"1,\"f\"1,\"g\"1";
    EXPECT_EQ(ParseDedicatedServerConfig(seven.data(), seven.size(), many), 6);

    testing_support::TempDir dir;
    std::wstring config = dir / L"servers.cfg";
    ASSERT_TRUE(testing_support::WriteFileBytes(config, text));
    std::wstring arguments = L"-dedicated:4 -dscfg:" + config;
    EXPECT_EQ(Servers(arguments.c_str()).size(), 4u); // not headless: ignored
    HeadlessMode = true;
    std::vector<std::wstring> lines = Servers(arguments.c_str());
    ASSERT_EQ(lines.size(), 3u);
    const wchar_t* names[] = {L"Alpha", L"Alpha", L"Beta"};
    for (size_t i = 0; i < 3; ++i) {
        std::wstring expected =
            L"-instance:0" + std::to_wstring(i) + L" -dscfg:" + config + L" -settings:" + names[i];
        EXPECT_EQ(lines[i].substr(lines[i].size() - expected.size()), expected) << Narrow(lines[i]);
    }
    // Too large: the plain count applies.
    ASSERT_TRUE(testing_support::WriteFileBytes(config, std::string(512, ' ') + text));
    EXPECT_EQ(Servers(arguments.c_str()).size(), 4u);
}

} // namespace
