// What a headless run prints when its standard output is a file or pipe (a
// shell's redirection): UTF-8 with CR LF line ends, whole characters across
// the writer's chunks, and the log's lines as they are logged.
#include "console_output.h"
#include "log.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// Standard output sent to a file for the object's lifetime.
class RedirectedOutput {
  public:
    RedirectedOutput()
    {
        file_ =
            CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
        previous_ = GetStdHandle(STD_OUTPUT_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, file_);
    }
    ~RedirectedOutput()
    {
        SetStdHandle(STD_OUTPUT_HANDLE, previous_);
        CloseHandle(file_);
    }
    std::string Bytes() const { return testing_support::ReadFileBytes(path_); }

  private:
    testing_support::TempDir dir_;
    std::wstring path_ = dir_ / L"stdout.txt";
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE previous_ = nullptr;
};

TEST(ConsoleOutputTest, RedirectedOutputIsUtf8WithWholeCharacters)
{
    RedirectedOutput output;
    ASSERT_TRUE(WriteStandardOutput(L"a\r\nb\u00e9\n"));
    // A pair of surrogates (U+1F600) straddling the end of the first chunk
    // of 512 characters comes out as one four-byte character.
    std::wstring longText(511, L'x');
    longText += L"\U0001F600";
    longText += L"y\n";
    ASSERT_TRUE(WriteStandardOutput(longText.c_str()));

    std::string expected = "a\r\nb\xC3\xA9\r\n" + std::string(511, 'x') + "\xF0\x9F\x98\x80" + "y\r\n";
    EXPECT_EQ(output.Bytes(), expected);
}

TEST(ConsoleOutputTest, HeadlessLogLinesAndConsolePrintfReachIt)
{
    RedirectedOutput output;
    HeadlessMode = true;
    LogWrite(L"100% done\n");
    EXPECT_EQ(ConsolePrintf(L"%s %d\n", L"steps", 16), 9);
    HeadlessMode = false;
    LogWrite(L"not printed\n");
    EXPECT_EQ(output.Bytes(), "100% done\r\nsteps 16\r\n");
}

TEST(ConsoleOutputTest, NoStandardOutputIsAFailureNotACrash)
{
    HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    EXPECT_FALSE(WriteStandardOutput(L"lost\n"));
    EXPECT_LT(ConsolePrintf(L"lost\n"), 0);
    SetStdHandle(STD_OUTPUT_HANDLE, previous);
}

} // namespace
