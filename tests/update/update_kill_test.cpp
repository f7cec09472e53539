// The launcher is killed at chosen moments of an update: while the server
// holds a download, when every byte of a file is in its ".tmp" but the body
// has not ended, and while local files are hashed. Every next run keeps what
// was verified (nothing verified is fetched again, nothing half-written is
// resumed from an earlier run), and the last one leaves a verified install.
#include "app_folders.h"
#include "launcher_process.h"
#include "release_fixture.h"
#include "settings_store.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

const wchar_t kArguments[] = L"-nocef -relaunched";
constexpr DWORD kMomentWaitMs = 60000;
constexpr DWORD kSecondHoldWaitMs = 3000;
constexpr int64_t kReadSize = 32768;

// The largest multiple of the read size up to size (at least one).
int64_t WholeReads(int64_t size)
{
    return size < kReadSize ? kReadSize : size / kReadSize * kReadSize;
}

std::wstring LogPath()
{
    return std::wstring(GetLocalDataFolder()) + L"\\Launcher.log";
}

// Answers held for 20 s after `after` body bytes; several, so that a request
// that timed out and resumed is held again.
std::string Holds(int64_t after, bool chunked = false)
{
    std::string one =
        "{\"stall\": 20, \"after\": " + std::to_string(after) + (chunked ? ", \"chunked\": true}" : "}");
    return "[" + one + ", " + one + ", " + one + "]";
}

bool Holding(const std::string& name)
{
    return content_server::Counts(name).stalling > 0;
}

// The download-thread count follows this setting; restored afterwards.
class AggressiveDownload {
  public:
    AggressiveDownload() : saved_(ReadSettingDword(SCOPE_LAUNCHER, L"EnableAggressiveDownload", 1)) {}
    ~AggressiveDownload() { WriteSettingDword(SCOPE_LAUNCHER, L"EnableAggressiveDownload", saved_); }
    void Set(bool on) { WriteSettingDword(SCOPE_LAUNCHER, L"EnableAggressiveDownload", on ? 1 : 0); }

  private:
    DWORD saved_;
};

class KillChain {
  public:
    explicit KillChain(ReleaseFixture& release) : release_(release) {}

    // The launcher is killed once the answer for each file is held and part
    // of it is in its ".tmp".
    void MidBody(const char* what, const ReleaseFile& file, const std::wstring& arguments = kArguments)
    {
        content_server::Fail(file.name, Holds(file.objectSize / 2));
        std::wstring tmp = file.localPath + L".tmp";
        KillWhen(what, arguments, [&] { return Holding(file.name) && FileSize(tmp) >= 0; }, {tmp});
        content_server::Fail(file.name, "[]");
    }

    // Every byte of a bulk file is sent and written, but the body has not
    // ended: the ".tmp" is whole and not yet renamed. The body comes in
    // chunks and its last chunk is held; WinINet's reads wait for a whole
    // buffer, so the file's size is a multiple of the engine's 32 KiB reads.
    void WholeBody(const char* what, const ReleaseFile& file)
    {
        ASSERT_EQ(file.objectSize % kReadSize, 0) << file.path;
        content_server::Fail(file.name, Holds(file.objectSize, true));
        std::wstring tmp = file.localPath + L".tmp";
        KillWhen(what, kArguments, [&] { return Holding(file.name) && FileSize(tmp) == file.objectSize; },
                 {tmp});
        content_server::Fail(file.name, "[]");
        // Every byte was right; the engine had not yet seen the body end.
        EXPECT_EQ(FileMd5(tmp), file.md5) << what;
    }

    // The first request of the file is cut, and the request that resumes it
    // is held.
    void ResumedBody(const char* what, const ReleaseFile& file)
    {
        std::string hold = Holds(file.objectSize / 3);
        content_server::Fail(file.name, "[{\"reset_after\": " + std::to_string(file.objectSize / 4) + "}, " +
                                            hold.substr(1));
        std::wstring tmp = file.localPath + L".tmp";
        KillWhen(what, kArguments,
                 [&] { return content_server::Counts(file.name).count >= 2 && Holding(file.name); }, {tmp});
        content_server::Fail(file.name, "[]");
    }

