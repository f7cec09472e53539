// The crash handler's parts that run without a crash: texts, bounded
// appends, the uploader's command line and the hooks' hand-over to the
// AssertHook (replaced here by a recorder).
#include "errorhandler.h"

#include "strings.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct RecordedAssert {
    std::string expression;
    std::string function;
    std::string file;
    unsigned line;
    DWORD lastError;
};

std::vector<RecordedAssert> Recorded;
int RecorderResult = 0;

std::string OrNull(const char* text)
{
    return text ? text : "(null)";
}

int RecordAssert(const AssertInfo* info)
{
    Recorded.push_back({OrNull(info->expression), OrNull(info->function), OrNull(info->file), info->line,
                        GetLastError()});
    return RecorderResult;
}

class HookRecorder : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = AssertHook;
        AssertHook = RecordAssert;
        Recorded.clear();
        RecorderResult = 0;
    }
    void TearDown() override { AssertHook = saved_; }

private:
    AssertHookFunction saved_ = nullptr;
};

std::vector<std::wstring> SplitCommandLine(const wchar_t* line)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(line, &count);
    std::vector<std::wstring> out(args, args + count);
    LocalFree(args);
    return out;
}

} // namespace

TEST(ExceptionName, NamesKnownCodesAndFormatsOthers)
{
    EXPECT_STREQ("GPF", GetExceptionName(0xC0000005));
    EXPECT_STREQ("Stack Overflow", GetExceptionName(0xC00000FD));
    EXPECT_STREQ("Delay-load Module Not Found", GetExceptionName(0xC06D007E));
    EXPECT_STREQ("Microsoft C++ Exception", GetExceptionName(0xE06D7363));
    EXPECT_STREQ("Guard Page Exception", GetExceptionName(0x80000001));
    EXPECT_STREQ("Exception 0x0000ABCD", GetExceptionName(0xABCD));
    EXPECT_STREQ("Exception 0xC0000409", GetExceptionName(0xC0000409));
}

TEST(AppendFormat, MovesThePositionAndStopsAtTheEnd)
{
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    size_t position = 0;
    EXPECT_EQ(6, AppendFormat(buffer, sizeof buffer, &position, "id: %x", 0x2au));
    EXPECT_EQ(6u, position);
    EXPECT_EQ(0, AppendFormat(buffer, sizeof buffer, &position, ""));
    EXPECT_EQ(6u, position);
    EXPECT_EQ(9, AppendFormat(buffer, sizeof buffer, &position, " %S", L"wide-txt"));
    EXPECT_STREQ("id: 2a wide-txt", buffer);
    EXPECT_EQ(15u, position);
    // One byte left: nothing happens.
    EXPECT_EQ(0, AppendFormat(buffer, sizeof buffer, &position, "z"));
    EXPECT_EQ(15u, position);

    char small[8];
    memset(small, 'x', sizeof small);
    size_t at = 2;
    small[0] = 'a';
    small[1] = 'b';
    EXPECT_EQ(-1, AppendFormat(small, sizeof small, &at, "%s", "too long text"));
    EXPECT_EQ(7u, at);
    EXPECT_EQ(0, small[7]);
}

TEST(AppendFormat, WideFormCutsTheText)
{
    wchar_t buffer[8] = {};
    size_t position = 0;
    EXPECT_EQ(3, AppendFormatWide(buffer, 8, &position, L"%s", L"abc"));
    EXPECT_EQ(4, AppendFormatWide(buffer, 8, &position, L"%S", "defghij"));
    EXPECT_STREQ(L"abcdefg", buffer);
    EXPECT_EQ(7u, position);
    EXPECT_EQ(0, AppendFormatWide(buffer, 8, &position, L"x"));
}

TEST(FormatLastWindowsError, EnglishTextWithoutTrailingSpace)
{
    int length = FormatLastWindowsError(ERROR_FILE_NOT_FOUND);
    std::string text = LastWindowsErrorText();
    ASSERT_GT(length, 0);
    EXPECT_EQ(static_cast<size_t>(length), text.size());
    EXPECT_NE(std::string::npos, text.find("ile")) << text;
    EXPECT_FALSE(isspace(static_cast<unsigned char>(text.back())));
    EXPECT_EQ(0, FormatLastWindowsError(0x2FFFFFFF));
    EXPECT_STREQ("", LastWindowsErrorText());
}

