#include "archive_entry.h"
#include "command_line.h"
#include "settings_store.h"
#include "content_server.h"
#include "download_queue.h"
#include "md5.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::wstring Md5Text(const std::string& bytes)
{
    Md5Context context;
    MD5Init(context);
    MD5Update(context, bytes.data(), bytes.size());
    return MD5FinalText(context);
}

ManifestEntry Entry(const std::wstring& localPath, ManifestEntryKind kind, int64_t size,
                    const std::wstring& md5)
{
    ManifestEntry e;
    e.localPath = localPath;
    e.remoteName = localPath + L"." + md5 + L".lzma";
    e.kind = kind;
    e.size = size;
    e.md5 = md5;
    return e;
}

std::wstring Names(const DownloadQueue& queue, const std::wstring& root)
{
    std::wstring names;
    for (const ManifestEntry& e : queue)
        names += e.localPath.substr(root.size() + 1) + L" ";
    return names;
}

const std::wstring kNoMd5 = L"00000000000000000000000000000000";

} // namespace

TEST(DownloadQueue, SizeOrderIsStable)
{
    DownloadQueue queue;
    const int64_t sizes[] = {5, 9, 9, 1};
    for (int i = 0; i < 4; ++i) {
        ManifestEntry e;
        e.remoteName = std::to_wstring(i);
        e.size = sizes[i];
        queue.push_back(e);
    }
    SortQueueBySize(queue);
    EXPECT_EQ(queue[0].remoteName, L"1");
    EXPECT_EQ(queue[1].remoteName, L"2");
    EXPECT_EQ(queue[2].remoteName, L"0");
    EXPECT_EQ(queue[3].remoteName, L"3");
}

TEST(DownloadQueue, LocalComparison)
{
    TempDir dir;
    const std::wstring& root = dir.path();
    const std::string content = "current content";
    ASSERT_TRUE(WriteFileBytes(dir / L"same.bin", content));
    ASSERT_TRUE(WriteFileBytes(dir / L"lower.bin", content));
    ASSERT_TRUE(WriteFileBytes(dir / L"changed.bin", "old"));
    ASSERT_TRUE(WriteFileBytes(dir / L"empty.bin", ""));
    std::wstring lowerMd5 = Md5Text(content);
    for (auto& c : lowerMd5)
        c = static_cast<wchar_t>(towlower(c));

    ManifestList manifest = {
        Entry(dir / L"same.bin", ENTRY_CONTENT, 10, Md5Text(content)),
        Entry(dir / L"lower.bin", ENTRY_CONTENT, 11, lowerMd5), // case differs: queued
        Entry(dir / L"changed.bin", ENTRY_CONTENT, 12, Md5Text(content)),
        Entry(dir / L"empty.bin", ENTRY_CONTENT, 13, Md5Text("")), // zero bytes: always queued
        Entry(dir / L"missing.bin", ENTRY_CONTENT, 14, kNoMd5),
        Entry(dir / L"launcher.exe", ENTRY_LAUNCHER_FILE, 100, kNoMd5), // other pass
    };
    QueueBuild build;
    build.pass = PASS_CONTENT;
    build.kind = STEP_PROGRESS_HEAVY;
    DownloadQueue queue;
    LogCapture log;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    EXPECT_EQ(Names(queue, root), L"missing.bin empty.bin changed.bin lower.bin ");
    std::string narrowRoot(root.begin(), root.end());
    EXPECT_TRUE(log.Contains("Hashing " + narrowRoot + "\\same.bin...\r\n"));
    EXPECT_TRUE(log.Contains("Could not hash 0-byte file\r\n"));
    std::wstring upperMd5 = Md5Text(content);
    EXPECT_TRUE(log.Contains("Got " + std::string(upperMd5.begin(), upperMd5.end()) + " but expected " +
                             std::string(lowerMd5.begin(), lowerMd5.end()) + "\r\n"));
    EXPECT_TRUE(
        log.Contains("Queuing " + narrowRoot + "\\missing.bin [00000000000000000000000000000000]\r\n"));
    EXPECT_EQ(build.bytesToFetch, 50);
    EXPECT_FALSE(build.relaunchNeeded);
    EXPECT_EQ(build.kind, STEP_PROGRESS_NORMAL); // no cache file queued: weight 1.0

    // Nothing to do: the light weight.
    build = QueueBuild();
    build.pass = PASS_CONTENT;
    build.kind = STEP_PROGRESS_HEAVY;
    ManifestList current = {manifest[0]};
    ASSERT_TRUE(BuildDownloadQueue(current, build, queue));
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(build.kind, STEP_PROGRESS_LIGHT);
}