    // Two downloads held at once where there are several download threads;
    // with one thread the second never starts.
    void TwoBodies(const char* what, const ReleaseFile& first, const ReleaseFile& second)
    {
        content_server::Fail(first.name, Holds(first.objectSize / 2));
        content_server::Fail(second.name, Holds(second.objectSize / 2));
        DWORD firstHeld = 0;
        KillWhen(what, kArguments,
                 [&] {
                     if (!firstHeld && Holding(first.name))
                         firstHeld = GetTickCount();
                     return firstHeld &&
                            (Holding(second.name) || GetTickCount() - firstHeld > kSecondHoldWaitMs);
                 },
                 {first.localPath + L".tmp", second.localPath + L".tmp"});
        content_server::Fail(first.name, "[]");
        content_server::Fail(second.name, "[]");
    }

    // A fetch to memory (the manifest, the message of the day) is held.
    void MidFetch(const char* what, const std::string& object, int64_t after)
    {
        content_server::Fail(object, Holds(after));
        KillWhen(what, kArguments, [&] { return Holding(object); }, {});
        content_server::Fail(object, "[]");
        // The fetch's temporary file goes with the process.
        std::string file = object == "manifest" ? "index.txt.lzma" : object.substr(object.rfind('/') + 1);
        EXPECT_FALSE(testing_support::FileExists(std::wstring(GetLocalDataFolder()) + L"\\" + Wide(file)))
            << what;
    }

    // Hashing is slowed down and the launcher killed while the log says that
    // it hashes the file.
    void Hashing(const char* what, const ReleaseFile& file)
    {
        std::string line = "Hashing " + Narrow(file.localPath) + "...";
        KillWhen(what, std::wstring(kArguments) + L" -force:slow",
                 [&] { return release_.Log().find(line) != std::string::npos; }, {});
    }

    // A run that is left to end by itself.
    void RunToEnd(const char* what)
    {
        SCOPED_TRACE(what);
        DeleteFileW(LogPath().c_str());
        std::set<std::string> verified = Verified();
        EXPECT_EQ(release_.Run(kArguments), 0);
        Check(verified, {});
    }

    // The local file may still hold these bytes of an earlier release.
    void AllowEarlier(const ReleaseFile& file) { earlier_[file.localPath] = file.md5; }

    int kills = 0;

  private:
    void KillWhen(const char* what, const std::wstring& arguments, const std::function<bool()>& moment,
                  const std::set<std::wstring>& unfinished)
    {
        SCOPED_TRACE(what);
        DeleteFileW(LogPath().c_str());
        std::set<std::string> verified = Verified();
        bool reached = false;
        {
            LauncherProcess launcher(arguments);
            ASSERT_TRUE(launcher.Started());
            reached = launcher.WaitUntil(moment, kMomentWaitMs);
            launcher.Kill();
        }
        EXPECT_TRUE(reached) << release_.Log();
        ++kills;
        Check(verified, unfinished);
    }

    std::set<std::string> Verified() const
    {
        std::set<std::string> names;
        for (const ReleaseFile& file : release_.files) {
            if (FileMd5(file.localPath) == file.md5)
                names.insert(file.name);
        }
        return names;
    }

