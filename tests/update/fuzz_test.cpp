// Seeded random mutations of manifests, ".lzma" objects and archive indexes:
// whatever the damage, the parser keeps every path inside its folders, the
// body reader ends with one of its results, and the index reader keeps the
// archived objects apart, in bounded work; the parts' bounds check and the
// binding of manifest entries give the right verdict on every index read.
#include "archive/offline_archive.h"
#include "content_server.h"
#include "download_transfer.h"
#include "localization.h"
#include "manifest.h"
#include "step_error.h"
#include "strings.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

using testing_support::TempDir;

namespace {

const char kMd5[] = "0123456789ABCDEF0123456789ABCDEF";

std::string ValidManifest()
{
    std::string md5 = kMd5;
    return "/Tools/Launcher.exe." + md5 +
           ".lzma,123456\n"
           "/Tools/CEF3_1/V5/libcef.dll." +
           md5 +
           ".lzma,99\r\n"
           "/Docs/eula_en.rtf." +
           md5 +
           ".bulk,10\n"
           "/Docs/cba_en.rtf." +
           md5 +
           ".bulk,11\n"
           "/Bin/Steam/steam_api64.dll." +
           md5 +
           ".lzma,7\n"
           "/Data/Level 1/world.pak." +
           md5 +
           ".lzma,5000000000\n"
           "/Cache.Windows/shaders_en.toc." +
           md5 +
           ".lzma,12\n"
           "/Cache.Windows/shaders_en.cache." +
           md5 + ".lzma,13\n";
}

// Characters that matter to the grammar and to paths.
char InterestingByte(std::mt19937& random)
{
    static const char pool[] = "/\\.:,\r\n\t 0123456789ABCDEF..lzma.bulk,CON?*\"<>|~";
    int pick = random() % 4;
    if (pick == 0)
        return static_cast<char>(random() % 256);
    if (pick == 1)
        return '\0';
    return pool[random() % (sizeof(pool) - 1)];
}

std::string MutateText(std::string text, std::mt19937& random)
{
    int edits = 1 + random() % 8;
    for (int e = 0; e < edits && !text.empty(); ++e) {
        size_t at = random() % text.size();
        switch (random() % 6) {
        case 0:
            text[at] = InterestingByte(random);
            break;
        case 1:
            text.insert(at, 1, InterestingByte(random));
            break;
        case 2:
            text.erase(at, 1 + random() % 40);
            break;
        case 3: {
            static const char* pieces[] = {"/..",          "/../..", "C:",
                                           "//",           "\\..\\", "/./",
                                           ".lzma,",       ".bulk,", "99999999999999999999",
                                           "\\\\server\\", "/nul",   "/./.",
                                           ". ",           "%2e%2e"};
            text.insert(at, pieces[random() % (sizeof(pieces) / sizeof(pieces[0]))]);
            break;
        }
        case 4: {
            size_t from = random() % text.size();
            text.insert(at, text.substr(from, 1 + random() % 80));
            break;
        }
        default:
            text.resize(at);
            break;
        }
    }
    return text;
}

bool StartsWith(const std::wstring& text, const std::wstring& head)
{
    return text.compare(0, head.size(), head) == 0;
}

// The local path stays below its root: nothing after the root climbs,
// names a drive or stream, or is empty.
void ExpectContained(const ManifestEntry& entry, const ManifestParseContext& context)
{
    const std::wstring& root = StartsWith(entry.localPath, context.launcherRoot + L"\\")
                                   ? context.launcherRoot
                                   : context.installRoot;
    ASSERT_TRUE(StartsWith(entry.localPath, root + L"\\")) << entry.localPath.size();
    std::wstring rest = entry.localPath.substr(root.size());
    EXPECT_EQ(rest.find(L"\\..\\"), std::wstring::npos);
    EXPECT_EQ(rest.find(L"\\.\\"), std::wstring::npos);
    EXPECT_EQ(rest.find(L"\\\\"), std::wstring::npos);
    EXPECT_EQ(rest.find(L':'), std::wstring::npos);
    EXPECT_EQ(rest.find(L'/'), std::wstring::npos);
    EXPECT_EQ(rest.find(L'\0'), std::wstring::npos);
    EXPECT_NE(rest.back(), L'.');
    EXPECT_NE(rest.back(), L'\\');
    EXPECT_EQ(entry.md5.size(), 32u);
    EXPECT_GE(entry.size, 0);
    size_t n = entry.remoteName.size();
    ASSERT_GE(n, 5u);
    EXPECT_TRUE(entry.remoteName.compare(n - 5, 5, L".lzma") == 0 ||
                entry.remoteName.compare(n - 5, 5, L".bulk") == 0);
}

} // namespace

