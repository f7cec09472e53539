// SettingsStore and LauncherSettings against the real registry of the Wine
// prefix, and the command-line option lookups they depend on.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "clusters.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "settings_store.h"
#include "test_support.h"

using testing_support::TempDir;

namespace {

const wchar_t LAUNCHER_KEY[] = L"Software\\Zethrane\\Vantorel\\Launcher";
const wchar_t STEAM_KEY[] = L"Software\\Zethrane\\Vantorel\\SteamLauncher";

enum Language { EN = 0, FR = 1, DE = 3, RU = 6, ZH = 11, TC = 12, KO = 13 };

// Raw registry access, to store values the launcher itself never writes.
void SetRaw(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY handle = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
        ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(handle);
}

void SetDword(const wchar_t* key, const wchar_t* name, DWORD value)
{
    SetRaw(key, name, REG_DWORD, &value, sizeof(value));
}

void SetText(const wchar_t* key, const wchar_t* name, const std::wstring& text)
{
    SetRaw(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

bool ValueExists(const wchar_t* key, const wchar_t* name)
{
    return RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zethrane");
        RunWith(L"Launcher.exe");
    }
    void TearDown() override
    {
        SetCommandLineForTest(nullptr);
        ResetSettingsKeyPathForTest();
        ResetLauncherSettingsForTest();
        ResetClusterInstallDirsForTest();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zethrane");
    }
    // A fresh start with this command line: English is always installed.
    void RunWith(const wchar_t* commandLine)
    {
        SetCommandLineForTest(commandLine);
        ResetSettingsKeyPathForTest();
        ResetLauncherSettingsForTest();
        InstalledLanguages[EN] = true;
    }
    void Start()
    {
        DetermineClusterAccess();
        LoadSettings();
    }
};

TEST_F(SettingsTest, OptionsAreSubstringsOfTheWholeCommandLine)
{
    SetCommandLineForTest(L"\"C:\\x\\Launcher.exe\" -dedicated:2,cfg -registry:Steam");
    EXPECT_TRUE(HasOption(L"-dedicated"));
    EXPECT_TRUE(HasOption(L"-ded"));
    EXPECT_FALSE(HasOption(L"-DEDICATED"));
    EXPECT_STREQ(FindOptionValue(L"-dedicated:"), L"2,cfg -registry:Steam");
    EXPECT_EQ(FindOptionValue(L"-nocef"), nullptr);
    std::wstring word = L"old";
    EXPECT_TRUE(GetOptionWord(L"-registry:", word));
    EXPECT_EQ(word, L"Steam");
    EXPECT_FALSE(GetOptionWord(L"-cluster:", word));
    EXPECT_EQ(word, L"");
}

TEST_F(SettingsTest, DwordsOfTheWrongTypeOrSizeGiveTheDefault)
{
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"Missing", 7u), 7u);
    WriteSettingDword(SCOPE_LAUNCHER, L"Good", 0xFFFFFFFF);
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"Good", 7), 0xFFFFFFFFu);

    const DWORD four = 4;
    const unsigned long long eight = 4;
    const WORD two = 4;
    SetRaw(LAUNCHER_KEY, L"Binary", REG_BINARY, &four, 4);
    SetRaw(LAUNCHER_KEY, L"Qword", REG_QWORD, &eight, 8);
    SetRaw(LAUNCHER_KEY, L"Short", REG_DWORD, &two, 2);
    SetRaw(LAUNCHER_KEY, L"Long", REG_DWORD, &eight, 8);
    SetText(LAUNCHER_KEY, L"Text", L"4");
    for (const wchar_t* name : {L"Binary", L"Qword", L"Short", L"Long", L"Text"})
        EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, name, 7), 7u) << name;
    EXPECT_TRUE(ReadSettingFlag(SCOPE_LAUNCHER, L"Short", true));
    EXPECT_FALSE(ReadSettingFlag(SCOPE_LAUNCHER, L"Binary", false));
}

