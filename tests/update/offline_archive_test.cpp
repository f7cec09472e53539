// The offline installer archive: archives written by
// scripts/make_offline_archive.py (through the test server) from objects the
// content server holds, loaded, bound to a manifest and extracted.
#include "archive/offline_archive.h"
#include "binaries/binaries_step.h"
#include "content_server.h"
#include "localization.h"
#include "md5.h"
#include "settings_store.h"
#include "step_error.h"
#include "step_messages.h"

#include <gtest/gtest.h>

#include <map>

using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// An archive in a folder of its own: "Setup.exe" and its parts.
struct TestArchive {
    TempDir dir;
    std::wstring installer;
    std::vector<std::string> parts;

    std::wstring PartPath(int k) const { return ArchivePartPath(installer, k); }
};

bool MakeArchive(TestArchive& archive, const std::vector<std::string>& names,
                 const std::vector<int64_t>& partSizes, const std::string& flipJson = "{}")
{
    archive.installer = archive.dir / L"Setup.exe";
    archive.parts = content_server::Archive(names, partSizes, flipJson);
    return content_server::WriteArchive(archive.installer, archive.parts);
}

int64_t IndexLength(const std::vector<ContentObject>& objects)
{
    int64_t length = 2;
    for (const ContentObject& object : objects)
        length += 1 + static_cast<int64_t>(object.name.size()) + 8;
    return length;
}

std::vector<std::string> Names(const std::vector<ContentObject>& objects)
{
    std::vector<std::string> names;
    for (const ContentObject& object : objects)
        names.push_back(object.name);
    return names;
}

std::string Line(const ContentObject& object, int64_t sizeDelta = 0)
{
    return object.name + "," + std::to_string(object.objectSize + sizeDelta) + "\n";
}

class ArchiveTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LoadLocalizationTable();
        CreateStepErrorLock();
        context.launcherRoot = install.path() + L"\\Launcher";
        context.installRoot = install.path() + L"\\Game";
        // Three objects laid out so that big.pak runs from the first part into
        // the second and raw.bin from the second into the third.
        small = content_server::Put("/Data/small.dat.{md5}.lzma", 2000, 13);
        big = content_server::Put("/Data/big.pak.{md5}.lzma", 400000, 11);
        raw = content_server::Put("/Data/raw.bin.{md5}.bulk", 120000, 12);
        ASSERT_TRUE(small.ok && big.ok && raw.ok);
        layout = {small, big, raw};
        int64_t first = IndexLength(layout) + small.objectSize + big.objectSize / 2;
        int64_t second = big.objectSize - big.objectSize / 2 + raw.objectSize / 2;
        partSizes = {first, second};
    }
    void TearDown() override
    {
        ManifestEntries.clear();
        UnloadOfflineInstaller();
        DeleteSetting(L"OfflineInstall");
    }
    void UseArchive(const std::wstring& path)
    {
        WriteSettingString(SCOPE_LAUNCHER, L"OfflineInstall", path.c_str());
    }
    void LoadManifest(const std::string& text)
    {
        ASSERT_TRUE(LoadManifestText(context, text.data(), text.size()));
    }
    const ManifestEntry* Entry(const std::string& start)
    {
        for (const ManifestEntry& entry : ManifestEntries) {
            if (Narrow(entry.remoteName).compare(0, start.size(), start) == 0)
                return &entry;
        }
        return nullptr;
    }
    // Extracts the entry into path; the digest, or "" when it failed.
    std::string Extract(const ManifestEntry& entry, const std::wstring& path, std::atomic<int64_t>& done)
    {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return "no file";
        std::wstring hash = L"untouched";
        bool ok =
            ExtractArchivedObject(*entry.archive, file, path, entry.remoteName, hash, done, abortRequested);
        CloseHandle(file);
        return ok ? Narrow(hash) : (hash.empty() ? "" : "hash without success");
    }
    bool Loaded() const { return !ArchiveIndex.empty() || !ArchiveParts.empty(); }

    TempDir install;
    ManifestParseContext context;
    ContentObject small, big, raw;
    std::vector<ContentObject> layout;
    std::vector<int64_t> partSizes;
    std::atomic<bool> abortRequested{false};
};

} // namespace

