// Cluster folders and server addresses, the server configuration file and
// the in-house suffix rule.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "clusters.h"
#include "launcher_settings.h"
#include "server_config.h"
#include "test_support.h"

using testing_support::TempDir;
using testing_support::TestServer;
using testing_support::WriteFileBytes;

namespace {

class ClustersTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ResetLauncherSettingsForTest();
        ResetClusterInstallDirsForTest();
        ReloadServerConfig((dir_ / L"none.ini").c_str());
    }
    void TearDown() override
    {
        ResetLauncherSettingsForTest();
        ResetClusterInstallDirsForTest();
        ReloadServerConfig((dir_ / L"none.ini").c_str());
    }
    // Writes an INI file (narrow text) and makes it the configuration in use.
    int UseConfig(const std::wstring& name, const std::string& text)
    {
        std::wstring path = dir_ / name;
        EXPECT_TRUE(WriteFileBytes(path, text));
        return ReloadServerConfig(path.c_str());
    }

    TempDir dir_;
};

TEST_F(ClustersTest, InstallFolderPerCluster)
{
    DownloadFolder = L"C:\\G";
    ServerCluster = SC_TEST;
    EXPECT_EQ(GetClusterInstallDir(SC_TEST), L"C:\\G\\Test");
    EXPECT_EQ(GetGameExePath(), L"C:\\G\\Test\\Vantorel.x64.exe");
    EXPECT_EQ(GetClusterInstallDir(SC_PUBLIC), L"C:\\G\\Public");
    EXPECT_EQ(GetClusterInstallDir(SC_DEV), L"C:\\G\\Dev");
    // Out of range: empty, never another cluster's entry.
    EXPECT_EQ(GetClusterInstallDir(SC_MAX), L"");
    EXPECT_EQ(GetClusterInstallDir(-1), L"");

    // A folder with a trailing separator does not double it.
    ResetClusterInstallDirsForTest();
    DownloadFolder = L"D:\\";
    EXPECT_EQ(GetClusterInstallDir(SC_DEV), L"D:\\Dev");
}

TEST_F(ClustersTest, SingleClusterModeUsesTheDownloadFolder)
{
    SingleClusterMode = true;
    DownloadFolder = L"C:\\G";
    ServerCluster = SC_TEST;
    for (int cluster = SC_PUBLIC; cluster < SC_MAX; ++cluster)
        EXPECT_EQ(GetClusterInstallDir(cluster), L"C:\\G") << cluster;
    EXPECT_EQ(GetGameExePath(), L"C:\\G\\Vantorel.x64.exe");
}

TEST_F(ClustersTest, CacheIsBuiltOnceTheFolderIsKnown)
{
    EXPECT_EQ(GetClusterInstallDir(SC_PUBLIC), L"");
    EXPECT_EQ(GetClusterInstallDir(SC_DEV), L"");

    DownloadFolder = L"E:\\Picked";
    EXPECT_EQ(GetClusterInstallDir(SC_DEV), L"E:\\Picked\\Dev");
    const std::wstring* entry = &GetClusterInstallDir(SC_PUBLIC);
    EXPECT_EQ(*entry, L"E:\\Picked\\Public");

    // Later changes of folder, mode or cluster keep the entries as built.
    DownloadFolder = L"F:\\Other";
    SingleClusterMode = true;
    ServerCluster = SC_DEV;
    EXPECT_EQ(GetClusterInstallDir(SC_PUBLIC), L"E:\\Picked\\Public");
    EXPECT_EQ(&GetClusterInstallDir(SC_PUBLIC), entry);
    EXPECT_EQ(GetGameExePath(), L"E:\\Picked\\Dev\\Vantorel.x64.exe");
}

TEST_F(ClustersTest, BasesFollowTheConfigurationFile)
{
    const std::string http = std::to_string(TestServer::HttpPort());
    const std::string https = std::to_string(TestServer::HttpsPort());
    EXPECT_EQ(UseConfig(L"local.ini", "[Public]\r\nContent=127.0.0.1:" + http +
                                          "\r\nOrigin=localhost:" + https + "\r\nApi=localhost:" + https +
                                          "\r\n[Dev]\r\nContent=dev-content.local\r\n"),
              0);
    EXPECT_EQ(GetContentServerBase(SC_PUBLIC), TestServer::HttpBase());
    EXPECT_EQ(GetOriginServerBase(SC_PUBLIC), TestServer::HttpsBase());
    EXPECT_EQ(GetWebApiBase(SC_PUBLIC), TestServer::HttpsBase() + L"/api/");
    EXPECT_EQ(GetStatsBase(SC_PUBLIC), TestServer::HttpsBase() + L"/stats/");
    ServerCluster = SC_DEV;
    EXPECT_EQ(GetContentServerUrl(), L"http://dev-content.local");
    // Roles the file leaves out keep their defaults; other clusters are empty.
    EXPECT_EQ(GetOriginServerBase(SC_DEV), L"https://" + DefaultServerConfig().hosts[SC_DEV][ROLE_ORIGIN]);
    ServerCluster = SC_MAX;
    EXPECT_EQ(GetContentServerUrl(), L"");
    EXPECT_EQ(GetWebApiBase(-1), L"");
    EXPECT_EQ(GetStatsBase(SC_MAX), L"");
}