TEST(Fuzz, ManifestParserKeepsPathsInside)
{
    ManifestParseContext context;
    context.eulaName = L"/eula_en";
    context.cbaName = L"/cba_en";
    context.launcherRoot = L"C:\\Users\\p\\AppData\\Local\\Vantorel\\Downloaded\\Public";
    context.installRoot = L"D:\\Games\\Vantorel\\Public";
    std::mt19937 random(20240601);
    const std::string base = ValidManifest();
    size_t accepted = 0;
    for (int iteration = 0; iteration < 20000; ++iteration) {
        EulaFilePath.clear();
        CbaFilePath.clear();
        std::string text = MutateText(base, random);
        LoadManifestText(context, text.data(), text.size());
        for (const ManifestEntry& entry : ManifestEntries) {
            ExpectContained(entry, context);
            if (::testing::Test::HasFailure()) {
                ADD_FAILURE() << "iteration " << iteration;
                return;
            }
        }
        accepted += ManifestEntries.size();
    }
    EXPECT_GT(accepted, 20000u); // the mutations left most lines intact
}

namespace {

// A source that hands out the object in random pieces and may fail once.
class ChoppySource : public BodySource {
  public:
    ChoppySource(const std::string& bytes, std::mt19937& random, size_t failAt)
        : bytes_(bytes), random_(random), failAt_(failAt)
    {
    }
    bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) override
    {
        ++reads;
        if (position_ >= failAt_) {
            errorName = "ERROR_INTERNET_CONNECTION_RESET";
            return false;
        }
        size_t n =
            std::min<size_t>({size, 1 + random_() % 20000, bytes_.size() - position_, failAt_ - position_});
        memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        *read = static_cast<uint32_t>(n);
        return true;
    }
    int reads = 0;

  private:
    const std::string& bytes_;
    std::mt19937& random_;
    size_t failAt_;
    size_t position_ = 0;
};

void PutLittleEndian(std::string& bytes, size_t at, uint64_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::string MutateObject(std::string object, uint64_t realSize, std::mt19937& random)
{
    switch (random() % 5) {
    case 0: { // flipped bytes in the stream
        int flips = 1 + random() % 6;
        for (int i = 0; i < flips; ++i)
            object[LZMA_HEADER_SIZE + random() % (object.size() - LZMA_HEADER_SIZE)] ^= 1 << (random() % 8);
        break;
    }
    case 1: // truncated anywhere, header included
        object.resize(random() % object.size());
        break;
    case 2: { // a wrong decoded size
        const uint64_t sizes[] = {
            0, 1, realSize - 1, realSize + 1, realSize * 2, random() % (4u << 20), UINT64_MAX};
        PutLittleEndian(object, 5, sizes[random() % 7], 8);
        break;
    }
    case 3: // other properties or dictionary sizes
        object[0] = static_cast<char>(random() % 256);
        PutLittleEndian(object, 1, random() % 2 ? (1u << (random() % 31)) : random(), 4);
        break;
    default: { // stream bytes overwritten with noise
        size_t at = LZMA_HEADER_SIZE + random() % (object.size() - LZMA_HEADER_SIZE);
        for (size_t i = at; i < object.size() && i < at + 1 + random() % 64; ++i)
            object[i] = static_cast<char>(random());
        break;
    }
    }
    return object;
}

} // namespace

