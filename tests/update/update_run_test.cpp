// End-to-end runs of Launcher.exe against the local content server: the three
// update passes install a small release, the update relaunches the
// downloaded copy, and later runs fetch only what changed.
#include "release_fixture.h"
#include "settings_store.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

using testing_support::FileExists;
using testing_support::ReadFileBytes;

namespace {

// The recorder may still be writing when the launcher that started it ends.
std::string RecordedCommandLine(const std::wstring& launcherDir)
{
    std::wstring path = launcherDir + L"\\Tools\\relaunch_command_line.txt";
    std::string bytes;
    for (int i = 0; i < 100 && bytes.empty(); ++i) {
        if (FileExists(path))
            bytes = ReadFileBytes(path);
        if (bytes.empty())
            Sleep(100);
    }
    std::string line;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        line += bytes[i];
    return line;
}

size_t CountContaining(const std::vector<std::string>& paths, const std::string& part)
{
    return std::count_if(paths.begin(), paths.end(),
                         [&](const std::string& path) { return path.find(part) != std::string::npos; });
}

void ExpectInstalled(const ReleaseFixture& release)
{
    for (const ReleaseFile& file : release.files)
        EXPECT_EQ(FileMd5(file.localPath), file.md5) << file.path;
    EXPECT_TRUE(FindFiles(release.installDir, L".tmp").empty());
    EXPECT_TRUE(FindFiles(release.launcherDir, L".tmp").empty());
}

TEST(UpdateRunTest, AReleaseIsInstalledRelaunchedAndThenKeptCurrent)
{
    ReleaseFixture release;
    std::string recorder = ReadFileBytes(testing_support::BuildFolder() + L"\\relaunch_recorder.exe");
    ASSERT_FALSE(recorder.empty());
    release.AddBytes("/Tools/Launcher.exe", recorder, false);
    release.Add("/Tools/CEF3_1/read me.txt", 3000, 1, true);
    release.Add("/Agreements/eula_en.rtf", 2000, 2, true);
    // Sizes at the edges of the transfer buffers (16 KiB in, 32 KiB out)
    // and of the hashing chunk (256 KiB).
    int seed = 10;
    for (int64_t size : {1, 16383, 16384, 16385, 32768, 32769, 262144, 262145}) {
        bool lzma = seed % 2 == 0;
        release.Add("/Data/size " + std::to_string(size) + ".bin", size, seed++, lzma);
    }
    release.Add("/Cache.Windows/shaders_xx.toc", 500, 30, true);
    release.Add("/Cache.Windows/shaders_xx.cache", 70000, 31, false);
    content_server::PutBytes("/Ornix/Language/MOTD_en.rtf.lzma", "{\\rtf1 Welcome}");
    ASSERT_TRUE(release.Publish());

    // The first pass installs the launcher's own files and hands over to the
    // new copy, which the recorder stands in for.
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_EQ(RecordedCommandLine(release.launcherDir),
              "\"" + Narrow(release.launcherDir) + "\\Tools\\Launcher.exe\" -relaunched -nocef");
    EXPECT_EQ(FileMd5(release.files[1].localPath), release.files[1].md5);
    EXPECT_EQ(FileMd5(release.files[2].localPath), release.files[2].md5);
    std::vector<std::string> requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, "/origin/"), 1u);
    EXPECT_EQ(CountContaining(requests, "/Ornix/Language/MOTD_en.rtf.lzma"), 1u);
    EXPECT_EQ(CountContaining(requests, "/Data/"), 0u);

    // The user agreed to this EULA before, so the runs go past its page.
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", Wide(release.files[2].md5).c_str());

    // The relaunched run installs the content and cache passes.
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    log = release.Log();
    EXPECT_NE(log.find("Finished ReadyToPlay ("), std::string::npos) << log;
    ExpectInstalled(release);
    requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, "/Data/"), 8u);
    EXPECT_EQ(CountContaining(requests, "/Cache.Windows/"), 2u);
    EXPECT_EQ(CountContaining(requests, "/Tools/"), 0u);

    // Nothing changed: only the manifest and the message of the day.
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    requests = release.NewRequests();
    EXPECT_EQ(requests.size(), 2u);
    EXPECT_EQ(CountContaining(requests, "/origin/"), 1u);
    EXPECT_EQ(CountContaining(requests, "MOTD_en"), 1u);

    // A changed file is the only object fetched.
    ReleaseFile changed = release.files[5];
    release.files.erase(release.files.begin() + 5);
    release.Add(changed.path, 20000, 99, true);
    ASSERT_TRUE(release.Publish());
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    requests = release.NewRequests();
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_EQ(CountContaining(requests, release.files.back().md5), 1u);
    ExpectInstalled(release);

    // Started from elsewhere, the launcher hands over to its downloaded copy
    // at once.
    DeleteFileW((release.launcherDir + L"\\Tools\\relaunch_command_line.txt").c_str());
    ASSERT_EQ(release.Run(L"-nocef -x:1"), 0);
    EXPECT_EQ(RecordedCommandLine(release.launcherDir),
              "\"" + Narrow(release.launcherDir) + "\\Tools\\Launcher.exe\" -relaunched -nocef -x:1");
    EXPECT_TRUE(release.NewRequests().empty());
}

} // namespace
