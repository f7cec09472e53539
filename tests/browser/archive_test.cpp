// The interface archive: entries of zips written by Python (stored and
// deflated, data descriptors, a damaged entry, entries that share one
// stream, too many entries) and the answers built from them.
#include "interface_archive.h"
#include "log_capture.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

std::string TestMimeType(const std::string& extension)
{
    if (extension == "html")
        return "text/html";
    if (extension == "png" || extension == "PNG")
        return "image/png";
    if (extension == "css")
        return "text/css";
    if (extension == "js")
        return "application/javascript";
    if (extension == "bin" || extension == "txt")
        return "application/octet-stream";
    return "";
}

std::wstring TestZip(const wchar_t* name)
{
    return testing_support::BuildFolder() + L"\\test_zips\\" + name;
}

std::string Served(const InterfaceArchive& archive, const char* url)
{
    auto entry = archive.Lookup(url, TestMimeType);
    return entry ? *entry->data : std::string("<none>");
}

TEST(InterfaceArchiveTest, ServesEntriesByNameWithoutCaseOrQuery)
{
    InterfaceArchive archive;
    archive.LoadFile(TestZip(L"mixed.zip"));
    ASSERT_TRUE(archive.Loaded());

    auto index = archive.Lookup("http://launcher/index.html?language=en&cluster=x", TestMimeType);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->mimeType, "text/html");
    EXPECT_EQ(index->data->size(), 18u * 20);

    auto logo = archive.Lookup("http://launcher/Images/Logo.PNG", TestMimeType);
    ASSERT_TRUE(logo);
    EXPECT_EQ(*logo->data, "\x89PNG fake");
    EXPECT_EQ(logo->mimeType, "image/png");

    // Names are taken as they stand: no percent-decoding.
    EXPECT_EQ(Served(archive, "http://launcher/a%20b.css"), "body{}");
    // A later entry of the same name replaces the earlier one.
    EXPECT_EQ(Served(archive, "http://launcher/dup.txt"), "second");
    // Folders, empty entries, unknown extensions, other origins: nothing.
    EXPECT_EQ(Served(archive, "http://launcher/sub/"), "<none>");
    EXPECT_EQ(Served(archive, "http://launcher/empty.txt"), "<none>");
    EXPECT_EQ(Served(archive, "http://launcher/noext"), "<none>");
    EXPECT_EQ(Served(archive, "http://launcher/missing.html"), "<none>");
    EXPECT_EQ(Served(archive, "http://elsewhere/index.html"), "<none>");
    EXPECT_EQ(Served(archive, "data:text/html;base64,PGh0bWw+"), "<none>");
    EXPECT_EQ(Served(archive, "file:///C:/launcher/index.html"), "<none>");

    archive.Release();
    EXPECT_FALSE(archive.Lookup("http://launcher/index.html", TestMimeType));
    // Data already handed out outlives the archive.
    EXPECT_EQ(logo->data->size(), 9u);
}

TEST(InterfaceArchiveTest, ReadsDataDescriptorsAndStopsAtADamagedEntry)
{
    InterfaceArchive descriptors;
    descriptors.LoadFile(TestZip(L"descriptors.zip"));
    EXPECT_EQ(Served(descriptors, "http://launcher/first.js").size(), 500u);
    EXPECT_EQ(Served(descriptors, "http://launcher/second.js").size(), 500u);

    InterfaceArchive damaged;
    damaged.LoadFile(TestZip(L"damaged.zip"));
    EXPECT_EQ(Served(damaged, "http://launcher/one.html").size(), 400u);
    EXPECT_EQ(Served(damaged, "http://launcher/two.html"), "<none>");
    EXPECT_EQ(Served(damaged, "http://launcher/three.html"), "<none>");

    InterfaceArchive missing;
    missing.LoadFile(TestZip(L"no_such.zip"));
    EXPECT_FALSE(missing.Loaded());

    // Bytes that are no zip at all, or a directory that points past the
    // end, leave an archive without entries rather than a crash.
    ZipArchive garbage;
    std::string bytes(300, 'x');
    bytes.replace(200, 4, "PK\x05\x06", 4);
    EXPECT_EQ(garbage.Load(bytes.data(), bytes.size()), 0u);
}

TEST(InterfaceArchiveTest, EntriesSharingTheirDataOrBeyondTheCountAreRefused)
{
    // Three directory entries point at one deflated megabyte: only the first
    // is unpacked, so such an archive cannot multiply its stream.
    testing_support::LogCapture log;
    InterfaceArchive shared;
    shared.LoadFile(TestZip(L"shared_stream.zip"));
    EXPECT_EQ(Served(shared, "http://launcher/a.js"), std::string(1 << 20, '\0'));
    EXPECT_EQ(Served(shared, "http://launcher/b.js"), "<none>");
    EXPECT_EQ(Served(shared, "http://launcher/c.js"), "<none>");
    EXPECT_TRUE(log.Contains("The interface archive was read only in part (entry b.js shares its data with "
                             "another): 1 entries kept"))
        << log.Text();

    // 4100 entries: the first 4096 are served, the rest are not.
    InterfaceArchive many;
    many.LoadFile(TestZip(L"many.zip"));
    EXPECT_EQ(Served(many, "http://launcher/f0000.txt"), "x");
    EXPECT_EQ(Served(many, "http://launcher/f4095.txt"), "x");
    EXPECT_EQ(Served(many, "http://launcher/f4096.txt"), "<none>");
    EXPECT_EQ(Served(many, "http://launcher/f4099.txt"), "<none>");
    EXPECT_TRUE(log.Contains("(more than 4096 entries): 4096 entries kept")) << log.Text();
}

TEST(InterfaceArchiveTest, RangesAnswerFromTheStartToTheEnd)
{
    ArchiveResponse whole = PlanArchiveResponse(2000, std::nullopt);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.length, 2000);
    EXPECT_EQ(whole.contentRange, "");

    ArchiveResponse tail = PlanArchiveResponse(2000, std::string("bytes=500-1999"));
    EXPECT_EQ(tail.status, 206);
    EXPECT_EQ(tail.start, 500);
    EXPECT_EQ(tail.length, 1500);
    EXPECT_EQ(tail.contentRange, "bytes 500-1999/2000");

    // The range end is not looked at; a start from 0 is still a range.
    EXPECT_EQ(PlanArchiveResponse(2000, std::string("bytes=1000-1099")).contentRange, "bytes 1000-1999/2000");
    EXPECT_EQ(PlanArchiveResponse(2000, std::string("bytes=0-")).status, 206);
    // A suffix range or one past the end gets the whole entry.
    EXPECT_EQ(PlanArchiveResponse(2000, std::string("bytes=-500")).status, 200);
    EXPECT_EQ(PlanArchiveResponse(2000, std::string("bytes=2000-")).status, 200);
    EXPECT_EQ(PlanArchiveResponse(2000, std::string("bytes 500")).status, 200);

    EXPECT_EQ(UrlExtension("http://launcher/images/logo.png?x=1"), "png");
    EXPECT_EQ(ArchiveEntryName("http://launcher/a/b.css?q").value(), "a/b.css");
}

} // namespace
