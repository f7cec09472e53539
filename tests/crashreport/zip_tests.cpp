// The zip attachment: the writer checked by Python's zip reader, the file
// selection, the size rules, comment stripping and masking.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "attach.h"
#include "crash_files.h"
#include "crash_server.h"
#include "error_output.h"
#include "report_body.h"
#include "test_support.h"
#include "zip_writer.h"

using crash_testing::ListZip;
using crash_testing::ZipListing;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Errors;
void CollectError(const char* text)
{
    Errors += text;
}

struct ErrorCapture {
    ErrorCapture()
    {
        Errors.clear();
        SetErrorSink(CollectError);
    }
    ~ErrorCapture() { SetErrorSink(nullptr); }
};

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator());
    return bytes;
}

std::string Strip(std::string data, const char* prefix = ";")
{
    StripCommentRuns(data, prefix);
    return data;
}

std::string Mask(std::string data, const char* key = "Machine name: ")
{
    MaskKeyValue(data, key);
    return data;
}

// The archive held by the body's Zip field.
std::string ZipFieldArchive(const ReportBody& body)
{
    std::string text = ReportBodyText(body);
    size_t at = text.find("&Zip=");
    if (at == std::string::npos)
        return {};
    return testing_support::Base64Decode(crash_testing::UrlDecode(text.substr(at + 5)));
}

ZipListing AttachAndList(const std::wstring& folder, std::string* bodyText = nullptr)
{
    ReportBody body;
    EXPECT_TRUE(CreateReportBody(body));
    EXPECT_TRUE(AppendBodyText(body, "Description=x"));
    EXPECT_TRUE(AttachCrashFiles(body, folder));
    if (bodyText)
        *bodyText = ReportBodyText(body);
    return ListZip(ZipFieldArchive(body));
}

} // namespace

TEST(ZipWriter, EntriesReadBackWithAnIndependentReader)
{
    std::string text(5000, 'a');
    std::string noise = RandomBytes(3000, 1);
    ZipWriter zip;
    ASSERT_TRUE(StartZipWriter(zip, 1024));
    ASSERT_TRUE(AddZipEntry(zip, "QX.log", text.data(), text.size()));
    ASSERT_TRUE(AddZipEntry(zip, "QX.dmp", noise.data(), noise.size()));
    ASSERT_TRUE(AddZipEntry(zip, "dxdiag.txt", "", 0));
    ASSERT_TRUE(AddZipEntry(zip, "\xC3\xA9t\xC3\xA9.cfg", "k=v\n", 4));
    ASSERT_TRUE(FinishZipWriter(zip));
    EXPECT_FALSE(AddZipEntry(zip, "late.log", "x", 1));

    ZipListing listing = ListZip(std::string(zip.archive.begin(), zip.archive.end()));
    ASSERT_EQ(listing.status, "ok");
    ASSERT_EQ(listing.entries.size(), 4u);
    EXPECT_EQ(listing.entries[0].name, "QX.log");
    EXPECT_EQ(listing.entries[0].method, 8); // shrinks: deflated
    EXPECT_EQ(listing.entries[0].content, text);
    EXPECT_EQ(listing.entries[1].method, 0); // does not shrink: stored
    EXPECT_EQ(listing.entries[1].content, noise);
    EXPECT_EQ(listing.entries[2].size, 0u);
    EXPECT_EQ(listing.entries[3].name, "\xC3\xA9t\xC3\xA9.cfg");
    for (const auto& entry : listing.entries) {
        EXPECT_EQ(entry.flags & 0x0800, 0x0800) << entry.name;
        EXPECT_EQ(entry.stamp, "1980-00-00 00:00:00") << entry.name;
    }
    EXPECT_TRUE(EndZipWriter(zip));
    EXPECT_FALSE(EndZipWriter(zip));
}

TEST(CommentRuns, CollapseIntoOneEmptyLine)
{
    EXPECT_EQ(Strip("a\n;x\n  ;y\nb"), "a\n\nb");
    EXPECT_EQ(Strip("a\n;x\nb\n;y\n;z\nc\n"), "a\n\nb\n\nc\n");
    EXPECT_EQ(Strip(";first\nb"), "\nb");
    // Not a comment: something other than blanks before the prefix.
    EXPECT_EQ(Strip("k=v ;note\n\t;tab\nb"), "k=v ;note\n\t;tab\nb");
    EXPECT_EQ(Strip("k=v;x"), "k=v;x");
    EXPECT_EQ(Strip("a\r\n;x\r\nb"), "a\r\n\nb");
}