TEST_F(ClustersTest, BadConfigurationValuesKeepTheDefaults)
{
    const ServerConfig defaults = DefaultServerConfig();
    const std::string longHost(300, 'h');
    int rejected = UseConfig(L"bad.ini", "garbage line\r\n[Public]\r\nContent=has space.com\r\n"
                                         "Origin=http://origin.local\r\nApi=api.local:0\r\n"
                                         "[Test]\r\nContent=test.local:65536\r\nOrigin=" +
                                             longHost +
                                             "\r\nApi=test-api.local:8443\r\n"
                                             "[Crash]\r\nServer=crash.local:abc\r\n"
                                             "[InHouse]\r\nDomainSuffix=corp.local\r\nIssueTracker=\r\n");
    EXPECT_EQ(rejected, 7);
    EXPECT_EQ(GetServerConfigRejected(),
              L"Public.Content Public.Origin Public.Api Test.Content Test.Origin Crash.Server "
              L"InHouse.DomainSuffix");
    EXPECT_EQ(GetServerHost(SC_PUBLIC, ROLE_CONTENT), defaults.hosts[SC_PUBLIC][ROLE_CONTENT]);
    EXPECT_EQ(GetServerHost(SC_TEST, ROLE_ORIGIN), defaults.hosts[SC_TEST][ROLE_ORIGIN]);
    EXPECT_EQ(GetServerHost(SC_TEST, ROLE_API), L"test-api.local:8443");
    EXPECT_EQ(GetInternalDomainSuffix(), defaults.internalDomainSuffix);
    EXPECT_EQ(GetIssueTrackerBrowseUrl(), L"https://" + defaults.issueTrackerHost + L"/jira/browse/");

    // Binary junk and a missing file leave every default.
    std::string junk(4096, '\0');
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 7919) & 0xFF);
    UseConfig(L"junk.ini", junk);
    EXPECT_EQ(GetServerHost(SC_DEV, ROLE_API), defaults.hosts[SC_DEV][ROLE_API]);
    EXPECT_EQ(ReloadServerConfig((dir_ / L"absent.ini").c_str()), 0);
    EXPECT_EQ(GetCrashServerUrl(), L"https://" + defaults.crashHost + L"/CrashServer/CrashProcessREST.php");
}

TEST_F(ClustersTest, CrashAndTrackerAddresses)
{
    UseConfig(L"crash.ini", "[Crash]\r\nServer=localhost:4443\r\n[InHouse]\r\nDomainSuffix=.lab.test\r\n"
                            "IssueTracker=tracker.lab.test\r\n");
    EXPECT_EQ(GetCrashServerUrl(), L"https://localhost:4443/CrashServer/CrashProcessREST.php");
    EXPECT_EQ(GetIssueTrackerBrowseUrl(), L"https://tracker.lab.test/jira/browse/");
    EXPECT_EQ(GetInternalDomainSuffix(), L".lab.test");
}

TEST_F(ClustersTest, InHouseSuffixRule)
{
    EXPECT_TRUE(NameEndsWithDomainSuffix(L"pc7.corp.example.com", L".corp.example.com"));
    EXPECT_TRUE(NameEndsWithDomainSuffix(L"PC7.CORP.Example.COM", L".corp.example.com"));
    EXPECT_FALSE(NameEndsWithDomainSuffix(L"corp.example.com", L".corp.example.com"));
    EXPECT_FALSE(NameEndsWithDomainSuffix(L"pc7.notcorp.example.com.au", L".corp.example.com"));
    EXPECT_FALSE(NameEndsWithDomainSuffix(L"pc7", L".corp.example.com"));
    EXPECT_FALSE(NameEndsWithDomainSuffix(L"pc7.corp.example.com", L""));
    // A workgroup computer (Wine's has no DNS domain) is not in-house.
    EXPECT_FALSE(QueryInHouseMachine());
}

} // namespace
