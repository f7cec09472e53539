#include "archive_entry.h"
#include "clusters.h"
#include "entry_applicability.h"
#include "launcher_settings.h"
#include "manifest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

const std::wstring kMd5 = L"0123456789ABCDEF0123456789ABCDEF";

ManifestParseContext TestContext()
{
    ManifestParseContext context;
    context.eulaName = L"/eula_fr";
    context.cbaName = L"/cba_fr";
    context.launcherRoot = L"C:\\Data\\Vantorel\\Downloaded\\Public";
    context.installRoot = L"D:\\Games\\Vantorel\\Public";
    return context;
}

class ManifestTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        EulaFilePath.clear();
        CbaFilePath.clear();
    }
    bool Parse(const std::wstring& line)
    {
        entry = ManifestEntry();
        return ParseManifestLine(context, entry, line);
    }
    ManifestParseContext context = TestContext();
    ManifestEntry entry;
};

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool Load(const std::string& text)
{
    return LoadManifestText(TestContext(), text.data(), text.size());
}

} // namespace

TEST_F(ManifestTest, LauncherLine)
{
    ASSERT_TRUE(Parse(L"/Tools/Launcher.exe." + kMd5 + L".lzma,123456"));
    EXPECT_EQ(entry.remoteName, L"/Tools/Launcher.exe." + kMd5 + L".lzma");
    EXPECT_EQ(entry.kind, ENTRY_LAUNCHER_FILE);
    EXPECT_EQ(entry.size, 123456);
    EXPECT_EQ(entry.md5, kMd5);
    EXPECT_EQ(entry.localPath, L"C:\\Data\\Vantorel\\Downloaded\\Public\\Tools\\Launcher.exe");
    EXPECT_EQ(entry.archive, nullptr);
}

TEST_F(ManifestTest, LauncherRootFollowsTheCluster)
{
    ResetLauncherSettingsForTest();
    ResetClusterInstallDirsForTest();
    DownloadFolder = L"C:\\G";
    ServerCluster = SC_PUBLIC;
    ManifestParseContext publicContext = MakeManifestParseContext(L"/eula_en", L"/cba_en");
    EXPECT_EQ(publicContext.installRoot, L"C:\\G\\Public");
    EXPECT_TRUE(EndsWith(publicContext.launcherRoot, L"\\Vantorel\\Downloaded\\Public"))
        << publicContext.launcherRoot;
    ServerCluster = SC_TEST;
    ManifestParseContext testContext = MakeManifestParseContext(L"/eula_en", L"/cba_en");
    EXPECT_EQ(testContext.installRoot, L"C:\\G\\Test");
    EXPECT_TRUE(EndsWith(testContext.launcherRoot, L"\\Vantorel\\Downloaded\\Test"))
        << testContext.launcherRoot;
    ResetLauncherSettingsForTest();
    ResetClusterInstallDirsForTest();
}

TEST_F(ManifestTest, MalformedLinesAreDropped)
{
    EXPECT_FALSE(Parse(L"/Data/a.bin." + kMd5.substr(1) + L".lzma,10")); // 31 characters
    EXPECT_FALSE(Parse(L"/Data/a.bin." + kMd5 + L"0.lzma,10"));          // 33 characters
    EXPECT_FALSE(Parse(L"/Data/a.bin." + kMd5.substr(0, 16) + L"." + kMd5.substr(17) + L".lzma,10"));
    EXPECT_FALSE(Parse(L"/Data/a.bin." + kMd5 + L".zip,10")); // no suffix
    EXPECT_FALSE(Parse(L"/Data/a.bin." + kMd5 + L".lzma"));   // no comma
    EXPECT_FALSE(Parse(L".lzma,10"));
    EXPECT_FALSE(Parse(L"." + kMd5 + L".lzma,10")); // no path
    EXPECT_TRUE(Parse(L"/Data/a.bin." + kMd5 + L".bulk,10"));
    EXPECT_EQ(entry.remoteName, L"/Data/a.bin." + kMd5 + L".bulk");
    EXPECT_EQ(entry.kind, ENTRY_CONTENT);
    EXPECT_EQ(entry.localPath, L"D:\\Games\\Vantorel\\Public\\Data\\a.bin");
}