TEST(DownloadQueue, LauncherPassAgreementsAndForce)
{
    TempDir dir;
    const std::wstring& root = dir.path();
    ASSERT_TRUE(WriteFileBytes(dir / L"eula.rtf", "eula"));
    ASSERT_TRUE(WriteFileBytes(dir / L"cba.rtf", "cba"));
    ASSERT_TRUE(WriteFileBytes(dir / L"Launcher.exe", "exe"));
    std::wstring eulaPath = dir / L"eula.rtf";
    std::wstring cbaPath = dir / L"cba.rtf";
    ManifestList manifest = {
        Entry(dir / L"Launcher.exe", ENTRY_LAUNCHER_FILE, 3, Md5Text("exe")),
        Entry(eulaPath, ENTRY_AGREEMENT, 4, Md5Text("eula")),
        Entry(cbaPath, ENTRY_AGREEMENT, 5, Md5Text("new cba")),
        Entry(dir / L"game.dat", ENTRY_CONTENT, 6, kNoMd5),
    };
    QueueBuild build;
    build.pass = PASS_LAUNCHER;
    build.eulaPath = &eulaPath;
    build.cbaPath = &cbaPath;
    DownloadQueue queue;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    EXPECT_EQ(Names(queue, root), L"cba.rtf ");
    EXPECT_TRUE(build.cbaQueued);
    EXPECT_FALSE(build.eulaQueued);
    EXPECT_FALSE(build.relaunchNeeded);

    // Forced: every taken entry except the agreements, whatever their state.
    build = QueueBuild();
    build.pass = PASS_LAUNCHER;
    build.force = true;
    build.eulaPath = &eulaPath;
    build.cbaPath = &cbaPath;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    EXPECT_EQ(Names(queue, root), L"cba.rtf Launcher.exe ");
    EXPECT_TRUE(build.relaunchNeeded);
    EXPECT_FALSE(build.eulaQueued);

    // Under a debugger a queued launcher file asks for no relaunch.
    build.debuggerAttached = true;
    build.relaunchNeeded = false;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    EXPECT_FALSE(build.relaunchNeeded);
}

TEST(DownloadQueue, QueuedAgreementIsAskedForAgain)
{
    // A client type of its own keeps these values apart from other tests.
    SetCommandLineForTest(L"update_tests.exe -registry:UpdateQueueTest");
    ResetSettingsKeyPathForTest();
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", L"ABC");
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"DEF");
    QueueBuild build;
    build.cbaQueued = true;
    ResetAgreementAcceptance(build);
    wchar_t value[128];
    ReadSettingString(SCOPE_CLIENT_TYPE, value, 128, L"ReadEula");
    EXPECT_STREQ(value, L"ABC");
    ReadSettingString(SCOPE_CLIENT_TYPE, value, 128, L"ReadCba");
    EXPECT_STREQ(value, L"");
    RegDeleteTreeW(HKEY_CURRENT_USER, GetSettingsKeyPath(SCOPE_CLIENT_TYPE));
    SetCommandLineForTest(nullptr);
    ResetSettingsKeyPathForTest();
}

TEST(DownloadQueue, ForceOnlyOncePerProcess)
{
    ForceBinariesUsed = false;
    // The test's own command line has no "-force:binaries".
    EXPECT_FALSE(TakeForceBinaries());
    EXPECT_TRUE(ForceBinariesUsed);
}

namespace {

bool OnlyFrench(const std::wstring& name)
{
    return name.find(L"_de") == std::wstring::npos;
}

} // namespace

