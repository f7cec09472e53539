// The plain pieces of the content update: the resume answer, the relaunch
// command line and the handles handed to the copy, the origin's scheme
// fallback, the disk shortfall text, the purge's folder and name rules and
// the pass result when the download threads cannot be handed their work.
#include "binaries/binaries_step.h"
#include "binaries/install_purge.h"
#include "command_line.h"
#include "content_range.h"
#include "copy_process.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log_capture.h"
#include "manifest.h"
#include "motd_buffer.h"
#include "relaunch.h"
#include "step_error.h"
#include "test_support.h"
#include "url_parts.h"

#include <gtest/gtest.h>

TEST(UpdatePieces, ContentRangeContinuesOnlyAtTheBytesReceived)
{
    ContentRange range;
    ASSERT_TRUE(ParseContentRange(L"bytes 100-199/200", range));
    EXPECT_EQ(range.first, 100);
    EXPECT_EQ(range.length, 200);
    EXPECT_TRUE(IsUsableContentRange(range, 100));
    EXPECT_FALSE(IsUsableContentRange(range, 50));
    EXPECT_FALSE(ParseContentRange(L"bytes */200", range));
    EXPECT_FALSE(ParseContentRange(L"items 1-2/3", range));
    EXPECT_FALSE(ParseContentRange(L"", range));
}

TEST(UpdatePieces, RelaunchCommandLineCarriesTheArguments)
{
    const std::wstring target = L"C:\\Local\\Tools\\Launcher.exe";
    EXPECT_EQ(BuildRelaunchCommandLine(target, L"\"C:\\Game\\Launcher.exe\" -dev"),
              L"\"C:\\Local\\Tools\\Launcher.exe\" -relaunched -dev");
    EXPECT_EQ(BuildRelaunchCommandLine(target, L"Launcher.exe -nocef -x"),
              L"\"C:\\Local\\Tools\\Launcher.exe\" -relaunched -nocef -x");
    EXPECT_EQ(BuildRelaunchCommandLine(target, L"\"C:\\No closing quote -dev"),
              L"\"C:\\Local\\Tools\\Launcher.exe\" -relaunched");
    std::wstring longArguments(3000, L'a');
    EXPECT_EQ(BuildRelaunchCommandLine(target, (L"x " + longArguments).c_str()).size(), 1023u);
}

TEST(UpdatePieces, AHeadlessCopyIsHandedEachKernelStandardHandleOnce)
{
    auto value = [](ULONG_PTR v) { return reinterpret_cast<HANDLE>(v); };
    // Kernel handles (Wine, Windows 8 and later), output and error shared.
    HANDLE kernel[3] = {value(0x40), value(0x44), value(0x44)};
    EXPECT_EQ(StandardHandlesToHandOn(kernel), (std::vector<HANDLE>{value(0x40), value(0x44)}));
    // A Windows 7 console: its handles end in binary 11 and are no kernel
    // handles; a redirected output still is one.
    HANDLE console[3] = {value(0x3), value(0x7), value(0xB)};
    EXPECT_TRUE(StandardHandlesToHandOn(console).empty());
    HANDLE redirected[3] = {value(0x3), value(0x1C8), value(0xB)};
    EXPECT_EQ(StandardHandlesToHandOn(redirected), (std::vector<HANDLE>{value(0x1C8)}));
    // None set.
    HANDLE none[3] = {nullptr, INVALID_HANDLE_VALUE, nullptr};
    EXPECT_TRUE(StandardHandlesToHandOn(none).empty());
}

TEST(UpdatePieces, OnlyAPlainHttpAddressFallsBackToTheOtherScheme)
{
    EXPECT_EQ(SchemeFallbackUrl(L"http://origin.example:8080/base"), L"https://origin.example:8080/base");
    EXPECT_EQ(SchemeFallbackUrl(L"HTTP://origin.example"), L"https://origin.example");
    EXPECT_EQ(SchemeFallbackUrl(L"https://origin.example"), L"");
    EXPECT_EQ(SchemeFallbackUrl(L"HTTPS://origin.example"), L"");
    EXPECT_EQ(SchemeFallbackUrl(L""), L"");
}

TEST(UpdatePieces, ShortfallIsShownInWholeMegabytesAtLeastOne)
{
    LoadLocalizationTable();
    EXPECT_NE(ShortfallText(10 * 1048576).find(L"(10 MB required)"), std::wstring::npos)
        << ShortfallText(10 * 1048576);
    EXPECT_NE(ShortfallText(524288).find(L"(1 MB required)"), std::wstring::npos);
    EXPECT_NE(ShortfallText(3 * 1048576 - 1).find(L"(2 MB required)"), std::wstring::npos);
}