TEST_F(ManifestTest, PathsThatLeaveTheInstallAreRefused)
{
    for (const wchar_t* path : {L"/../evil.dll",
                                L"/Data/../../evil.dll",
                                L"/Data/..",
                                L"/./a.bin",
                                L"/C:/Windows/evil.dll",
                                L"C:/Windows/evil.dll",
                                L"Data/a.bin",
                                L"//server/share/a.bin",
                                L"/Data\\..\\..\\a.bin",
                                L"\\Data\\a.bin",
                                L"/Data/a.bin:stream",
                                L"/Data/a.bin. ",
                                L"/Data/.../a.bin",
                                L"/Data/CON",
                                L"/Data/nul.txt",
                                L"/Data/com1.bin",
                                L"/Data/a?.bin",
                                L"/Data//a.bin",
                                L"/Data/a\tb.bin",
                                L" /Data/a.bin"}) {
        EXPECT_FALSE(Parse(std::wstring(path) + L"." + kMd5 + L".lzma,10")) << path;
    }
    EXPECT_TRUE(Parse(L"/Data/con2.bin." + kMd5 + L".lzma,10"));
    EXPECT_TRUE(Parse(L"/Data/..hidden/a b.bin." + kMd5 + L".lzma,10"));

    // No folder known: the path alone would be relative to a drive's root.
    context.installRoot.clear();
    EXPECT_FALSE(Parse(L"/Data/a.bin." + kMd5 + L".lzma,10"));
    EXPECT_TRUE(Parse(L"/Tools/Launcher.exe." + kMd5 + L".lzma,10"));
}

TEST_F(ManifestTest, Sizes)
{
    ASSERT_TRUE(Parse(L"/a.bin." + kMd5 + L".lzma,9223372036854775807"));
    EXPECT_EQ(entry.size, INT64_MAX);
    EXPECT_FALSE(Parse(L"/a.bin." + kMd5 + L".lzma,9223372036854775808"));
    EXPECT_FALSE(Parse(L"/a.bin." + kMd5 + L".lzma,99999999999999999999999"));
    ASSERT_TRUE(Parse(L"/a.bin." + kMd5 + L".lzma,12abc"));
    EXPECT_EQ(entry.size, 12);
    ASSERT_TRUE(Parse(L"/a.bin." + kMd5 + L".lzma,"));
    EXPECT_EQ(entry.size, 0);
    ASSERT_TRUE(Parse(L"/a.bin." + kMd5 + L".lzma,-5"));
    EXPECT_EQ(entry.size, 0);
}

