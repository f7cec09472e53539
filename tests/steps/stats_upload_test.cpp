// The statistics upload at exit and the "LauncherStats" value.
#include "command_line.h"
#include "launcher_settings.h"
#include "requirement_queue.h"
#include "server_config.h"
#include "settings_store.h"
#include "stats_upload.h"
#include "step_statistics.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

using testing_support::TempDir;
using testing_support::TestServer;

namespace {

class StatsUploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer::Reset());
        std::string port = std::to_string(TestServer::HttpsPort());
        ASSERT_TRUE(testing_support::WriteFileBytes(ini_, "[Public]\r\nApi=localhost:" + port + "\r\n"));
        ReloadServerConfig(ini_.c_str());
        ServerCluster = SC_PUBLIC;
        saved_ = ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0);
        WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0);
        steps_test::ResetQueueState();
        SetCommandLineForTest(L"Launcher.exe -nocef");
        ResetSettingsKeyPathForTest();
        TestServer::AddRoute("POST", "/stats/launcherUpload.php", 200, "OK");
    }
    void TearDown() override
    {
        WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", saved_);
        steps_test::ResetQueueState();
        ResetSettingsKeyPathForTest();
        ReloadServerConfig(ini_.c_str());
    }
    size_t Uploads()
    {
        size_t count = 0;
        for (const auto& request : TestServer::Requests())
            count += request.path == "/stats/launcherUpload.php";
        return count;
    }

    TempDir dir_;
    std::wstring ini_ = dir_ / L"Vantorel.ini";
    DWORD saved_ = 0;
};

TEST_F(StatsUploadTest, EveryRunSendsUntilOneReachedTheReadyPage)
{
    StepStatistics[L"Platform"] = {{L"Attempts", 1}, {L"ElapsedTime", 31}, {L"Success", 1}};
    TotalStepTime = 31;
    SendLauncherStats();
    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body,
              R"({"Platform":{"Attempts":1,"ElapsedTime":31,"Success":1},"TotalTime":31,"ClientType":""})");
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 7), 0u);

    SendLauncherStats();
    EXPECT_EQ(Uploads(), 2u);

    ReadyToPlayReached = true;
    SendLauncherStats();
    EXPECT_EQ(Uploads(), 3u);
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 7), 1u);

    SendLauncherStats();
    EXPECT_EQ(Uploads(), 3u);
}

TEST_F(StatsUploadTest, ReachedReadyPageCountsEvenWhenTheUploadFails)
{
    ASSERT_TRUE(testing_support::WriteFileBytes(ini_, "[Public]\r\nApi=localhost:1\r\n"));
    ReloadServerConfig(ini_.c_str());
    ReadyToPlayReached = true;
    SendLauncherStats();
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 7), 1u);
}

TEST_F(StatsUploadTest, ClientTypeComesFromTheRegistryOption)
{
    SetCommandLineForTest(L"Launcher.exe -registry:Steam -nocef");
    ResetSettingsKeyPathForTest();
    SendLauncherStats();
    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, R"({"TotalTime":0,"ClientType":"Steam"})");
}

} // namespace
