// LauncherLog's bytes on disk and the legacy format rules.
#include "log.h"
#include "test_support.h"
#include "wideformat.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::ReadFileBytes;
using testing_support::TempDir;

namespace {

class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(LogOpen(path_.c_str(), false)); }
    void TearDown() override { LogClose(); }
    std::string Contents()
    {
        LogClose();
        return ReadFileBytes(path_);
    }

    TempDir dir_;
    std::wstring path_ = dir_ / L"Launcher.log";
};

TEST_F(LogFileTest, LineEndsAndLowBytes)
{
    LogWrite(L"a\r\nb\n");
    LogWrite(L"x\ry");
    LogWrite(L"\x0416\x00e9");
    LogWrite(L"");
    EXPECT_EQ(Contents(), std::string("a\r\nb\r\nxy\x16\xe9", 10));
}

TEST_F(LogFileTest, LineFeedAcrossTheBufferBoundaryKeepsBothBytes)
{
    std::wstring text(4095, L'a');
    text += L"\nz";
    LogWrite(text.c_str());
    std::string bytes = Contents();
    ASSERT_EQ(bytes.size(), 4098u);
    EXPECT_EQ(bytes.substr(4095), "\r\nz");
}

TEST_F(LogFileTest, FormatsFollowTheLegacyWideRules)
{
    LogPrintf(L"%s|%S|%d\n", L"wide", "narrow", 42);
    EXPECT_EQ(Contents(), "wide|narrow|42\r\n");
}

TEST_F(LogFileTest, OverlongOrBadFormatIsLoggedVerbatim)
{
    std::wstring big(2000, L'x');
    LogPrintf(L"%s and more\n", big.c_str());
    std::wstring exact(1023, L'y');
    LogPrintf(L"%s", exact.c_str());
    EXPECT_EQ(Contents(), "%s and more\r\n" + std::string(1023, 'y'));
}

TEST_F(LogFileTest, HeaderHasTwoAsctimeStamps)
{
    LogWriteHeader();
    std::string bytes = Contents();
    // "Current time: Tue Dec  8 01:10:17 2026 [UTC Tue Dec  8 01:10:17 2026]\r\n"
    ASSERT_EQ(bytes.size(), 14u + 24u + 6u + 24u + 3u) << bytes;
    EXPECT_EQ(bytes.substr(0, 14), "Current time: ");
    EXPECT_EQ(bytes.substr(38, 6), " [UTC ");
    EXPECT_EQ(bytes.substr(bytes.size() - 3), "]\r\n");
    // Day of month is padded with a blank, never a zero.
    EXPECT_NE(bytes[14 + 8], '0');
}

TEST(LogClosed, WritesAfterCloseDoNotReachTheFile)
{
    TempDir dir;
    std::wstring path = dir / L"Launcher.log";
    ASSERT_TRUE(LogOpen(path.c_str(), false));
    LogWrite(L"kept\n");
    LogClose();
    LogWrite(L"lost\n");
    EXPECT_EQ(ReadFileBytes(path), "kept\r\n");
    // Appending keeps what is there and writes no header.
    ASSERT_TRUE(LogOpen(path.c_str(), true));
    LogWrite(L"more\n");
    LogClose();
    EXPECT_EQ(ReadFileBytes(path), "kept\r\nmore\r\n");
}

TEST(LegacyFormat, BoundedFormatsReportOverflow)
{
    wchar_t wide[8];
    EXPECT_EQ(LegacySnwprintf(wide, 8, L"%s%S", L"ab", "cd"), 4);
    EXPECT_EQ(std::wstring(wide), L"abcd");
    EXPECT_LT(LegacySnwprintf(wide, 4, L"%s", L"abcdef"), 0);

    char narrow[6];
    EXPECT_EQ(FormatNarrow(narrow, sizeof narrow, "%s", "abcde"), 5);
    // Exactly full: stored without a terminator, count returned.
    EXPECT_EQ(FormatNarrow(narrow, 5, "%s", "vwxyz"), 5);
    EXPECT_EQ(std::string(narrow, 5), "vwxyz");
    EXPECT_EQ(FormatNarrow(narrow, 3, "%s", "toolong"), -1);
    EXPECT_EQ(FormatNarrow(narrow, sizeof narrow, "%S", L"wd"), 2);
    EXPECT_EQ(std::string(narrow), "wd");
}

} // namespace