TEST_F(ArchiveTest, UnusableArchivesLoadNothing)
{
    std::string manifest = Line(big) + Line(raw) + Line(small);
    LoadManifest(manifest);
    int64_t indexLength = IndexLength(layout);
    int64_t bigEnd = indexLength + small.objectSize + big.objectSize;
    int64_t rawEnd = bigEnd + raw.objectSize;
    auto expectNothing = [&](const char* what) {
        EXPECT_FALSE(Loaded()) << what;
        for (const ManifestEntry& entry : ManifestEntries)
            EXPECT_FALSE(entry.archive) << what;
    };

    {
        // The middle part is missing: the parts end after the first.
        TestArchive archive;
        ASSERT_TRUE(MakeArchive(archive, Names(layout), partSizes));
        DeleteFileW(archive.PartPath(1).c_str());
        UseArchive(archive.installer);
        LogCapture log;
        LoadOfflineInstaller();
        EXPECT_TRUE(log.Contains("Archive missing for address " + std::to_string(bigEnd) + "\r\n"))
            << log.Text();
        expectNothing("missing middle part");
    }
    {
        // The last object ends one byte beyond the parts.
        TestArchive archive;
        ASSERT_TRUE(MakeArchive(archive, Names(layout), partSizes));
        archive.parts[2].pop_back();
        WriteFileBytes(archive.PartPath(2), archive.parts[2]);
        UseArchive(archive.installer);
        LogCapture log;
        LoadOfflineInstaller();
        EXPECT_TRUE(log.Contains("Archive missing for address " + std::to_string(rawEnd) + "\r\n"))
            << log.Text();
        expectNothing("short last part");

        // A part that another program holds open without sharing.
        archive.parts[2].push_back('x');
        WriteFileBytes(archive.PartPath(2), archive.parts[2]);
        HANDLE locked =
            CreateFileW(archive.PartPath(1).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(locked, INVALID_HANDLE_VALUE);
        LoadOfflineInstaller();
        CloseHandle(locked);
        EXPECT_TRUE(log.Contains("Could not read " + Narrow(archive.PartPath(1)) + "\r\n"));
        expectNothing("locked part");
        LoadOfflineInstaller();
        EXPECT_EQ(ArchiveParts.size(), 3u);
        LoadManifest(manifest);
    }

    // Damaged indexes, written by hand into a single part.
    auto record = [](const std::string& name, uint64_t size) {
        std::string bytes(1, static_cast<char>(name.size()));
        bytes += name;
        for (int i = 0; i < 8; ++i)
            bytes += static_cast<char>(size >> (8 * i));
        return bytes;
    };
    std::string good = record(small.name, 5);
    struct Case {
        const char* why;
        std::string index;
    } cases[] = {
        {"no objects", std::string("\0\0", 2) + good},
        {"empty name", std::string("\1\0", 2) + record("", 5)},
        {"empty object", std::string("\1\0", 2) + record(small.name, 0)},
        {"duplicate name", std::string("\2\0", 2) + good + good},
        {"object beyond 64-bit addresses", std::string("\2\0", 2) + good + record(big.name, UINT64_MAX >> 1)},
        {"object beyond 64-bit addresses", std::string("\1\0", 2) + record(big.name, UINT64_MAX)},
        {"name is not UTF-8", std::string("\1\0", 2) + record("/Data/\xff\xfe.bin", 5)},
        {"short read", std::string("\3\0", 2) + good + good.substr(0, 7)},
    };
    for (const Case& c : cases) {
        TestArchive archive;
        archive.installer = archive.dir / L"Setup.exe";
        ASSERT_TRUE(WriteFileBytes(archive.installer, ""));
        ASSERT_TRUE(WriteFileBytes(archive.PartPath(0), c.index + std::string(100, 'z')));
        UseArchive(archive.installer);
        LogCapture log;
        LoadOfflineInstaller();
        EXPECT_TRUE(log.Contains(std::string("Offline installer index is invalid: ") + c.why)) << log.Text();
        expectNothing(c.why);
    }

    // No archive at all: nothing is even parsed.
    TempDir empty;
    std::wstring folder = empty / L"Folder.exe";
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteFileBytes(empty / L"Setup.exe", "");
    LogCapture log;
    for (const std::wstring& path :
         {std::wstring(L"C:\\"), empty / L"absent.exe", folder, empty / L"Setup.exe"}) {
        UseArchive(path);
        LoadOfflineInstaller();
        expectNothing("no archive");
    }
    EXPECT_FALSE(log.Contains("Parsing"));
}

TEST_F(ArchiveTest, DamagedAndShrunkPartsFailTheirObjectsOnly)
{
    // A flipped byte in the raw object is extracted as it stands: its digest
    // then differs from the manifest's.
    TestArchive archive;
    ASSERT_TRUE(MakeArchive(archive, Names(layout), partSizes, "{\"" + raw.name + "\": 70000}"));
    UseArchive(archive.installer);
    LoadManifest(Line(big) + Line(raw) + Line(small));
    LoadOfflineInstaller();
    ASSERT_EQ(ArchiveParts.size(), 3u);
    std::atomic<int64_t> done{0};
    std::string digest = Extract(*Entry("/Data/raw.bin"), install / L"raw", done);
    EXPECT_EQ(digest.size(), 32u);
    EXPECT_NE(digest, raw.md5);

    // The third part shrinks after loading: the object that runs into it
    // fails as a damaged download that no retry cures; the others are whole.
    std::wstring shortCopy = archive.dir / L"short.b02";
    ASSERT_TRUE(WriteFileBytes(shortCopy, archive.parts[2].substr(0, archive.parts[2].size() / 3)));
    ArchiveParts[2].file.Reset(
        CreateFileW(shortCopy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    SetStepError(L"untouched", false);
    LogCapture log;
    EXPECT_EQ(Extract(*Entry("/Data/raw.bin"), install / L"raw", done), "");
    EXPECT_TRUE(log.Contains("ReadArchiveFile failed for archive://" + raw.name + "\r\n")) << log.Text();
    std::wstring text;
    bool fatal = false;
    GetStepError(text, fatal);
    EXPECT_EQ(text, L"Downloaded data was corrupted.");
    EXPECT_TRUE(fatal);
    EXPECT_EQ(Extract(*Entry("/Data/big.pak"), install / L"big", done), big.md5);

    // An aborted step stops the extraction.
    abortRequested = true;
    EXPECT_EQ(Extract(*Entry("/Data/small.dat"), install / L"small", done), "");
    EXPECT_TRUE(log.Contains("Aborting extract of archive://" + small.name));
}

TEST_F(ArchiveTest, AnObjectWhoseHeaderDeclaresMoreThanItsBytesCanDecodeToIsRefusedAtIt)
{
    // 1 TiB declared in the header of a 2000-byte file's stream.
    ContentObject huge =
        content_server::Put("/Data/huge.pak.{md5}.lzma", 2000, 14, "\"size_header\": 1099511627776");
    ASSERT_TRUE(huge.ok);
    TestArchive archive;
    ASSERT_TRUE(MakeArchive(archive, {huge.name, small.name}, {}));
    UseArchive(archive.installer);
    LoadManifest(Line(huge) + Line(small));
    LoadOfflineInstaller();
    LogCapture log;
    std::atomic<int64_t> done{0};
    EXPECT_EQ(Extract(*Entry("/Data/huge.pak"), install / L"huge", done), "");
    // Nothing was taken past its header, nothing stored.
    EXPECT_EQ(done.load(), 0);
    EXPECT_EQ(testing_support::ReadFileBytes(install / L"huge"), "");
    EXPECT_TRUE(log.Contains("Refused archive://" + huge.name + ": it declares 1099511627776 bytes decoded"))
        << log.Text();
    EXPECT_EQ(Extract(*Entry("/Data/small.dat"), install / L"small", done), small.md5);
}

TEST_F(ArchiveTest, ExtractionShowsInstallingOnTheStatusLine)
{
    TestArchive archive;
    ASSERT_TRUE(MakeArchive(archive, Names(layout), partSizes));
    UseArchive(archive.installer);
    LoadManifest(Line(small));
    LoadOfflineInstaller();
    const ManifestEntry* entry = Entry("/Data/small.dat");
    ASSERT_TRUE(entry && entry->archive);

    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND status = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 100, 20, window,
                                  reinterpret_cast<HMENU>(IDC_STATUS_TEXT), nullptr, nullptr);
    HWND page = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, window, nullptr, nullptr, nullptr);
    ReqBinaries step(PASS_CONTENT);
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&step));
    step.BytesToFetch = entry->size;
    std::wstring path = install / L"small";
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::wstring hash;
    EXPECT_TRUE(step.ExtractFromArchive(*entry->archive, file, path, hash, *entry));
    CloseHandle(file);
    EXPECT_EQ(Narrow(hash), small.md5);
    EXPECT_EQ(step.BytesDone.load(), small.objectSize);
    ReqBinaries::DialogProc(page, WM_TIMER, 1, 0);
    wchar_t text[64] = L"";
    GetWindowTextW(status, text, 64);
    EXPECT_STREQ(text, L"INSTALLING...");
    SetWindowLongPtrW(page, GWLP_USERDATA, 0);
    DestroyWindow(window);
}