TEST(DownloadQueue, CachePassCompanionsApplicabilityAndBulk)
{
    TempDir dir;
    const std::wstring& root = dir.path();
    ASSERT_TRUE(WriteFileBytes(dir / L"a.cache", "current"));
    ASSERT_TRUE(WriteFileBytes(dir / L"b.toc", "anything"));
    ASSERT_TRUE(WriteFileBytes(dir / L"b.cache", "anything"));
    ManifestList manifest = {
        Entry(dir / L"a.toc", ENTRY_CACHE, 1, kNoMd5),       // missing: queued
        Entry(dir / L"a.cache", ENTRY_CACHE, 50, kNoMd5),    // exists, not hashed, but a companion
        Entry(dir / L"b.toc", ENTRY_CACHE, 2, kNoMd5),       // exists: kept
        Entry(dir / L"b.cache", ENTRY_CACHE, 3, kNoMd5),     // exists: kept
        Entry(dir / L"s_de.toc", ENTRY_CACHE, 4, kNoMd5),    // does not apply
        Entry(dir / L"a.txt", ENTRY_CONTENT, 5, kNoMd5),     // companion of any kind
        Entry(dir / L"a.toc.old", ENTRY_CONTENT, 6, kNoMd5), // other stem
    };
    QueueBuild build;
    build.pass = PASS_CACHE;
    build.kind = STEP_PROGRESS_HEAVY;
    build.isApplicable = OnlyFrench;
    DownloadQueue queue;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    EXPECT_EQ(Names(queue, root), L"a.cache a.txt a.toc ");
    EXPECT_EQ(build.bytesToFetch, 56);
    EXPECT_EQ(build.kind, STEP_PROGRESS_HEAVY);

    // Without bulk download cache files come only from the offline archive.
    ArchiveEntry archived{0, 1};
    manifest[2].archive = &archived;
    manifest[4].archive = &archived; // archived entries skip the applicability test
    build = QueueBuild();
    build.pass = PASS_CACHE;
    build.bulkDownload = false;
    build.force = true;
    build.isApplicable = OnlyFrench;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    EXPECT_EQ(Names(queue, root), L"s_de.toc b.cache b.toc ");
}

TEST(DownloadQueue, AbortStopsTheWalk)
{
    ManifestList manifest = {Entry(L"C:\\nowhere\\a.bin", ENTRY_CONTENT, 1, kNoMd5)};
    std::atomic<bool> abort{true};
    QueueBuild build;
    build.pass = PASS_CONTENT;
    build.abortRequested = &abort;
    DownloadQueue queue;
    EXPECT_FALSE(BuildDownloadQueue(manifest, build, queue));
}

TEST(DownloadQueue, HugeSizesDoNotWrapTheTotal)
{
    ManifestList manifest = {Entry(L"C:\\nowhere\\a.bin", ENTRY_CONTENT, INT64_MAX, kNoMd5),
                             Entry(L"C:\\nowhere\\b.bin", ENTRY_CONTENT, INT64_MAX, kNoMd5)};
    QueueBuild build;
    build.pass = PASS_CONTENT;
    DownloadQueue queue;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    EXPECT_EQ(build.bytesToFetch, INT64_MAX);
}

TEST(DownloadQueue, OneLocalFileIsQueuedOnceAndFlagsStartClearEachBuild)
{
    TempDir dir;
    const std::wstring& root = dir.path();
    ManifestEntry launcher = Entry(root + L"\\Tools\\Launcher.exe", ENTRY_LAUNCHER_FILE, 10, kNoMd5);
    ManifestEntry upper = Entry(root + L"\\TOOLS\\LAUNCHER.EXE", ENTRY_LAUNCHER_FILE, 20, kNoMd5);
    ManifestEntry bulk = launcher;
    bulk.remoteName = launcher.localPath + L"." + kNoMd5 + L".bulk";
    ManifestList manifest = {launcher, upper, bulk};

    QueueBuild build;
    build.pass = PASS_LAUNCHER;
    DownloadQueue queue;
    ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].remoteName, launcher.remoteName);
    EXPECT_EQ(build.bytesToFetch, 10);
    EXPECT_TRUE(build.relaunchNeeded);

    // A second build over a manifest without launcher files.
    ManifestList content = {Entry(root + L"\\a.bin", ENTRY_CONTENT, 3, kNoMd5)};
    build.pass = PASS_CONTENT;
    ASSERT_TRUE(BuildDownloadQueue(content, build, queue));
    EXPECT_FALSE(build.relaunchNeeded);
    EXPECT_FALSE(build.eulaQueued);
    EXPECT_EQ(queue.size(), 1u);
}