TEST_F(ManifestTest, Classification)
{
    ASSERT_TRUE(Parse(L"/TOOLS/LAUNCHER.EXE." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_LAUNCHER_FILE);
    EXPECT_EQ(entry.localPath, L"C:\\Data\\Vantorel\\Downloaded\\Public\\TOOLS\\LAUNCHER.EXE");
    ASSERT_TRUE(Parse(L"/tools/cef3_1/V5/libcef.dll." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_LAUNCHER_FILE);
    ASSERT_TRUE(Parse(L"/Tools/Launcher.exe.config." + kMd5 + L".lzma,1")); // prefix match only
    EXPECT_EQ(entry.kind, ENTRY_LAUNCHER_FILE);
    // A Steam file is a launcher file but lives in the install.
    ASSERT_TRUE(Parse(L"/Bin/SteamAPI/steam_api64.dll." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_LAUNCHER_FILE);
    EXPECT_EQ(entry.localPath, L"D:\\Games\\Vantorel\\Public\\Bin\\SteamAPI\\steam_api64.dll");

    // Only the first EULA and CBA of the language are agreements.
    ASSERT_TRUE(Parse(L"/Docs/EULA_fr.rtf." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_AGREEMENT);
    EXPECT_EQ(EulaFilePath, L"D:\\Games\\Vantorel\\Public\\Docs\\EULA_fr.rtf");
    EXPECT_EQ(EulaFileHash, kMd5);
    ASSERT_TRUE(Parse(L"/Docs/eula_fr.toc." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_CACHE);
    ASSERT_TRUE(Parse(L"/Docs/eula_fr_old.rtf." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_CONTENT);
    ASSERT_TRUE(Parse(L"/Docs/cba_fr.rtf." + kMd5 + L".bulk,1"));
    EXPECT_EQ(entry.kind, ENTRY_AGREEMENT);
    EXPECT_EQ(CbaFilePath, L"D:\\Games\\Vantorel\\Public\\Docs\\cba_fr.rtf");
    ASSERT_TRUE(Parse(L"/Docs/eula_de.rtf." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_CONTENT);

    // Cache entries by name, not by folder.
    ASSERT_TRUE(Parse(L"/Cache.Windows/shaders.bin." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_CONTENT);
    ASSERT_TRUE(Parse(L"/Cache.Windows/world.cache." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_CACHE);
    ASSERT_TRUE(Parse(L"/Cache.Windows/world.TOC." + kMd5 + L".lzma,1"));
    EXPECT_EQ(entry.kind, ENTRY_CACHE);
}

TEST(ManifestText, LinesTrimmingAndFileList)
{
    EulaFilePath.clear();
    CbaFilePath.clear();
    std::string md5 = "0123456789ABCDEF0123456789ABCDEF";
    std::string text = "/Data/b.bin." + md5 + ".lzma,20\r\n" + "\n\n   \t\r\n" + "/Cache.Windows/a.toc." +
                       md5 + ".lzma,5 \t\r\n" + "garbage line\n" + "/Data/bad" + std::string(1, '\0') +
                       "x.bin." + md5 + ".lzma,3\n" + "/Tools/Launcher.exe." + md5 + ".lzma,7\n" +
                       "/Data/a.bin." + md5 + ".bulk,30" + std::string(2, '\0');
    ASSERT_TRUE(Load(text));
    ASSERT_EQ(ManifestEntries.size(), 4u);
    // By kind, each kind in manifest order.
    EXPECT_EQ(ManifestEntries[0].remoteName, L"/Tools/Launcher.exe." + kMd5 + L".lzma");
    EXPECT_EQ(ManifestEntries[1].remoteName, L"/Data/b.bin." + kMd5 + L".lzma");
    EXPECT_EQ(ManifestEntries[2].remoteName, L"/Data/a.bin." + kMd5 + L".bulk");
    EXPECT_EQ(ManifestEntries[3].remoteName, L"/Cache.Windows/a.toc." + kMd5 + L".lzma");
    EXPECT_EQ(ManifestEntries[3].size, 5);
    EXPECT_EQ(ManifestEntries[2].size, 30);
    ASSERT_EQ(ManifestFileList.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ManifestFileList[i].localPath, ManifestEntries[i].localPath);
        EXPECT_EQ(ManifestFileList[i].md5, ManifestEntries[i].md5);
        EXPECT_EQ(ManifestFileList[i].size, ManifestEntries[i].size);
    }
}

TEST(ManifestText, NothingValidFails)
{
    EXPECT_FALSE(Load("no entries\nat all\n"));
    EXPECT_TRUE(ManifestEntries.empty());
    EXPECT_TRUE(ManifestFileList.empty());
    EXPECT_FALSE(Load(""));
}

TEST(ManifestSort, KindThenArchiveAddress)
{
    ArchiveEntry early{100, 1};
    ArchiveEntry late{900, 1};
    ManifestList list(6);
    const ManifestEntryKind kinds[] = {ENTRY_CACHE,   ENTRY_CONTENT,       ENTRY_CONTENT,
                                       ENTRY_CONTENT, ENTRY_LAUNCHER_FILE, ENTRY_CONTENT};
    const ArchiveEntry* archives[] = {nullptr, nullptr, &late, nullptr, nullptr, &early};
    for (size_t i = 0; i < list.size(); ++i) {
        list[i].remoteName = std::to_wstring(i);
        list[i].kind = kinds[i];
        list[i].archive = archives[i];
    }
    SortManifestEntries(list);
    std::wstring order;
    for (const auto& e : list)
        order += e.remoteName;
    EXPECT_EQ(order, L"452130");
}

TEST(ManifestName, FreshNumberPerFetch)
{
    srand(7);
    std::wstring first = MakeManifestObjectName();
    std::wstring second = MakeManifestObjectName();
    srand(7);
    EXPECT_EQ(MakeManifestObjectName(), first);
    EXPECT_NE(first, second);
    ASSERT_EQ(first.size(), 31u);
    EXPECT_EQ(first.substr(0, 8), L"/origin/");
    EXPECT_EQ(first.substr(16), L"/index.txt.lzma");
    for (wchar_t c : first.substr(8, 8))
        EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F')) << static_cast<int>(c);
}

TEST(Applicability, SteamGraphicsAndLanguage)
{
    ApplicabilityContext c;
    c.languageCode = L"fr";
    const std::wstring m = L"." + kMd5 + L".lzma";

    EXPECT_FALSE(IsEntryApplicableTo(L"/Bin/Steam/x.dll" + m, c));
    c.steamBuild = true;
    EXPECT_TRUE(IsEntryApplicableTo(L"/Bin/Steam/x.dll" + m, c));

    for (int api : {0, 1, 2}) {
        c.graphicsApi = api;
        EXPECT_EQ(IsEntryApplicableTo(L"/Cache.Windows/shadersdx10.toc" + m, c), api == 0) << api;
        EXPECT_EQ(IsEntryApplicableTo(L"/Cache.Windows/shadersDX10.cache" + m, c), api == 0) << api;
        EXPECT_EQ(IsEntryApplicableTo(L"/Cache.Windows/shadersdx11.toc" + m, c), api != 0) << api;
        EXPECT_EQ(IsEntryApplicableTo(L"/Cache.Windows/shadersdx11.cache" + m, c), api != 0) << api;
    }
    c.graphicsApi = 7;
    EXPECT_FALSE(IsEntryApplicableTo(L"/Cache.Windows/shadersdx11.cache" + m, c));

    c.graphicsApi = 1;
    EXPECT_TRUE(IsEntryApplicableTo(L"/Cache.Windows/strings_fr.toc" + m, c));
    EXPECT_TRUE(IsEntryApplicableTo(L"/Cache.Windows/Strings_FR.toc" + m + L",55", c));
    EXPECT_FALSE(IsEntryApplicableTo(L"/Cache.Windows/strings_de.toc" + m, c));
    EXPECT_FALSE(IsEntryApplicableTo(L"/Cache.Windows/strings_de.cache" + m, c));
    EXPECT_FALSE(IsEntryApplicableTo(L"/Docs/eula_de.rtf." + kMd5 + L".bulk", c));
    EXPECT_TRUE(IsEntryApplicableTo(L"/Cache.Windows/strings_xx.toc" + m, c));
    EXPECT_TRUE(IsEntryApplicableTo(L"/Cache.Windows/stringsde.toc" + m, c)); // no "_"
    EXPECT_TRUE(IsEntryApplicableTo(L"/Data/strings_de.bin" + m, c));         // other extension
    EXPECT_FALSE(IsEntryApplicableTo(L"/Data/a_de.toc" + m, c));
    c.languageCode.clear();
    EXPECT_TRUE(IsEntryApplicableTo(L"/Cache.Windows/strings_de.toc" + m, c));
}

TEST(Applicability, CurrentSettings)
{
    ResetLauncherSettingsForTest();
    const std::wstring m = L"." + kMd5 + L".lzma";
    GraphicsAPI = 0;
    LanguageIndex = LanguageIndexFromCode(L"fr");
    SteamBuild = false;
    EXPECT_TRUE(IsManifestEntryApplicable(L"/Cache.Windows/a_fr.toc" + m));
    EXPECT_FALSE(IsManifestEntryApplicable(L"/Cache.Windows/a_de.toc" + m));
    EXPECT_TRUE(IsManifestEntryApplicable(L"/Cache.Windows/shadersdx10.cache" + m));
    EXPECT_FALSE(IsManifestEntryApplicable(L"/Cache.Windows/shadersdx11.cache" + m));
    EXPECT_FALSE(IsManifestEntryApplicable(L"/Bin/steam/a.dll" + m));
    SteamBuild = true;
    EXPECT_TRUE(IsManifestEntryApplicable(L"/Bin/steam/a.dll" + m));
    SteamBuild = false;
    ResetLauncherSettingsForTest();
}