TEST_F(SettingsTest, StringsAreTerminatedOrEmpty)
{
    wchar_t buffer[16];
    wmemset(buffer, L'x', 16);
    ReadSettingString(SCOPE_LAUNCHER, buffer, 16, L"Missing");
    EXPECT_STREQ(buffer, L"");

    EXPECT_EQ(WriteSettingString(SCOPE_LAUNCHER, L"Fits", L"123456789012345"), 0);
    ReadSettingString(SCOPE_LAUNCHER, buffer, 16, L"Fits");
    EXPECT_STREQ(buffer, L"123456789012345");

    // One character too many for the terminator, a long text, another type.
    WriteSettingString(SCOPE_LAUNCHER, L"TooLong", L"1234567890123456");
    SetText(LAUNCHER_KEY, L"Huge", std::wstring(5000, L'h'));
    SetRaw(LAUNCHER_KEY, L"Expand", REG_EXPAND_SZ, L"de", 6);
    for (const wchar_t* name : {L"TooLong", L"Huge", L"Expand"}) {
        wmemset(buffer, L'x', 16);
        ReadSettingString(SCOPE_LAUNCHER, buffer, 16, name);
        EXPECT_STREQ(buffer, L"") << name;
    }

    // Stored without a terminator: taken when there is room to add one.
    SetRaw(LAUNCHER_KEY, L"Bare", REG_SZ, L"abc", 6);
    SetRaw(LAUNCHER_KEY, L"BareFull", REG_SZ, L"0123456789abcdef", 32);
    SetRaw(LAUNCHER_KEY, L"Odd", REG_SZ, L"ab", 3);
    wmemset(buffer, L'x', 16);
    ReadSettingString(SCOPE_LAUNCHER, buffer, 16, L"Bare");
    EXPECT_STREQ(buffer, L"abc");
    ReadSettingString(SCOPE_LAUNCHER, buffer, 16, L"BareFull");
    EXPECT_STREQ(buffer, L"");
    ReadSettingString(SCOPE_LAUNCHER, buffer, 16, L"Odd");
    EXPECT_EQ(buffer[0], L'a');
    EXPECT_LT(wcslen(buffer), 16u);
}

TEST_F(SettingsTest, ClientTypeKeepsItsValuesApart)
{
    RunWith(L"Launcher.exe -registry:Steam -dev");
    EXPECT_STREQ(GetSettingsKeyPath(SCOPE_CLIENT_TYPE), STEAM_KEY);
    EXPECT_EQ(ClientType, L"Steam");
    EXPECT_STREQ(GetSettingsKeyPath(SCOPE_LAUNCHER), LAUNCHER_KEY);

    SetDword(LAUNCHER_KEY, L"EnableFullScreen", 1);
    SetDword(LAUNCHER_KEY, L"ServerCluster", 2);
    SetDword(STEAM_KEY, L"ServerCluster", 1);
    SetDword(STEAM_KEY, L"EnableDeferred", 1);
    Start();
    EXPECT_TRUE(EnableFullScreen);
    EXPECT_FALSE(EnableDeferred);
    EXPECT_EQ(ServerCluster, SC_TEST);

    // Writes follow the same split; deletions always hit the common key.
    SaveSettings();
    EXPECT_TRUE(ValueExists(LAUNCHER_KEY, L"Language"));
    EXPECT_FALSE(ValueExists(STEAM_KEY, L"Language"));
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"ServerCluster", 9), 2u);
    DeleteSetting(L"EnableDeferred");
    EXPECT_TRUE(ValueExists(STEAM_KEY, L"EnableDeferred"));
}

TEST_F(SettingsTest, BlankAfterRegistryOptionMeansNoClientType)
{
    RunWith(L"Launcher.exe -registry: -dev");
    EXPECT_STREQ(GetSettingsKeyPath(SCOPE_CLIENT_TYPE), LAUNCHER_KEY);
    EXPECT_EQ(ClientType, L"");

    RunWith(L"Launcher.exe -registry:Steam");
    EXPECT_STREQ(GetSettingsKeyPath(SCOPE_CLIENT_TYPE), STEAM_KEY);

    // A client type too long for a key: bounded path, reads give defaults.
    std::wstring commandLine = L"Launcher.exe -registry:" + std::wstring(3000, L'S');
    RunWith(commandLine.c_str());
    EXPECT_EQ(wcslen(GetSettingsKeyPath(SCOPE_CLIENT_TYPE)), 1023u);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", 1);
    EXPECT_EQ(ReadSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", 3), 3u);
    EXPECT_NE(WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", L"C:\\"), 0);
}

TEST_F(SettingsTest, EmptyRegistryGivesTheDefaults)
{
    Start();
    EXPECT_FALSE(EnableFullScreen);
    EXPECT_EQ(GraphicsAPI, 1);
    EXPECT_TRUE(EnableBulkDownload);
    EXPECT_TRUE(EnableAggressiveDownload);
    EXPECT_TRUE(LauncherGPU);
    EXPECT_TRUE(EnableMTRendering);
    EXPECT_FALSE(EnableDeferred);
    EXPECT_EQ(ServerCluster, SC_PUBLIC);
    EXPECT_EQ(LanguageIndex, EN); // only English is installed here
    EXPECT_EQ(DownloadFolder, L"");
    EXPECT_FALSE(SingleClusterMode);
    EXPECT_EQ(ClusterAccessLevel, 0);
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"UpdateVersion", 0), 22u);
}