TEST(UploaderCommandLine, QuotesBothPathsAndDropsTheTrailingSlash)
{
    wchar_t line[780];
    ASSERT_TRUE(BuildUploaderCommandLine(line, 780, L"C:\\Users\\John Smith\\Game\\Tools\\",
                                         L"C:\\Users\\John Smith\\AppData\\Local\\Vantorel\\Crashes\\2031.05.07.21.04.09/"));
    EXPECT_STREQ(L"\"C:\\Users\\John Smith\\Game\\Tools\\FaultCourier.exe\" "
                 L"\"C:\\Users\\John Smith\\AppData\\Local\\Vantorel\\Crashes\\2031.05.07.21.04.09\"",
                 line);
    std::vector<std::wstring> args = SplitCommandLine(line);
    ASSERT_EQ(2u, args.size());
    EXPECT_EQ(L"C:\\Users\\John Smith\\AppData\\Local\\Vantorel\\Crashes\\2031.05.07.21.04.09", args[1]);

    std::wstring longFolder(800, L'a');
    EXPECT_FALSE(BuildUploaderCommandLine(line, 780, L"C:\\Tools\\", longFolder.c_str()));
}

TEST(ClearFileAttributes, ClearsReadOnlyAndHidden)
{
    testing_support::TempDir dir;
    std::wstring file = dir / L"Launcher.log";
    ASSERT_TRUE(testing_support::WriteFileBytes(file, "log"));
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(ClearFileAttributes(file.c_str()));
    DWORD attributes = GetFileAttributesW(file.c_str());
    EXPECT_FALSE(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(ClearFileAttributes(file.c_str())); // nothing left to clear
    EXPECT_FALSE(ClearFileAttributes((dir / L"missing.log").c_str()));
}

TEST_F(HookRecorder, InvalidParameterPassesUtf8TextsAndTheLinesLowBits)
{
    InvalidParameterHandler(L"caf\u00e9 != 0", L"wcscpy_s", L"C:\\src\\string.c", 0x1000002Au, 0);
    ASSERT_EQ(1u, Recorded.size());
    EXPECT_EQ("caf\xC3\xA9 != 0", Recorded[0].expression);
    EXPECT_EQ("wcscpy_s", Recorded[0].function);
    EXPECT_EQ("C:\\src\\string.c", Recorded[0].file);
    EXPECT_EQ(0x2Au, Recorded[0].line);

    // Runtime reports without function or file, or with a negative line, are
    // not reported.
    InvalidParameterHandler(L"x", nullptr, L"f.c", 1, 0);
    InvalidParameterHandler(L"x", L"f", nullptr, 1, 0);
    InvalidParameterHandler(L"x", L"f", L"f.c", 0x80000000u, 0);
    EXPECT_EQ(1u, Recorded.size());
}

TEST_F(HookRecorder, PureCallNamesItself)
{
    PureCallHandler();
    ASSERT_EQ(1u, Recorded.size());
    EXPECT_EQ("Pure virtual function call", Recorded[0].expression);
    EXPECT_EQ("PureCallHandler", Recorded[0].function);
    EXPECT_NE(std::string::npos, Recorded[0].file.find("errorhandler")) << Recorded[0].file;
    EXPECT_EQ(839u, Recorded[0].line);
}

TEST_F(HookRecorder, DelayLoadFailureNamesTheLibraryAndKeepsItsError)
{
    EXPECT_EQ(&DelayLoadFailureHook, __pfnDliFailureHook2);

    DelayLoadInfo info = {};
    info.cb = sizeof info;
    info.szDll = "libvtcef.dll";
    info.dwLastError = ERROR_MOD_NOT_FOUND;
    EXPECT_EQ(nullptr, DelayLoadFailureHook(dliFailLoadLib, &info));
    info.dwLastError = ERROR_PROC_NOT_FOUND;
    EXPECT_EQ(nullptr, DelayLoadFailureHook(dliFailGetProc, &info));
    info.dwLastError = 0;
    SetLastError(1234);
    EXPECT_EQ(nullptr, DelayLoadFailureHook(dliNoteEndProcessing, &info));

    ASSERT_EQ(3u, Recorded.size());
    EXPECT_EQ("Error loading libvtcef.dll (Load failed)", Recorded[0].expression);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), Recorded[0].lastError);
    EXPECT_EQ("DelayLoadFailureHook", Recorded[0].function);
    EXPECT_EQ(875u, Recorded[0].line);
    EXPECT_EQ("Error loading libvtcef.dll (Proc missing)", Recorded[1].expression);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), Recorded[1].lastError);
    EXPECT_EQ("Error loading libvtcef.dll (Unknown Error)", Recorded[2].expression);
}

TEST(BuildCrashHeader, ListsTypeReasonAndThread)
{
    char header[8192] = {};
    BuildCrashHeader(header, "GPF");
    std::string text = header;
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring version;
    if (GetProductVersion(module, version))
        EXPECT_EQ(0u, text.find("Build label: VantorelPublic_Launcher " + ConvertToUtf8(version) +
                                " Retail Windows x64\n"));
    else
        EXPECT_EQ(0u, text.find("Crash type: Crash\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Crash type: Crash\nCrash reason: GPF\nCrashing thread id: "))
        << text;
    EXPECT_EQ('\n', text.back());
    EXPECT_EQ(std::string::npos, text.find('\r'));
}