TEST(Fuzz, LzmaBodyReaderEndsOnDamagedObjects)
{
    LoadLocalizationTable();
    CreateStepErrorLock();
    TempDir dir;
    std::wstring path = dir / L"fuzz.tmp";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    std::vector<std::pair<std::string, uint64_t>> objects;
    for (int64_t size : {int64_t(1), int64_t(3000), int64_t(70000)}) {
        ContentObject info = content_server::Put("/fuzz/o" + std::to_string(size) + ".{md5}.lzma", size,
                                                 static_cast<int>(size));
        ASSERT_TRUE(info.ok);
        objects.emplace_back(content_server::Object(info.name), static_cast<uint64_t>(size));
    }

    std::mt19937 random(77);
    std::atomic<int64_t> bytesDone{0};
    std::atomic<bool> abortRequested{false};
    int results[4] = {};
    for (int iteration = 0; iteration < 1500; ++iteration) {
        const auto& original = objects[iteration % objects.size()];
        std::string object = MutateObject(original.first, original.second, random);
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        DownloadTransfer transfer;
        transfer.targetFile = file;
        transfer.url = L"fuzz";
        size_t failAt = random() % 3 == 0 && !object.empty() ? random() % object.size() : SIZE_MAX;
        // Resume after a failed read as a new request would, at most a few times.
        TransferResult result = TRANSFER_RETRY;
        int reads = 0;
        for (int request = 0; request < 4 && result == TRANSFER_RETRY; ++request) {
            std::string rest = object.substr(std::min<size_t>(transfer.received, object.size()));
            ChoppySource source(rest, random, request == 0 ? failAt : SIZE_MAX);
            result = random() % 2 ? transfer.ReadLzmaBody(source, bytesDone, abortRequested)
                                  : transfer.ExtractLzma(source, bytesDone, abortRequested);
            reads += source.reads;
        }
        ASSERT_GE(static_cast<int>(result), 0);
        ASSERT_LE(static_cast<int>(result), 3);
        ++results[result];
        // Bounded: no more reads than the object's bytes could need.
        EXPECT_LE(reads, static_cast<int>(object.size()) + 16) << "iteration " << iteration;
        LARGE_INTEGER written;
        GetFileSizeEx(file, &written);
        EXPECT_LE(static_cast<uint64_t>(written.QuadPart), 8u << 20) << "iteration " << iteration;
    }
    CloseHandle(file);
    EXPECT_GT(results[TRANSFER_DONE], 0);
    EXPECT_GT(results[TRANSFER_RESTART], 0);
}

namespace {

class IndexBytes : public IndexByteSource {
  public:
    explicit IndexBytes(const std::string& bytes) : bytes_(bytes) {}
    bool ReadExactly(void* buffer, size_t size) override
    {
        ++reads;
        if (size > bytes_.size() - position_)
            return false;
        memcpy(buffer, bytes_.data() + position_, size);
        position_ += size;
        return true;
    }
    int reads = 0;

