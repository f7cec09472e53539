// The pure grammars of FaultCourier: URL encoding, Base64, the server's
// answer, the command line and the narrowing of wide texts.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "answer.h"
#include "base64.h"
#include "command_line.h"
#include "report_body.h"
#include "url_encoding.h"

namespace {

std::string Encode(const std::string& input, size_t room = 256, bool* ok = nullptr)
{
    std::string out(room, '\x7f');
    size_t written = 12345;
    bool result = EncodeUrlString(out.data(), input.c_str(), room, &written);
    if (ok)
        *ok = result;
    if (!result)
        return out.substr(0, strnlen(out.data(), room));
    EXPECT_EQ(written, strlen(out.c_str()));
    return out.c_str();
}

std::string Base64Of(const std::string& data, unsigned flags = 0)
{
    std::string text;
    Base64Encode(text, data.data(), data.size(), flags);
    return text;
}

ServerAnswer Parse(const std::string& text)
{
    ServerAnswer answer;
    ParseServerAnswer(text, answer);
    return answer;
}

} // namespace

TEST(UrlEncoding, EscapesAllButUnreservedBytes)
{
    EXPECT_EQ(Encode("a b"), "a%20b");
    EXPECT_EQ(Encode("a b&c"), "a%20b%26c");
    EXPECT_EQ(Encode("+/="), "%2B%2F%3D");
    EXPECT_EQ(Encode("\xE9"), "%E9");
    EXPECT_EQ(Encode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(Encode("\r\n%"), "%0D%0A%25");
    EXPECT_EQ(Encode(""), "");
}

TEST(UrlEncoding, StopsWhenTheRoomRunsOut)
{
    bool ok = false;
    EXPECT_EQ(Encode("ab", 4, &ok), "ab");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Encode("ab", 3, &ok), "ab");
    EXPECT_TRUE(ok);
    Encode("ab", 2, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // An escape needs its three characters and the terminator.
    EXPECT_EQ(Encode("a ", 4, &ok), "a");
    EXPECT_FALSE(ok);
    Encode("", 0, &ok);
    EXPECT_FALSE(ok);
}

TEST(Base64, PadsTheLastGroup)
{
    EXPECT_EQ(Base64Of("abc"), "YWJj");
    EXPECT_EQ(Base64Of("ab"), "YWI=");
    EXPECT_EQ(Base64Of("a"), "YQ==");
    EXPECT_EQ(Base64Of(""), "");
    EXPECT_EQ(Base64Of(std::string("\xFB\xFF\xBF", 3)), "+/+/");
}

TEST(Base64, BlocksResumeWhereTheLastOneStopped)
{
    std::string data = "The quick brown fox jumps";
    char out[64] = {};
    Base64State state;
    size_t written = Base64EncodeBlock(reinterpret_cast<const unsigned char*>(data.data()), 4, out, state);
    written += Base64EncodeBlock(reinterpret_cast<const unsigned char*>(data.data()) + 4, 20, out + written, state);
    EXPECT_EQ(std::string(out, written), Base64Of(data.substr(0, 24)));
    EXPECT_EQ(Base64EncodeValue(state, 64), '=');
}

TEST(Base64, LineBreaksFollowEvery25Groups)
{
    std::string text = Base64Of(std::string(150, 'x'), BASE64_LINE_BREAKS);
    ASSERT_EQ(text.size(), 202u);
    EXPECT_EQ(text[100], '\n');
    EXPECT_EQ(text[201], '\n');
    EXPECT_EQ(Base64Of(std::string(150, 'x')).find('\n'), std::string::npos);
}

TEST(ServerAnswerGrammar, BugNumberAndFixed)
{
    ServerAnswer a = Parse("12345\r\nFIXED");
    EXPECT_STREQ(a.bugNumber, "12345");
    EXPECT_TRUE(a.fixed);
    EXPECT_FALSE(a.rejected);
    EXPECT_TRUE(Parse("12345\r\n\r\nFIXED").fixed);
    EXPECT_TRUE(Parse("12345\nFIXED").fixed);

    ServerAnswer trailing = Parse("12345\r\nFIXED\r\n");
    EXPECT_STREQ(trailing.bugNumber, "12345");
    EXPECT_FALSE(trailing.fixed);
    EXPECT_FALSE(Parse("12345").fixed);
    EXPECT_FALSE(Parse("12345\r\nFIXED now").fixed);
    EXPECT_STREQ(Parse("").bugNumber, "");
    EXPECT_STREQ(Parse("\r\nFIXED").bugNumber, "");
    EXPECT_TRUE(Parse("\r\nFIXED").fixed);
}

TEST(ServerAnswerGrammar, LongFirstLineGivesNothing)
{
    ServerAnswer a = Parse(std::string(127, '7') + "\r\nFIXED");
    EXPECT_STREQ(a.bugNumber, "");
    EXPECT_FALSE(a.fixed);
    EXPECT_STREQ(Parse(std::string(126, '7')).bugNumber, std::string(126, '7').c_str());
}

TEST(ServerAnswerGrammar, Suspect)
{
    ServerAnswer a = Parse("SUSPECT:Overlay Helper 2.1");
    EXPECT_TRUE(a.rejected);
    EXPECT_STREQ(a.suspectText, "Overlay Helper 2.1");
    EXPECT_STREQ(a.bugNumber, "");

    ServerAnswer empty = Parse("SUSPECT:");
    EXPECT_TRUE(empty.rejected);
    EXPECT_STREQ(empty.suspectText, "");
    EXPECT_STREQ(Parse("SUSPECT:" + std::string(2048, 's')).suspectText, "");
    EXPECT_EQ(strlen(Parse("SUSPECT:" + std::string(2047, 's')).suspectText), 2047u);
    EXPECT_FALSE(Parse("suspect:x").rejected);
}

TEST(CommandLineParse, FolderAndOption)
{
    CommandLine line;
    ASSERT_EQ(ParseCommandLine(L"\"C:\\c\\2031.05.07\"", line), CommandLineStatus::OK);
    EXPECT_EQ(line.folder, L"C:\\c\\2031.05.07");
    EXPECT_FALSE(line.unattended);

    ASSERT_EQ(ParseCommandLine(L"\"C:\\c d\" /UNATTENDED", line), CommandLineStatus::OK);
    EXPECT_EQ(line.folder, L"C:\\c d");
    EXPECT_TRUE(line.unattended);

    ASSERT_EQ(ParseCommandLine(L"\"C:\\c\"\t /unattended", line), CommandLineStatus::OK);
    EXPECT_FALSE(line.unattended);
    ASSERT_EQ(ParseCommandLine(L"\"C:\\c\" /UNATTENDEDX", line), CommandLineStatus::OK);
    EXPECT_FALSE(line.unattended);

    ASSERT_EQ(ParseCommandLine(L"\"C:/Users/u/Crashes/x\"", line), CommandLineStatus::OK);
    EXPECT_EQ(line.folder, L"C:\\Users\\u\\Crashes\\x");

    ASSERT_EQ(ParseCommandLine(L"\"C:\\open", line), CommandLineStatus::OK);
    EXPECT_EQ(line.folder, L"C:\\open");
}

TEST(CommandLineParse, NoFolder)
{
    CommandLine line;
    EXPECT_EQ(ParseCommandLine(L"", line), CommandLineStatus::NO_FOLDER);
    EXPECT_EQ(ParseCommandLine(nullptr, line), CommandLineStatus::NO_FOLDER);
    EXPECT_EQ(ParseCommandLine(L"C:\\c /UNATTENDED", line), CommandLineStatus::NO_FOLDER);
    EXPECT_EQ(ParseCommandLine(L" \"C:\\c\"", line), CommandLineStatus::NO_FOLDER);
    EXPECT_EQ(ParseCommandLine(L"\"\" /UNATTENDED", line), CommandLineStatus::NO_FOLDER);
}

TEST(CommandLineParse, OverLongArgumentsAreRefused)
{
    CommandLine line;
    std::wstring longest(FOLDER_ARGUMENT_SIZE - 1, L'f');
    EXPECT_EQ(ParseCommandLine((L"\"" + longest + L"\"").c_str(), line), CommandLineStatus::OK);
    EXPECT_EQ(line.folder, longest);
    EXPECT_EQ(ParseCommandLine((L"\"" + longest + L"f\"").c_str(), line), CommandLineStatus::TOO_LONG);
    EXPECT_EQ(ParseCommandLine((L"\"" + std::wstring(100000, L'f')).c_str(), line), CommandLineStatus::TOO_LONG);

    std::wstring option(OPTION_ARGUMENT_SIZE, L'o');
    EXPECT_EQ(ParseCommandLine((L"\"C:\\c\" " + option).c_str(), line), CommandLineStatus::TOO_LONG);
    option.pop_back();
    EXPECT_EQ(ParseCommandLine((L"\"C:\\c\" " + option).c_str(), line), CommandLineStatus::OK);
}

TEST(NarrowText, Latin1WhenEveryCharacterFitsElseUtf8)
{
    EXPECT_EQ(NarrowReportText(L"en", 128), "en");
    EXPECT_EQ(NarrowReportText(L"J\u00f6rg", 128), "J\xF6rg");
    EXPECT_EQ(NarrowReportText(L"\u0411\u043e\u0440\u0438\u0441 \u00f6", 128),
              "\xD0\x91\xD0\xBE\xD1\x80\xD0\xB8\xD1\x81 \xC3\xB6");
    EXPECT_EQ(NarrowReportText(L"\U0001F600", 128), "\xF0\x9F\x98\x80");
    // Cut within the capacity, never inside a character.
    EXPECT_EQ(NarrowReportText(L"abcdef", 4), "abc");
    EXPECT_EQ(NarrowReportText(L"a\u0411\u0411", 5), "a\xD0\x91");
    EXPECT_EQ(NarrowReportText(L"abc", 0), "");
}