TEST_F(SettingsTest, MigrationRunsOnceForVersion22)
{
    SetDword(LAUNCHER_KEY, L"UpdateVersion", 21);
    SetDword(LAUNCHER_KEY, L"EnableMTRendering", 0);
    SetDword(LAUNCHER_KEY, L"EnableDirectX10", 1);
    SetDword(LAUNCHER_KEY, L"EnableDirectX11", 1);
    SetDword(LAUNCHER_KEY, L"EnableThreadedRendering", 0);
    Start();
    EXPECT_TRUE(EnableMTRendering);
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"UpdateVersion", 0), 22u);
    for (const wchar_t* name :
         {L"EnableMTRendering", L"EnableDirectX10", L"EnableDirectX11", L"EnableThreadedRendering"})
        EXPECT_FALSE(ValueExists(LAUNCHER_KEY, name)) << name;

    // At version 22 the stored choice stays; the old names go at every start.
    SetDword(LAUNCHER_KEY, L"EnableMTRendering", 0);
    SetDword(LAUNCHER_KEY, L"EnableMultithreadedRendering", 1);
    RunWith(L"Launcher.exe");
    Start();
    EXPECT_FALSE(EnableMTRendering);
    EXPECT_FALSE(ValueExists(LAUNCHER_KEY, L"EnableMultithreadedRendering"));
}

TEST_F(SettingsTest, StoredClusterNeedsAccess)
{
    SetDword(LAUNCHER_KEY, L"ServerCluster", 2);
    SetDword(LAUNCHER_KEY, L"EnableTestCluster", 1);
    Start();
    EXPECT_EQ(ClusterAccessLevel, 1);
    EXPECT_EQ(ServerCluster, SC_PUBLIC);

    RunWith(L"Launcher.exe -dev");
    Start();
    EXPECT_EQ(ClusterAccessLevel, 2);
    EXPECT_EQ(ServerCluster, SC_DEV);

    SetDword(LAUNCHER_KEY, L"ServerCluster", 1);
    RunWith(L"Launcher.exe");
    Start();
    EXPECT_EQ(ServerCluster, SC_TEST);

    // Out of range, negative or not a number: the public cluster.
    SetDword(LAUNCHER_KEY, L"ServerCluster", 0xFFFFFFFF);
    RunWith(L"Launcher.exe -dev");
    Start();
    EXPECT_EQ(ServerCluster, SC_PUBLIC);
    SetText(LAUNCHER_KEY, L"ServerCluster", L"2");
    RunWith(L"Launcher.exe -dev");
    Start();
    EXPECT_EQ(ServerCluster, SC_PUBLIC);
}

TEST_F(SettingsTest, ClusterOptionOverridesRegistryAndDevControls)
{
    SetDword(LAUNCHER_KEY, L"ServerCluster", 2);
    SetDword(LAUNCHER_KEY, L"EnableTestCluster", 1);
    RunWith(L"Launcher.exe -dev -cluster:Test");
    Start();
    EXPECT_TRUE(SingleClusterMode);
    EXPECT_EQ(ClusterAccessLevel, 0);
    EXPECT_EQ(ServerCluster, SC_TEST);

    EXPECT_EQ(ClusterFromOption(L"DEVELOPMENT"), SC_DEV);
    EXPECT_EQ(ClusterFromOption(L"tEsT2 -x"), SC_TEST);
    EXPECT_EQ(ClusterFromOption(L"te"), SC_PUBLIC);
    EXPECT_EQ(ClusterFromOption(L""), SC_PUBLIC);
    EXPECT_EQ(ClusterFromOption(L"live"), SC_PUBLIC);
}

TEST_F(SettingsTest, LanguageChoiceFallsBackToSystemThenEnglish)
{
    bool all[LANGUAGE_COUNT];
    bool englishOnly[LANGUAGE_COUNT] = {true};
    for (bool& flag : all)
        flag = true;
    const LANGID german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    EXPECT_EQ(ChooseLanguageIndex(L"tc", german, all), TC);
    EXPECT_EQ(ChooseLanguageIndex(L"de", german, englishOnly), EN);
    EXPECT_EQ(ChooseLanguageIndex(L"DE", MAKELANGID(LANG_RUSSIAN, 1), all), RU);
    EXPECT_EQ(ChooseLanguageIndex(L"", MAKELANGID(LANG_KOREAN, 1), all), KO);
    EXPECT_EQ(ChooseLanguageIndex(L"xx", MAKELANGID(LANG_GREEK, 1), all), EN);
    // Both Chinese system languages give zh; tc is never chosen that way.
    EXPECT_EQ(ChooseLanguageIndex(L"", 0x0404, all), ZH);
    EXPECT_EQ(ChooseLanguageIndex(L"", 0x0804, all), ZH);
    EXPECT_EQ(ChooseLanguageIndex(L"", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN), all), FR);
    EXPECT_EQ(LanguageIndexFromCode(L"en "), -1);
}

