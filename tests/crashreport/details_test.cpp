// The text of the in-house details dialog, built from real files (the
// wizard runs check the whole text).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "details_text.h"
#include "test_support.h"

using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

std::string Summary(const std::string& description)
{
    TempDir folder;
    WriteFileBytes(folder / L"Description.txt", description);
    return ReadDescriptionSummary(folder / L"Description.txt");
}

std::string Tail(const std::string& log)
{
    TempDir folder;
    WriteFileBytes(folder / L"QX.log", log);
    std::string tail = "stale";
    EXPECT_TRUE(ReadLogTail(folder / L"QX.log", tail));
    return tail;
}

std::string Lines(int first, int last)
{
    std::string text;
    for (int line = first; line <= last; ++line)
        text += "line " + std::to_string(line) + "\n";
    return text;
}

} // namespace

TEST(DetailsText, SummaryLineOfTheDescription)
{
    EXPECT_EQ(Summary("Crash type: Crash\r\n \tSUMMARY: Null pointer \t \r\nSummary: second\r\n"),
              "Null pointer");
    // An empty line (after its blanks) ends the search.
    EXPECT_EQ(Summary("Crash type: Crash\r\n   \r\nSummary: after the header\r\n"), "");
    EXPECT_EQ(Summary("Crash type: Crash\r\nSummary:x\r\n"), "");
    EXPECT_EQ(ReadDescriptionSummary(L"Z:\\no\\such\\Description.txt"), "");
}

TEST(DetailsText, LogTailKeepsTheLastTwentyLines)
{
    EXPECT_EQ(Tail(Lines(1, 5)), Lines(1, 5));
    EXPECT_EQ(Tail(Lines(1, 500)), Lines(481, 500));
    EXPECT_EQ(Tail(""), "");
    // Text mode: line ends come back as line feeds.
    EXPECT_EQ(Tail("a\r\nb\r\n"), "a\nb\n");

    // Only the last 40960 bytes are read, in pieces of at most 1023 bytes:
    // the 40955 letters left of a long line make 40 full pieces and one of 35.
    std::string tail = Tail(std::string(50000, 'a') + "\nend\n");
    std::string expected;
    for (int piece = 0; piece < 18; ++piece)
        expected += std::string(1023, 'a');
    expected += std::string(35, 'a') + "\nend\n";
    EXPECT_EQ(tail, expected);

    std::string unused;
    EXPECT_FALSE(ReadLogTail(L"Z:\\no\\such\\QX.log", unused));
}

TEST(DetailsText, BytesAboveAsciiAreShownAsLatin1)
{
    EXPECT_EQ(WidenBytes(std::string("caf\xE9 \x80\xFF", 7)), std::wstring(L"caf\x00E9 \x0080\x00FF"));

    TempDir folder;
    WriteFileBytes(folder / L"Description.txt", "Summary: caf\xE9\r\n");
    WriteFileBytes(folder / L"QX.log", "\xC4rger\r\n");
    std::wstring text = BuildDetailsText(folder.path(), true);
    EXPECT_EQ(text.substr(0, 6), L"caf\x00E9\n\n");
    EXPECT_EQ(text.substr(text.size() - 18), L"\n\nLog tail:\n\x00C4rger\n");
    // Without the game's log there is no tail.
    DeleteFileW((folder / L"QX.log").c_str());
    EXPECT_EQ(BuildDetailsText(folder.path(), true).find(L"Log tail:"), std::wstring::npos);
}