    // Nothing verified before the run was fetched; the first request of each
    // object asked for the whole object; every file holds nothing, its
    // verified bytes or an earlier release's; only the files in progress have
    // a ".tmp".
    void Check(const std::set<std::string>& verifiedBefore, const std::set<std::wstring>& unfinished)
    {
        std::set<std::string> asked;
        for (const auto& request : release_.NewRecordedRequests()) {
            EXPECT_EQ(verifiedBefore.count(request.path), 0u) << "fetched again: " << request.path;
            if (asked.insert(request.path).second) {
                EXPECT_EQ(request.Header("Range"), "") << request.path;
            }
        }
        for (const ReleaseFile& file : release_.files) {
            std::string md5 = FileMd5(file.localPath);
            auto earlier = earlier_.find(file.localPath);
            bool sound =
                md5.empty() || md5 == file.md5 || (earlier != earlier_.end() && earlier->second == md5);
            EXPECT_TRUE(sound) << "damaged " << file.path;
        }
        for (const std::wstring& folder : {release_.installDir, release_.launcherDir}) {
            for (const std::wstring& tmp : FindFiles(folder, L".tmp"))
                EXPECT_EQ(unfinished.count(tmp), 1u) << "left over: " << Narrow(tmp);
        }
    }

    ReleaseFixture& release_;
    std::map<std::wstring, std::string> earlier_;
};

void ExpectVerifiedInstall(const ReleaseFixture& release)
{
    for (const ReleaseFile& file : release.files)
        EXPECT_EQ(FileMd5(file.localPath), file.md5) << file.path;
    EXPECT_TRUE(FindFiles(release.installDir, L".tmp").empty());
    EXPECT_TRUE(FindFiles(release.launcherDir, L".tmp").empty());
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << release.Log();
}

// Adds a bulk object of size bytes.
ReleaseFile Bulk(ReleaseFixture& release, const std::string& path, int64_t size, int seed)
{
    return release.Add(path, size, seed, false);
}

// Publishes a new version of the file at path (the earlier one stays allowed
// until the update has passed it).
ReleaseFile Replace(ReleaseFixture& release, KillChain& chain, const std::string& path, int64_t size,
                    int seed, bool lzma, const std::string* bytes = nullptr)
{
    auto at = std::find_if(release.files.begin(), release.files.end(),
                           [&](const ReleaseFile& file) { return file.path == path; });
    chain.AllowEarlier(*at);
    release.files.erase(at);
    return bytes ? release.AddBytes(path, *bytes, lzma) : release.Add(path, size, seed, lzma);
}