  private:
    const std::string& bytes_;
    size_t position_ = 0;
};

std::string IndexRecord(const std::string& name, uint64_t size)
{
    std::string bytes(1, static_cast<char>(name.size()));
    bytes += name;
    for (int i = 0; i < 8; ++i)
        bytes += static_cast<char>(size >> (8 * i));
    return bytes;
}

// Damage aimed at the fields: counts, lengths and sizes get edge values.
std::string MutateIndex(std::string index, std::mt19937& random)
{
    int edits = 1 + random() % 4;
    for (int e = 0; e < edits && !index.empty(); ++e) {
        size_t at = random() % index.size();
        switch (random() % 5) {
        case 0:
            index[at] = static_cast<char>(random() % 2 ? 0xFF : random() % 256);
            break;
        case 1: {
            static const uint64_t values[] = {
                0, 1, 0xFF, 0xFFFF, 0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull, UINT64_MAX, 1ull << 40};
            uint64_t value = values[random() % 8];
            for (size_t i = 0; i < 8 && at + i < index.size(); ++i)
                index[at + i] = static_cast<char>(value >> (8 * i));
            break;
        }
        case 2:
            index.erase(at, 1 + random() % 12);
            break;
        case 3:
            index.insert(at, index.substr(random() % index.size(), 1 + random() % 30));
            break;
        default:
            index.resize(at);
            break;
        }
    }
    return index;
}

ManifestEntry Entry(const std::wstring& remoteName, int64_t size, ManifestEntryKind kind)
{
    ManifestEntry entry;
    entry.remoteName = remoteName;
    entry.md5 = remoteName.substr(remoteName.size() - 37, 32);
    entry.size = size;
    entry.kind = kind;
    return entry;
}

// The end of the last object, 0 for none.
int64_t ObjectsEnd(const ArchiveIndexMap& index)
{
    int64_t end = 0;
    for (const auto& item : index)
        end = std::max(end, item.second.address + item.second.size);
    return end;
}

// What the binding of asked made of entry: a bound entry names an object of
// the index and takes its place and size; a content file is bound exactly
// when the index holds its name at its size, a cache file only to a version
// of the same file, a launcher file never. Gives whether entry is bound.
bool CheckBinding(const ManifestEntry& asked, const ManifestEntry& entry, const ArchiveIndexMap& index)
{
    auto same = index.find(asked.remoteName);
    if (asked.kind == ENTRY_CONTENT) {
        EXPECT_EQ(entry.archive != nullptr, same != index.end() && same->second.size == asked.size)
            << ConvertToUtf8(asked.remoteName);
    }
    if (asked.kind == ENTRY_LAUNCHER_FILE) {
        EXPECT_FALSE(entry.archive);
    }
    if (!entry.archive)
        return false;
    auto held = index.find(entry.remoteName);
    EXPECT_TRUE(held != index.end() && entry.archive == &held->second) << ConvertToUtf8(entry.remoteName);
    EXPECT_EQ(entry.size, entry.archive->size);
    if (asked.kind == ENTRY_CACHE) {
        const size_t stem = asked.remoteName.size() - 37; // up to and with the "." before the MD5
        EXPECT_EQ(entry.remoteName.size(), asked.remoteName.size()) << ConvertToUtf8(entry.remoteName);
        EXPECT_EQ(entry.remoteName.compare(0, stem, asked.remoteName, 0, stem), 0)
            << ConvertToUtf8(entry.remoteName);
        EXPECT_EQ(entry.md5, entry.remoteName.substr(stem, 32));
    }
    return true;
}

} // namespace