TEST(CommentRuns, RunAtTheEndIsCutOff)
{
    EXPECT_EQ(Strip("a\n;x"), "a\n");
    EXPECT_EQ(Strip("a\n;x\n ;y"), "a\n");
    EXPECT_EQ(Strip("a\n;x\nb\n;y"), "a\n\nb\n");
    EXPECT_EQ(Strip(";only"), "");
}

TEST(Masking, OnlyTheFirstValueUpToTheLineEnd)
{
    EXPECT_EQ(Mask("Machine name: HOST-1\r\nOther: y\nMachine name: HOST-2\n"),
              "Machine name: XXXXXXX\nOther: y\nMachine name: HOST-2\n");
    EXPECT_EQ(Mask("x Machine name: ab"), "x Machine name: XX");
    EXPECT_EQ(Mask("Machine: ab"), "Machine: ab");
}

TEST(CrashFileSizes, LargeFilesAreCutOrSkipped)
{
    TempDir dir;
    std::string large(ZIP_FILE_LIMIT + 5 * 1024 * 1024, '\0');
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>('a' + (i / 4096) % 26);
    ASSERT_TRUE(WriteFileBytes(dir / L"big.cfg", large));

    std::string data;
    EXPECT_FALSE(ReadCrashFile(dir / L"big.cfg", true, data));
    ASSERT_TRUE(ReadCrashFile(dir / L"big.cfg", false, data));
    ASSERT_EQ(data.size(), ZIP_FILE_LIMIT);
    EXPECT_EQ(data.compare(0, CUT_HEAD_SIZE, large, 0, CUT_HEAD_SIZE), 0);
    EXPECT_EQ(data.substr(CUT_HEAD_SIZE, 3), "\n\n\n");
    EXPECT_EQ(
        data.compare(CUT_HEAD_SIZE + 3, CUT_TAIL_SIZE, large, large.size() - CUT_TAIL_SIZE, CUT_TAIL_SIZE),
        0);

    // Exactly the limit is already "large"; one byte less is taken whole.
    ASSERT_TRUE(WriteFileBytes(dir / L"edge.log", large.substr(0, ZIP_FILE_LIMIT)));
    EXPECT_FALSE(ReadCrashFile(dir / L"edge.log", true, data));
    ASSERT_TRUE(WriteFileBytes(dir / L"edge.log", large.substr(0, ZIP_FILE_LIMIT - 1)));
    ASSERT_TRUE(ReadCrashFile(dir / L"edge.log", true, data));
    EXPECT_EQ(data.size(), ZIP_FILE_LIMIT - 1);

    EXPECT_FALSE(ReadCrashFile(dir / L"missing.log", false, data));
}

TEST(AttachCrashFiles, TakesTheCrashFilesCleaned)
{
    TempDir dir;
    std::string dump = RandomBytes(40000, 2);
    ASSERT_TRUE(WriteFileBytes(dir / L"Description.txt", "Crash type: Crash\n"));
    ASSERT_TRUE(WriteFileBytes(dir / L"QX.dmp", dump));
    ASSERT_TRUE(WriteFileBytes(dir / L"empty.dmp", ""));
    ASSERT_TRUE(WriteFileBytes(dir / L"Launcher.log", "line 1\r\nline 2\r\n"));
    ASSERT_TRUE(WriteFileBytes(dir / L"QX.cfg", "a\n;x\n  ;y\nb"));
    ASSERT_TRUE(WriteFileBytes(dir / L"Editor.cfg", "k=v\n;tail"));
    ASSERT_TRUE(WriteFileBytes(dir / L"dxdiag.txt", "Machine name: SECRET\r\nMachine name: SECOND\r\n"));
    ASSERT_TRUE(WriteFileBytes(dir / L"huge.log", std::string(ZIP_FILE_LIMIT + 1, 'l')));
    ASSERT_TRUE(WriteFileBytes(dir / L"notes.txt", "not taken"));
    ASSERT_TRUE(CreateDirectoryW((dir / L"x.log").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir / L"x.log\\inner.log", "inside"));

    ErrorCapture errors;
    ZipListing listing = AttachAndList(dir.path());
    EXPECT_EQ(Errors, "");
    ASSERT_EQ(listing.status, "ok");
    std::vector<std::string> names;
    for (const auto& entry : listing.entries)
        names.push_back(entry.name);
    // Dumps, logs, configuration files, then the DirectX diagnostics.
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0], "QX.dmp");
    EXPECT_EQ(names[1], "Launcher.log");
    EXPECT_EQ(names[4], "dxdiag.txt");
    EXPECT_EQ(listing.Find("QX.dmp")->content, dump);
    EXPECT_EQ(listing.Find("Launcher.log")->content, "line 1\r\nline 2\r\n");
    EXPECT_EQ(listing.Find("QX.cfg")->content, "a\n\nb");
    EXPECT_EQ(listing.Find("Editor.cfg")->content, "k=v\n");
    EXPECT_EQ(listing.Find("dxdiag.txt")->content, "Machine name: XXXXXXX\nMachine name: SECOND\r\n");
}