TEST(UpdateKillTest, KilledAtTwentyPointsTheNextRunsKeepWhatWasVerifiedAndComplete)
{
    ReleaseFixture release;
    AggressiveDownload aggressive;
    aggressive.Set(false); // one download thread: the queue's order is the order of the downloads
    KillChain chain(release);
    content_server::PutBytes("/Ornix/Language/MOTD_en.rtf.lzma", "{\\rtf1 Welcome}");

    // Each pass's queue is fetched largest object first; the sizes make the
    // order launcher, libcef, resources; world, a, b, c, d, e; shaders, fonts.
    // Each point holds a file that no earlier run of its pass has reached.
    std::string recorder =
        testing_support::ReadFileBytes(testing_support::BuildFolder() + L"\\relaunch_recorder.exe");
    ASSERT_FALSE(recorder.empty());
    recorder.resize(WholeReads(recorder.size() + kReadSize - 1)); // a program still runs with bytes appended
    ReleaseFile launcher = release.AddBytes("/Tools/Launcher.exe", recorder, false);
    ReleaseFile libcef = release.Add("/Tools/CEF3_1/libcef.dll", 500000, 1, true);
    ReleaseFile resources =
        Bulk(release, "/Tools/CEF3_1/resources.pak", WholeReads(libcef.objectSize / 2), 2);
    ReleaseFile world = release.Add("/Data/world.pak", 800000, 3, true);
    ReleaseFile b = release.Add("/Data/b.bin", 300000, 4, true);
    ReleaseFile d = release.Add("/Data/d.bin", 60000, 5, true);
    ReleaseFile a = Bulk(release, "/Data/a.bin", WholeReads((world.objectSize + b.objectSize) / 2), 6);
    ReleaseFile c = Bulk(release, "/Data/c.bin", WholeReads((b.objectSize + d.objectSize) / 2), 7);
    ReleaseFile e = Bulk(release, "/Data/e.bin", d.objectSize / 2, 8);
    ReleaseFile shaders = release.Add("/Cache.Windows/shaders_xx.cache", 400000, 9, true);
    ReleaseFile fonts =
        Bulk(release, "/Cache.Windows/fonts_xx.cache", WholeReads(shaders.objectSize / 2), 10);
    ASSERT_GT(launcher.objectSize, libcef.objectSize);
    ASSERT_GT(libcef.objectSize, resources.objectSize);
    ASSERT_GT(world.objectSize, a.objectSize);
    ASSERT_GT(a.objectSize, b.objectSize);
    ASSERT_GT(b.objectSize, c.objectSize);
    ASSERT_GT(c.objectSize, d.objectSize);
    ASSERT_GT(d.objectSize, e.objectSize);
    ASSERT_GT(shaders.objectSize, fonts.objectSize);
    ASSERT_TRUE(release.Publish());
    release.NewRequests();

    // The launcher's own update.
    chain.MidFetch("1: the manifest held", "manifest", 40);
    chain.MidFetch("2: the message of the day held", "/Ornix/Language/MOTD_en.rtf.lzma", 10);
    chain.MidBody("3: the launcher's copy half downloaded", launcher);
    chain.WholeBody("4: the launcher's copy whole in its .tmp", launcher);
    chain.MidBody("5: a browser-runtime file half decoded", libcef);
    chain.WholeBody("6: a browser-runtime file whole in its .tmp", resources);
    chain.RunToEnd("the launcher's files complete; the copy is started");
    // The copy (a stand-in that records its command line) may still be writing.
    std::wstring recorded = release.launcherDir + L"\\Tools\\relaunch_command_line.txt";
    for (int i = 0; i < 100 && testing_support::ReadFileBytes(recorded).empty(); ++i)
        Sleep(100);
    EXPECT_FALSE(testing_support::ReadFileBytes(recorded).empty());

    // The content.
    chain.MidBody("7: the largest content file half decoded", world);
    chain.ResumedBody("8: its resumed request held", world);
    chain.WholeBody("9: a content file whole in its .tmp", a);
    chain.MidBody("10: a content file half decoded", b);
    chain.Hashing("11: an installed content file being hashed", world);
    chain.WholeBody("12: a small content file whole in its .tmp", c);
    aggressive.Set(true);
    chain.TwoBodies("13: two content files held at once", d, e);
    aggressive.Set(false);

    // The cache, and the launcher checking its own files.
    chain.MidBody("14: a cache file half decoded", shaders);
    chain.WholeBody("15: a cache file whole in its .tmp", fonts);
    chain.Hashing("16: the launcher's copy being hashed", launcher);
    chain.RunToEnd("the first release completes");
    ExpectVerifiedInstall(release);

    // An update of the installed release: the earlier files stay whole until
    // their successors are in place.
    std::string longer = recorder + std::string(kReadSize, '\0');
    ReleaseFile launcher2 = Replace(release, chain, "/Tools/Launcher.exe", 0, 0, false, &longer);
    ReleaseFile a2 = Replace(release, chain, "/Data/a.bin", a.objectSize, 16, false);
    ReleaseFile b2 = Replace(release, chain, "/Data/b.bin", 300000, 17, true);
    ASSERT_TRUE(release.Publish());
    chain.MidBody("17: the launcher's new copy half downloaded", launcher2);
    chain.WholeBody("18: the launcher's new copy whole in its .tmp", launcher2);
    chain.RunToEnd("the new launcher files are in place");
    chain.WholeBody("19: a changed content file whole in its .tmp", a2);
    chain.MidBody("20: another changed content file half decoded", b2);
    chain.RunToEnd("the update completes");
    ExpectVerifiedInstall(release);
    EXPECT_EQ(chain.kills, 20);
}

} // namespace
