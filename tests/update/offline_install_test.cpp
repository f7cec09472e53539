// End-to-end runs of Launcher.exe with an offline installer archive: the
// archive gives what it holds, the network what it cannot, and launcher files
// always come from the network.
#include "archive/offline_archive.h"
#include "release_fixture.h"
#include "settings_store.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

using testing_support::TempDir;

namespace {

size_t CountContaining(const std::vector<std::string>& paths, const std::string& part)
{
    return std::count_if(paths.begin(), paths.end(),
                         [&](const std::string& path) { return path.find(part) != std::string::npos; });
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Names(const std::vector<ReleaseFile>& files)
{
    std::vector<std::string> names;
    for (const ReleaseFile& file : files)
        names.push_back(file.name);
    return names;
}

int64_t IndexLength(const std::vector<std::string>& names)
{
    int64_t length = 2;
    for (const std::string& name : names)
        length += 1 + static_cast<int64_t>(name.size()) + 8;
    return length;
}

// The "OfflineInstall" setting for the life of the object.
class OfflineSetting {
  public:
    explicit OfflineSetting(const std::wstring& path)
    {
        WriteSettingString(SCOPE_LAUNCHER, L"OfflineInstall", path.c_str());
    }
    ~OfflineSetting() { DeleteSetting(L"OfflineInstall"); }
};

TEST(OfflineInstallTest, AReleaseComesFromTheArchiveAndTheNetworkGivesTheRest)
{
    ReleaseFixture release;
    std::string recorder =
        testing_support::ReadFileBytes(testing_support::BuildFolder() + L"\\relaunch_recorder.exe");
    ASSERT_FALSE(recorder.empty());
    const ReleaseFile launcher = release.AddBytes("/Tools/Launcher.exe", recorder, false);
    const ReleaseFile big = release.Add("/Data/big.pak", 400000, 41, true);
    const ReleaseFile raw = release.Add("/Data/raw.bin", 120000, 42, false);
    release.Add("/Data/a.dat", 3000, 43, true);
    release.Add("/Data/b.dat", 5000, 44, false);
    const ReleaseFile damaged = release.Add("/Data/damaged.bin", 20000, 45, false);
    const ReleaseFile mismatch = release.Add("/Data/mismatch.pak", 30000, 46, true);
    const ReleaseFile absent = release.Add("/Data/absent.dat", 1000, 47, true);
    const ReleaseFile toc = release.Add("/Cache.Windows/shaders_xx.toc", 500, 48, true);
    const ReleaseFile cache = release.Add("/Cache.Windows/shaders_xx.cache", 70000, 49, false);
    content_server::PutBytes("/Ornix/Language/MOTD_en.rtf.lzma", "{\\rtf1 Welcome}");
    ASSERT_TRUE(release.Publish());

    // The archive holds another version of the ".toc", the launcher, and a
    // differently packed "mismatch.pak"; big.pak runs from the first part
    // into the second and raw.bin from the second into the third.
    ContentObject archivedToc = content_server::Put("/Cache.Windows/shaders_xx.toc.{md5}.lzma", 600, 50);
    // Another file whose name begins with the same stem, and sorts first.
    ContentObject tocV2 = content_server::Put("/Cache.Windows/shaders_xx.toc-v2.{md5}.lzma", 700, 51);
    ASSERT_TRUE(content_server::Put(mismatch.path + ".{md5}.lzma", 30000, 46, "\"preset\": 0").ok);
    std::vector<std::string> names = {big.name,
                                      raw.name,
                                      release.files[3].name,
                                      release.files[4].name,
                                      damaged.name,
                                      mismatch.name,
                                      tocV2.name,
                                      archivedToc.name,
                                      cache.name,
                                      launcher.name};
    int64_t first = IndexLength(names) + big.objectSize / 2;
    int64_t second = big.objectSize - big.objectSize / 2 + raw.objectSize / 2;
    std::vector<std::string> parts =
        content_server::Archive(names, {first, second}, "{\"" + damaged.name + "\": 777}");
    ASSERT_EQ(parts.size(), 3u);
    ASSERT_TRUE(content_server::Put(mismatch.path + ".{md5}.lzma", 30000, 46).ok);
    TempDir media;
    std::wstring installer = media / L"Setup.exe";
    ASSERT_TRUE(content_server::WriteArchive(installer, parts));
    OfflineSetting setting(installer);

    // The first run takes the launcher from the network although the
    // archive holds it, and hands over to it.
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::vector<std::string> requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, launcher.name), 1u);
    EXPECT_EQ(CountContaining(requests, "/Data/"), 0u);

    // The relaunched run installs the rest: from the archive, except what is
    // missing there, packed otherwise, or damaged.
    size_t before = release.Log().size();
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    std::string log = release.Log().substr(before);
    EXPECT_TRUE(Contains(log, "Found 7/10 current files in the offline installer")) << log;
    EXPECT_TRUE(Contains(log, "Archive size mismatch detected"));
    EXPECT_TRUE(Contains(log, "Could not find " + absent.name + " in archive"));
    EXPECT_TRUE(Contains(log, "Hash mismatch on archived file " + damaged.name));
    EXPECT_TRUE(Contains(log, "Queuing " + Narrow(big.localPath) + " [" + big.md5 + "] from archive"));
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready);
    requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, "/Data/"), 3u);
    EXPECT_EQ(CountContaining(requests, damaged.name), 1u);
    EXPECT_EQ(CountContaining(requests, mismatch.name), 1u);
    EXPECT_EQ(CountContaining(requests, absent.name), 1u);
    EXPECT_EQ(CountContaining(requests, "/Cache.Windows/"), 0u);
    for (const ReleaseFile& file : release.files) {
        const std::string& md5 = file.name == toc.name ? archivedToc.md5 : file.md5;
        EXPECT_EQ(FileMd5(file.localPath), md5) << file.path;
    }
    EXPECT_TRUE(FindFiles(release.installDir, L".tmp").empty());

    // With the archive gone nothing is left to fetch.
    for (int k = 0; k < 3; ++k)
        DeleteFileW(ArchivePartPath(installer, k).c_str());
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    requests = release.NewRequests();
    EXPECT_EQ(requests.size(), 2u);
    EXPECT_EQ(CountContaining(requests, "/origin/"), 1u);
}

TEST(OfflineInstallTest, AnArchiveWithoutItsMiddlePartIsNotUsed)
{
    ReleaseFixture release;
    const ReleaseFile big = release.Add("/Data/big.pak", 200000, 61, true);
    release.Add("/Data/small.bin", 4000, 62, false);
    ASSERT_TRUE(release.Publish());
    std::vector<std::string> names = Names(release.files);
    std::vector<std::string> parts =
        content_server::Archive(names, {IndexLength(names) + 1000, big.objectSize / 2});
    ASSERT_EQ(parts.size(), 3u);
    TempDir media;
    std::wstring installer = media / L"Setup.exe";
    ASSERT_TRUE(content_server::WriteArchive(installer, parts));
    ASSERT_TRUE(DeleteFileW(ArchivePartPath(installer, 1).c_str()));
    OfflineSetting setting(installer);

    size_t before = release.Log().size();
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    std::string log = release.Log().substr(before);
    EXPECT_TRUE(Contains(log, "Archive missing for address ")) << log;
    EXPECT_FALSE(Contains(log, "current files in the offline installer"));
    for (const ReleaseFile& file : release.files)
        EXPECT_EQ(FileMd5(file.localPath), file.md5) << file.path;
    EXPECT_EQ(CountContaining(release.NewRequests(), "/Data/"), 2u);
}

} // namespace