TEST(AttachCrashFiles, LinksAreNotFollowed)
{
    TempDir dir;
    ASSERT_TRUE(CreateDirectoryW((dir / L"crash").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dir / L"private").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir / L"private\\secret.txt", "not for the report"));
    const std::wstring crash = dir / L"crash";
    ASSERT_TRUE(WriteFileBytes(crash + L"\\QX.log", "own"));
    ASSERT_TRUE(testing_support::MakeLink(crash, L"other.log", L"..\\private\\secret.txt", false));
    ASSERT_TRUE(testing_support::MakeLink(crash, L"dxdiag.txt", L"..\\private\\secret.txt", false));
    ASSERT_TRUE(testing_support::MakeLink(crash, L"folder.cfg", L"..\\private", true));
    ZipListing listing = AttachAndList(crash);
    ASSERT_EQ(listing.status, "ok");
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(listing.entries[0].name, "QX.log");
}

TEST(AttachCrashFiles, OnlyDescriptionGivesAnEmptyArchive)
{
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"Description.txt", "x"));
    std::string body;
    ZipListing listing = AttachAndList(dir.path(), &body);
    EXPECT_EQ(listing.status, "ok");
    EXPECT_TRUE(listing.entries.empty());
    // The 22-byte end record, Base64- and URL-encoded, ends the body.
    EXPECT_EQ(body.substr(0, 18), "Description=x&Zip=");
    EXPECT_EQ(body.size(), 18 + 36u); // "==" grows to "%3D%3D"
}

TEST(AttachCrashFiles, AFileThatDoesNotFitLeavesOutOnlyItself)
{
    TempDir dir;
    // The dump alone is too large for the body; the logs and configuration
    // files after it fit. Of the two 3 MiB files the second no longer fits
    // beside the first, and the small files after it are still taken.
    ASSERT_TRUE(WriteFileBytes(dir / L"QX.dmp", RandomBytes(6 * 1024 * 1024, 3)));
    std::string log = RandomBytes(3 * 1024 * 1024, 4);
    ASSERT_TRUE(WriteFileBytes(dir / L"QX.log", log));
    ASSERT_TRUE(WriteFileBytes(dir / L"Editor.cfg", RandomBytes(3 * 1024 * 1024, 5)));
    ASSERT_TRUE(WriteFileBytes(dir / L"QX.cfg", "small"));
    ASSERT_TRUE(WriteFileBytes(dir / L"dxdiag.txt", "Machine name: HOST\n"));
    ErrorCapture errors;
    std::string body;
    ZipListing listing = AttachAndList(dir.path(), &body);
    ASSERT_EQ(listing.status, "ok");
    std::vector<std::string> names;
    for (const auto& entry : listing.entries)
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"QX.log", "QX.cfg", "dxdiag.txt"}));
    EXPECT_EQ(listing.Find("QX.log")->size, log.size());
    EXPECT_LE(body.size(), REPORT_BODY_SIZE - 1);
    EXPECT_EQ(Errors, "Error: QX.dmp does not fit the report; it is left out\n"
                      "Error: Editor.cfg does not fit the report; it is left out\n");

    // No room left even for the field's name: the report still says so.
    Errors.clear();
    ReportBody full;
    ASSERT_TRUE(CreateReportBody(full));
    ASSERT_TRUE(AppendBodyText(full, std::string(REPORT_BODY_SIZE - 3, 'd').c_str()));
    EXPECT_FALSE(AttachCrashFiles(full, dir.path()));
    EXPECT_EQ(ReportBodyLength(full), REPORT_BODY_SIZE - 3);
    EXPECT_EQ(Errors.rfind("Error: ", 0), 0u) << Errors;
    EXPECT_NE(Errors.find("does not fit"), std::string::npos) << Errors;
}