TEST(Fuzz, ArchiveIndexReaderKeepsObjectsApart)
{
    const std::string md5 = kMd5;
    const char* names[] = {"/Data/world.pak.", "/Cache.Windows/world.toc.", "/Cache.Windows/world.toc-v2.",
                           "/Tools/Launcher.exe.", "/Data/\xc3\xa9t\xc3\xa9.bin."};
    auto indexOf = [&](uint64_t lastSize) {
        std::string index("\5\0", 2);
        for (int i = 0; i < 5; ++i)
            index += IndexRecord(names[i] + md5 + ".lzma", i < 4 ? 1000u * (i + 1) : lastSize);
        return index;
    };
    const std::string base = indexOf(5000);
    // The manifest's side: a content file, a cache file of which the archive
    // holds another version, a cache file whose name runs on from that one's,
    // a launcher file and a content file whose name is not ASCII.
    const std::wstring wideMd5(md5.begin(), md5.end());
    const ManifestList entries = {
        Entry(L"/Data/world.pak." + wideMd5 + L".lzma", 1000, ENTRY_CONTENT),
        Entry(L"/Cache.Windows/world.toc.FEDCBA9876543210FEDCBA9876543210.lzma", 7, ENTRY_CACHE),
        Entry(L"/Cache.Windows/world.toc-v2." + wideMd5 + L".lzma", 3000, ENTRY_CACHE),
        Entry(L"/Tools/Launcher.exe." + wideMd5 + L".lzma", 4000, ENTRY_LAUNCHER_FILE),
        Entry(L"/Data/\u00e9t\u00e9.bin." + wideMd5 + L".lzma", 5000, ENTRY_CONTENT),
    };

    // The whole index: every file but the launcher's is bound, and the parts
    // must hold every object to the last byte.
    {
        IndexBytes source(base);
        ArchiveIndexMap index;
        ASSERT_TRUE(ParseArchiveIndex(source, index));
        const int64_t end = static_cast<int64_t>(base.size()) + 15000;
        ASSERT_EQ(ObjectsEnd(index), end);
        EXPECT_TRUE(CheckArchiveBounds(index, end));
        EXPECT_FALSE(CheckArchiveBounds(index, end - 1));
        ManifestList bound = entries;
        EXPECT_EQ(BindArchiveEntries(bound, index), 4);
        for (size_t i = 0; i < bound.size(); ++i)
            CheckBinding(entries[i], bound[i], index);
        EXPECT_EQ(bound[1].remoteName, L"/Cache.Windows/world.toc." + wideMd5 + L".lzma");
        EXPECT_EQ(bound[1].size, 2000);

        // A hostile index: its last object claims more than the parts hold,
        // up to the end of 64-bit addresses.
        for (uint64_t claimed : {uint64_t(5001), uint64_t(INT64_MAX) - base.size() - 10000}) {
            std::string hostile = indexOf(claimed);
            IndexBytes hostileSource(hostile);
            ArchiveIndexMap hostileIndex;
            ASSERT_TRUE(ParseArchiveIndex(hostileSource, hostileIndex)) << claimed;
            const int64_t claimedEnd = ObjectsEnd(hostileIndex);
            EXPECT_FALSE(CheckArchiveBounds(hostileIndex, end)) << claimed;
            EXPECT_FALSE(CheckArchiveBounds(hostileIndex, claimedEnd - 1)) << claimed;
            EXPECT_TRUE(CheckArchiveBounds(hostileIndex, claimedEnd)) << claimed;
        }
    }

    std::mt19937 random(4107);
    int accepted = 0, held = 0, beyond = 0, boundTotal = 0;
    for (int iteration = 0; iteration < 4000; ++iteration) {
        SCOPED_TRACE(iteration);
        std::string bytes = MutateIndex(base, random);
        IndexBytes source(bytes);
        ArchiveIndexMap index;
        bool ok = ParseArchiveIndex(source, index);
        // Bounded: a count, then three reads a record.
        ASSERT_LE(source.reads, 1 + 3 * 65535);
        if (!ok)
            continue;
        ++accepted;
        // The objects tile the stream after the index without overlap.
        std::vector<ArchiveEntry> byAddress;
        for (const auto& item : index) {
            ASSERT_FALSE(item.first.empty());
            ASSERT_GT(item.second.size, 0);
            ASSERT_GE(item.second.address, 2);
            ASSERT_LE(item.second.size, INT64_MAX - item.second.address);
            byAddress.push_back(item.second);
        }
        std::sort(byAddress.begin(), byAddress.end(),
                  [](const ArchiveEntry& x, const ArchiveEntry& y) { return x.address < y.address; });
        for (size_t i = 1; i < byAddress.size(); ++i)
            ASSERT_EQ(byAddress[i].address, byAddress[i - 1].address + byAddress[i - 1].size);
        // The parts hold the objects exactly when they reach the last one's end.
        const int64_t end = ObjectsEnd(index);
        const int64_t total = static_cast<int64_t>(random() % 100000);
        const bool fits = CheckArchiveBounds(index, total);
        ASSERT_EQ(fits, end <= total) << "parts of " << total << " bytes, objects to " << end;
        ASSERT_TRUE(CheckArchiveBounds(index, end));
        ASSERT_FALSE(CheckArchiveBounds(index, end - 1));
        ++(fits ? held : beyond);

        ManifestList bound = entries;
        int count = BindArchiveEntries(bound, index);
        int seen = 0;
        for (size_t i = 0; i < bound.size(); ++i)
            seen += CheckBinding(entries[i], bound[i], index) ? 1 : 0;
        ASSERT_EQ(count, seen);
        if (::testing::Test::HasFailure())
            return;
        boundTotal += seen;
    }
    EXPECT_GT(accepted, 100);
    EXPECT_GT(held, 10);
    EXPECT_GT(beyond, 10);
    EXPECT_GT(boundTotal, accepted); // most accepted indexes still bind more than one file
}
