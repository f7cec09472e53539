// The bounded string helpers at their limits, the path helpers and UTF-8.
#include "strings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(BoundedStrings, CopyAppendAndFormatStayTerminated)
{
    wchar_t buffer[16];
    EXPECT_EQ(CopyString(buffer, 4, L"abcdef"), 3u);
    EXPECT_STREQ(buffer, L"abc");
    buffer[0] = L'z';
    EXPECT_EQ(CopyString(buffer, 1, L"abc"), 0u);
    EXPECT_EQ(buffer[0], 0);
    buffer[0] = L'z';
    EXPECT_EQ(CopyString(buffer, 0, L"abc"), 0u);
    EXPECT_EQ(buffer[0], L'z');

    CopyString(buffer, 16, L"abc");
    EXPECT_EQ(AppendString(buffer, 5, L"def"), 4u);
    EXPECT_STREQ(buffer, L"abcd");

    CopyString(buffer, 16, L"keep");
    EXPECT_EQ(FormatString(buffer, 1, L"%s", L"x"), 0u);
    EXPECT_STREQ(buffer, L"keep");
    EXPECT_EQ(FormatString(buffer, 16, L""), 0u);
    EXPECT_EQ(FormatString(buffer, 16, L"%s-%S-%d", L"w", "n", 7), 5u);
    EXPECT_STREQ(buffer, L"w-n-7");
    EXPECT_EQ(FormatString(buffer, 6, L"%s", L"abcdefgh"), 5u);
    EXPECT_STREQ(buffer, L"abcde");
}

TEST(BoundedStrings, NumbersWithCommas)
{
    wchar_t buffer[32];
    struct Case {
        long long value;
        const wchar_t* text;
    } cases[] = {{999, L"999"}, {-1234, L"-1,234"}, {INT64_MIN, L"-9,223,372,036,854,775,808"}};
    for (const auto& c : cases) {
        EXPECT_EQ(FormatNumberWithCommas(buffer, 32, c.value), wcslen(c.text));
        EXPECT_STREQ(buffer, c.text);
    }
    CopyString(buffer, 32, L"same");
    EXPECT_EQ(FormatNumberWithCommas(buffer, 9, 1000000), 0u);
    EXPECT_STREQ(buffer, L"same");
    EXPECT_EQ(FormatNumberWithCommas(buffer, 10, 1000000), 9u);
    EXPECT_STREQ(buffer, L"1,000,000");
}

TEST(PathParts, NamesExtensionsAndFolders)
{
    EXPECT_STREQ(GetFileNamePart(L"C:\\a\\b.txt"), L"b.txt");
    EXPECT_STREQ(GetFileNamePart(L"C:\\a\\"), L"");
    EXPECT_STREQ(GetFileNamePart(L"C:/a/b"), L"b");
    EXPECT_STREQ(GetExtensionPart(L"C:\\a.b\\c"), L"");
    EXPECT_STREQ(GetExtensionPart(L"C:\\a\\c.tar.gz"), L".gz");

    wchar_t out[MAX_PATH];
    EXPECT_EQ(CopyDirectoryPart(out, L"C:\\a\\b.txt"), 4u);
    EXPECT_STREQ(out, L"C:\\a");
    EXPECT_EQ(CopyDirectoryPart(out, L"b.txt"), 0u);
    EXPECT_STREQ(out, L"");
    EXPECT_EQ(CopyPathWithoutExtension(out, L"C:\\a\\c.tar.gz"), 10u);
    EXPECT_STREQ(out, L"C:\\a\\c.tar");
    // A name that is nothing but an extension leaves nothing.
    EXPECT_EQ(CopyPathWithoutExtension(out, L".cpy"), 0u);
    EXPECT_STREQ(out, L"");

    // A path with no terminator within MAX_PATH is left alone.
    std::wstring endless(400, L'x');
    endless[10] = L'\\';
    EXPECT_EQ(GetFileNamePart(endless.c_str()), endless.c_str());
    EXPECT_EQ(CopyDirectoryPart(out, endless.c_str()), 10u);

    wchar_t lower[] = L"C:\\Games\\VANTOREL.EXE";
    ToLowerPath(lower);
    EXPECT_STREQ(lower, L"c:\\games\\vantorel.exe");
}

TEST(PathParts, Wildcards)
{
    EXPECT_TRUE(WildcardMatch(L"*.cpy", L"libcef.dll.cpy"));
    EXPECT_TRUE(WildcardMatch(L"a?c", L"abc"));
    EXPECT_FALSE(WildcardMatch(L"a?c", L"ac"));
    EXPECT_TRUE(WildcardMatch(L"*", L""));
    EXPECT_TRUE(WildcardMatch(L"*a*b", L"xxaxxab"));
    EXPECT_FALSE(WildcardMatch(L"A*", L"abc"));
    EXPECT_FALSE(WildcardMatch(L"", L"a"));
}

TEST(Utf8, WholeStringsBothWays)
{
    EXPECT_EQ(ConvertToUtf8(L"\x00e9"), "\xC3\xA9");
    EXPECT_EQ(ConvertToUtf8(L""), "");
    EXPECT_EQ(ConvertFromUtf8("caf\xC3\xA9"), L"caf\x00e9");
    EXPECT_EQ(ConvertFromUtf8(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    EXPECT_EQ(ConvertFromUtf8("\xFF"), L"\xFFFD");
}

TEST(Versions, SystemLibraryHasAFileVersion)
{
    FileVersion version;
    ASSERT_TRUE(GetModuleFileVersion(version));
    EXPECT_GE(version.major, 5);
    std::wstring product;
    EXPECT_FALSE(GetProductVersion(L"Z:\\no\\such\\file.exe", product));
    EXPECT_TRUE(product.empty());
}