TEST_F(SettingsTest, StoredLanguageNeedsItsGroup)
{
    SetText(LAUNCHER_KEY, L"Language", L"de");
    Start();
    EXPECT_EQ(LanguageIndex, EN);

    RunWith(L"Launcher.exe");
    InstalledLanguages[DE] = true;
    Start();
    EXPECT_EQ(LanguageIndex, DE);

    // Upper case, over-long or not a string: the system language.
    const int system = LanguageIndexFromLangId(GetUserDefaultLangID());
    const DWORD number = 3;
    for (int variant = 0; variant < 3; ++variant) {
        if (variant == 0)
            SetText(LAUNCHER_KEY, L"Language", L"DE");
        else if (variant == 1)
            SetText(LAUNCHER_KEY, L"Language", L"de" + std::wstring(20, L' '));
        else
            SetRaw(LAUNCHER_KEY, L"Language", REG_DWORD, &number, 4);
        RunWith(L"Launcher.exe");
        for (bool& flag : InstalledLanguages)
            flag = true;
        Start();
        EXPECT_EQ(LanguageIndex, system) << variant;
    }
}

TEST_F(SettingsTest, DownloadDirMustNameAFolder)
{
    TempDir dir;
    // A folder whose path is exactly 200 characters is taken whole.
    std::wstring longFolder = dir.path() + L"\\";
    longFolder += std::wstring(200 - longFolder.size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    SetText(LAUNCHER_KEY, L"DownloadDir", longFolder);
    Start();
    EXPECT_EQ(DownloadFolder, longFolder);

    std::wstring file = dir / L"file.txt";
    ASSERT_TRUE(testing_support::WriteFileBytes(file, "x"));
    for (const std::wstring& bad : {file, dir / L"missing", std::wstring(300, L'C')}) {
        SetText(LAUNCHER_KEY, L"DownloadDir", bad);
        RunWith(L"Launcher.exe");
        Start();
        EXPECT_EQ(DownloadFolder, L"") << bad.size();
    }

    // The client type's own value is the one read.
    SetText(STEAM_KEY, L"DownloadDir", dir.path());
    RunWith(L"Launcher.exe -registry:Steam");
    Start();
    EXPECT_EQ(DownloadFolder, dir.path());
}

TEST_F(SettingsTest, SaveWritesWhatLoadReads)
{
    Start();
    EnableFullScreen = true;
    GraphicsAPI = 7;
    EnableBulkDownload = false;
    EnableAggressiveDownload = false;
    LauncherGPU = false;
    EnableMTRendering = false;
    EnableDeferred = true;
    ServerCluster = SC_PUBLIC;
    LanguageIndex = KO;
    DownloadFolder = L"C:\\NotWritten";
    SaveSettings();

    EXPECT_FALSE(ValueExists(LAUNCHER_KEY, L"DownloadDir"));
    wchar_t text[MAX_PATH];
    ReadSettingString(SCOPE_LAUNCHER, text, MAX_PATH, L"LauncherExe");
    std::wstring exe = text;
    const std::wstring tail = L"\\Vantorel\\Downloaded\\Public\\Tools\\Launcher.exe";
    ASSERT_GT(exe.size(), tail.size());
    EXPECT_EQ(exe.substr(exe.size() - tail.size()), tail);

    RunWith(L"Launcher.exe");
    for (bool& flag : InstalledLanguages)
        flag = true;
    Start();
    EXPECT_TRUE(EnableFullScreen);
    EXPECT_EQ(GraphicsAPI, 7);
    EXPECT_FALSE(EnableBulkDownload);
    EXPECT_FALSE(EnableAggressiveDownload);
    EXPECT_FALSE(LauncherGPU);
    EXPECT_FALSE(EnableMTRendering);
    EXPECT_TRUE(EnableDeferred);
    EXPECT_EQ(LanguageIndex, KO);
    EXPECT_EQ(DownloadFolder, L"");
}

} // namespace

// Run by the "core_language" test entry under a German system locale: with
// no stored language, the launcher takes the system's.
TEST_F(SettingsTest, NoStoredLanguageFollowsTheSystemLocale)
{
    std::wstring expected = testing_support::EnvW(L"TEST_SYSTEM_LANGUAGE");
    if (expected.empty())
        GTEST_SKIP() << "needs a system locale set from outside";
    for (int i = 0; i < LANGUAGE_COUNT; ++i)
        InstalledLanguages[i] = true;
    Start();
    EXPECT_EQ(LanguageIndex, LanguageIndexFromCode(expected.c_str()));
}