namespace {

// The lines the walk writes about the local files, in their order.
std::string WalkLines(const std::string& log)
{
    std::string lines;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos)
            end = log.size();
        std::string line = log.substr(start, end - start);
        for (const char* prefix : {"Hashing ", "Got ", "Queuing ", "Could not hash"}) {
            if (line.compare(0, strlen(prefix), prefix) == 0)
                lines += line + "\n";
        }
        start = end + 2;
    }
    return lines;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

} // namespace

// Several threads hash side by side, the large file (taken first, out of
// the walk's order) longest; the walk still decides, logs and queues in the
// manifest's order, as one file after the other would. The first, a middle
// and the last entry differ; a missing and an empty file lie between.
TEST(DownloadQueue, HashingSideBySideKeepsTheManifestOrder)
{
    TempDir dir;
    const std::wstring& root = dir.path();
    const std::string big = std::string(3 * 1024 * 1024 + 5, 'b');
    ManifestList manifest;
    std::string expected;
    std::wstring expectedQueue;
    auto add = [&](const std::wstring& name, const std::string* bytes, const std::string& listed,
                   int64_t size) {
        std::wstring path = dir / name;
        if (bytes) {
            ASSERT_TRUE(WriteFileBytes(path, *bytes));
        }
        manifest.push_back(Entry(path, ENTRY_CONTENT, size, Md5Text(listed)));
        std::string md5 = Narrow(manifest.back().md5);
        if (!bytes) {
            expected += "Queuing " + Narrow(path) + " [" + md5 + "]\n";
        } else {
            expected += "Hashing " + Narrow(path) + "...\n";
            if (bytes->empty())
                expected += "Could not hash 0-byte file\n";
            else if (*bytes != listed)
                expected += "Got " + Narrow(Md5Text(*bytes)) + " but expected " + md5 + "\n";
        }
        // The queue takes the largest first, the rest in the walk's order.
        if (!bytes || *bytes != listed || bytes->empty())
            expectedQueue = bytes == &big ? name + L" " + expectedQueue : expectedQueue + name + L" ";
    };
    std::vector<std::string> contents;
    for (int i = 0; i < 64; ++i)
        contents.push_back("small file " + std::to_string(i) + std::string(i * 97, 'x'));
    const std::string empty;
    add(L"first.dat", &contents[1], contents[2], 7); // differs at the start
    for (int i = 0; i < 64; ++i) {
        std::wstring name = L"f" + std::to_wstring(i) + L".dat";
        if (i == 20)
            add(name, nullptr, contents[i], 7); // missing
        else if (i == 32)
            add(L"big.pak", &big, big + "!", big.size()); // differs in the middle; the pool's first
        else if (i == 40)
            add(name, &empty, contents[i], 7); // empty
        else
            add(name, &contents[i], contents[i], 7);
    }
    add(L"last.dat", &contents[5], contents[6], 7); // differs at the end
    ASSERT_FALSE(HasFatalFailure());

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QueueBuild build;
        build.pass = PASS_CONTENT;
        build.hashThreads = 8;
        DownloadQueue queue;
        LogCapture log;
        ASSERT_TRUE(BuildDownloadQueue(manifest, build, queue));
        EXPECT_EQ(WalkLines(log.Text()), expected);
        EXPECT_EQ(Names(queue, root), expectedQueue);
        EXPECT_EQ(build.bytesToFetch, static_cast<int64_t>(big.size()) + 4 * 7);
    }
}