TEST(UpdatePieces, PurgeRules)
{
    EXPECT_FALSE(IsPurgeableFolder(L""));
    EXPECT_FALSE(IsPurgeableFolder(L"Public"));
    EXPECT_FALSE(IsPurgeableFolder(L"C:\\"));
    EXPECT_FALSE(IsPurgeableFolder(L"C:"));
    EXPECT_FALSE(IsPurgeableFolder(L"\\Public"));
    EXPECT_FALSE(IsPurgeableFolder(L"\\\\server\\share\\"));
    EXPECT_TRUE(IsPurgeableFolder(L"C:\\Games\\Public"));
    EXPECT_TRUE(IsPurgeableFolder(L"\\\\server\\share\\Games"));

    const wchar_t* const patterns[] = {L"*.tmp", L"*shaderpermutationdx9*", nullptr};
    EXPECT_TRUE(MatchesAnyPattern(L"A.TMP", patterns));
    EXPECT_TRUE(MatchesAnyPattern(L"ShaderPermutationDX9_x.bin", patterns));
    EXPECT_FALSE(MatchesAnyPattern(L"a.tmpx", patterns));

    ManifestFileList = {{L"C:\\Games\\Public\\Data\\Listed.dat", L"", 1}};
    EXPECT_TRUE(IsKeptFile(L"c:\\games\\public\\data\\LISTED.DAT"));
    EXPECT_TRUE(IsKeptFile(L"C:\\Games\\Public\\x.LightMap.dat"));
    EXPECT_TRUE(IsKeptFile(L"C:\\Games\\Public\\unins000.dat"));
    EXPECT_FALSE(IsKeptFile(L"C:\\Games\\Public\\x.lightmap.dat"));
    ManifestFileList.clear();

    EXPECT_EQ(DoubleBackslashes(L"C:\\a\\\\b"), L"C:\\\\a\\\\\\\\b");
}

TEST(UpdatePieces, AFailedCompletionPortFailsThePassWithItsReason)
{
    LoadLocalizationTable();
    CreateStepErrorLock();
    SetStepError(L"", false);
    testing_support::TempDir dir;
    ReqBinaries step(PASS_CONTENT);
    step.InternetSession.Reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(step.InternetSession);
    ContentConnection connection; // each thread opens one before its first wait
    ASSERT_TRUE(step.OpenConnection(connection, SERVER_CONTENT, false));
    step.CompletionPort.Reset(); // as when it could not be created

    // A download thread whose wait takes nothing fails.
    EXPECT_EQ(ReqBinaries::DownloadThreadProc(&step), 0u);

    // The pass fails, says why and installs nothing.
    SetStepError(L"", false);
    DownloadQueue queue(1);
    queue[0].localPath = dir / L"a.bin";
    queue[0].remoteName = L"/a.bin.0123456789ABCDEF0123456789ABCDEF.bulk";
    queue[0].md5 = L"0123456789ABCDEF0123456789ABCDEF";
    queue[0].size = 10;
    EXPECT_FALSE(step.RunDownloads(queue));
    std::wstring error;
    bool fatal = true;
    GetStepError(error, fatal);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fatal);
    EXPECT_FALSE(testing_support::FileExists(dir / L"a.bin"));
    EXPECT_FALSE(testing_support::FileExists(dir / L"a.bin.tmp"));
}

TEST(UpdatePieces, AMessageOfTheDayOverItsLimitIsNotKept)
{
    // "-localmotd" reads the build share's message of the day.
    ASSERT_NE(GetFileAttributesW(L"S:\\"), INVALID_FILE_ATTRIBUTES) << "no drive S: (scripts/wine_env.sh)";
    for (const wchar_t* folder : {L"S:\\Korvessa", L"S:\\Korvessa\\Ornix", L"S:\\Korvessa\\Ornix\\Language"})
        CreateDirectoryW(folder, nullptr);
    const wchar_t path[] = L"S:\\Korvessa\\Ornix\\Language\\MOTD_en.rtf";
    SetCommandLineForTest(L"Launcher.exe -localmotd");
    int language = LanguageIndex;
    LanguageIndex = 0;
    ReqBinaries step(PASS_LAUNCHER);

    std::string large = "{\\rtf1 " + std::string(MOTD_MAX_BYTES, 'x') + "}";
    ASSERT_TRUE(testing_support::WriteFileBytes(path, large));
    testing_support::LogCapture log;
    MotdCacheLanguage = MOTD_NO_LANGUAGE;
    EXPECT_TRUE(step.FetchMotd());
    EXPECT_TRUE(MotdBuffer.empty());
    EXPECT_TRUE(log.Contains("The message of the day is not shown")) << log.Text();

    ASSERT_TRUE(testing_support::WriteFileBytes(path, "{\\rtf1 Welcome}"));
    MotdCacheLanguage = MOTD_NO_LANGUAGE;
    EXPECT_TRUE(step.FetchMotd());
    EXPECT_EQ(std::string(MotdBuffer.begin(), MotdBuffer.end()), "{\\rtf1 Welcome}");

    DeleteFileW(path);
    MotdBuffer.clear();
    MotdCacheLanguage = MOTD_NO_LANGUAGE;
    LanguageIndex = language;
    SetCommandLineForTest(nullptr);
}
