#include "launcher_settings.h"

#include "command_line.h"
#include "downloaded_path.h"
#include "log.h"
#include "server_config.h"
#include "settings_store.h"

#include <cwchar>

bool EnableFullScreen = false;
int GraphicsAPI = 1;
bool EnableBulkDownload = true;
bool EnableAggressiveDownload = true;
bool LauncherGPU = true;
bool EnableMTRendering = true;
bool EnableDeferred = false;
int ServerCluster = SC_PUBLIC;
int LanguageIndex = 0;
std::wstring DownloadFolder;

bool SingleClusterMode = false;
int ClusterAccessLevel = 0;
bool InstalledLanguages[LANGUAGE_COUNT] = {};

namespace {

constexpr DWORD SETTINGS_VERSION = 22;
constexpr size_t LANGUAGE_BUFFER = 16;

struct GroupLanguages {
    LGRPID group;
    int first; // language indexes first..last
    int last;
};

const GroupLanguages GROUP_LANGUAGES[] = {
    {LGRPID_WESTERN_EUROPE, 1, 5},        // fr it de es pt
    {LGRPID_CENTRAL_EUROPE, 6, 8},        // ru pl uk
    {LGRPID_CYRILLIC, 6, 8},              // ru pl uk
    {LGRPID_TURKIC, 9, 9},                // tr
    {LGRPID_JAPANESE, 10, 10},            // ja
    {LGRPID_KOREAN, 13, 13},              // ko
    {LGRPID_TRADITIONAL_CHINESE, 12, 12}, // tc
    {LGRPID_SIMPLIFIED_CHINESE, 11, 11},  // zh
};

struct SystemLanguage {
    WORD primary;
    int index;
};

const SystemLanguage SYSTEM_LANGUAGES[] = {
    {0x04, 11}, {0x07, 3}, {0x0A, 4}, {0x0C, 1}, {0x10, 2}, {0x11, 10},
    {0x12, 13}, {0x15, 7}, {0x16, 5}, {0x19, 6}, {0x1F, 9}, {0x22, 8},
};

bool IsFolder(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MigrateSettings()
{
    if (ReadSettingDword(SCOPE_LAUNCHER, L"UpdateVersion", 0) == SETTINGS_VERSION)
        return;
    WriteSettingDword(SCOPE_LAUNCHER, L"UpdateVersion", SETTINGS_VERSION);
    DeleteSetting(L"EnableDirectX10");
    DeleteSetting(L"EnableDirectX11");
    DeleteSetting(L"EnableMTRendering");
}

int LoadServerCluster()
{
    if (SingleClusterMode)
        return ClusterFromOption(FindOptionValue(L"-cluster:"));
    DWORD stored = ReadSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", SC_MAX);
    if (stored > static_cast<DWORD>(ClusterAccessLevel))
        return SC_PUBLIC;
    return static_cast<int>(stored);
}

} // namespace

BOOL CALLBACK EnumLanguageGroupsProc(LGRPID group, LPWSTR, LPWSTR, DWORD flags, LONG_PTR)
{
    if (!(flags & LGRPID_INSTALLED))
        return TRUE;
    for (const GroupLanguages& entry : GROUP_LANGUAGES) {
        if (entry.group != group)
            continue;
        for (int index = entry.first; index <= entry.last; ++index)
            InstalledLanguages[index] = true;
    }
    return TRUE;
}

void DetermineClusterAccess()
{
    SingleClusterMode = false;
    ClusterAccessLevel = 0;
    if (HasOption(L"-cluster:")) {
        LogWrite(L"Using single cluster mode\n");
        SingleClusterMode = true;
    } else if (HasOption(L"-dev") || QueryInHouseMachine()) {
        LogWrite(L"Enabling dev controls\n");
        ClusterAccessLevel = SC_DEV;
    } else if (ReadSettingFlag(SCOPE_CLIENT_TYPE, L"EnableTestCluster", false)) {
        LogWrite(L"Enabling test cluster\n");
        ClusterAccessLevel = SC_TEST;
    }
}

void LoadSettings()
{
    LogWrite(L"\n");
    MigrateSettings();

    EnableFullScreen = ReadSettingFlag(SCOPE_LAUNCHER, L"EnableFullScreen", false);
    GraphicsAPI = static_cast<int>(ReadSettingDword(SCOPE_LAUNCHER, L"GraphicsAPI", 1));
    EnableBulkDownload = ReadSettingFlag(SCOPE_LAUNCHER, L"EnableBulkDownload", true);
    EnableAggressiveDownload = ReadSettingFlag(SCOPE_LAUNCHER, L"EnableAggressiveDownload", true);
    LauncherGPU = ReadSettingFlag(SCOPE_LAUNCHER, L"LauncherGPU", true);
    EnableMTRendering = ReadSettingFlag(SCOPE_LAUNCHER, L"EnableMTRendering", true);
    EnableDeferred = ReadSettingFlag(SCOPE_LAUNCHER, L"EnableDeferred", false);

    DeleteSetting(L"EnableMultithreadedRendering");
    DeleteSetting(L"EnableThreadedRendering");

    ServerCluster = LoadServerCluster();
    LogWrite(GetClusterName(ServerCluster));
    LogWrite(L"\n");

    wchar_t language[LANGUAGE_BUFFER];
    ReadSettingString(SCOPE_LAUNCHER, language, LANGUAGE_BUFFER, L"Language");
    LanguageIndex = ChooseLanguageIndex(language, GetUserDefaultLangID(), InstalledLanguages);

    wchar_t folder[MAX_PATH];
    ReadSettingString(SCOPE_CLIENT_TYPE, folder, MAX_PATH, L"DownloadDir");
    if (folder[0] && IsFolder(folder))
        DownloadFolder = folder;

    LogWrite(L"\n");
}

void SaveSettings()
{
    WriteSettingDword(SCOPE_LAUNCHER, L"EnableFullScreen", EnableFullScreen ? 1 : 0);
    WriteSettingDword(SCOPE_LAUNCHER, L"GraphicsAPI", static_cast<DWORD>(GraphicsAPI));
    WriteSettingDword(SCOPE_LAUNCHER, L"EnableBulkDownload", EnableBulkDownload ? 1 : 0);
    WriteSettingDword(SCOPE_LAUNCHER, L"EnableAggressiveDownload", EnableAggressiveDownload ? 1 : 0);
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", LauncherGPU ? 1 : 0);
    WriteSettingDword(SCOPE_LAUNCHER, L"EnableMTRendering", EnableMTRendering ? 1 : 0);
    WriteSettingDword(SCOPE_LAUNCHER, L"EnableDeferred", EnableDeferred ? 1 : 0);
    WriteSettingDword(SCOPE_CLIENT_TYPE, L"ServerCluster", static_cast<DWORD>(ServerCluster));
    WriteSettingString(SCOPE_LAUNCHER, L"Language", LanguageCodeFromIndex(LanguageIndex));
    WriteSettingString(SCOPE_LAUNCHER, L"LauncherExe", GetDownloadedFilePath(L"/Tools/Launcher.exe").c_str());
}

int LanguageIndexFromCode(const wchar_t* code)
{
    if (!code)
        return -1;
    for (int index = 0; index < LANGUAGE_COUNT; ++index) {
        if (wcscmp(code, LanguageCodeFromIndex(index)) == 0)
            return index;
    }
    return -1;
}

int LanguageIndexFromLangId(LANGID language)
{
    WORD primary = PRIMARYLANGID(language);
    for (const SystemLanguage& entry : SYSTEM_LANGUAGES) {
        if (entry.primary == primary)
            return entry.index;
    }
    return 0;
}

int ChooseLanguageIndex(const wchar_t* storedCode, LANGID systemLanguage,
                        const bool installed[LANGUAGE_COUNT])
{
    int index = LanguageIndexFromCode(storedCode);
    if (index < 0)
        index = LanguageIndexFromLangId(systemLanguage);
    return installed[index] ? index : 0;
}

int ClusterFromOption(const wchar_t* value)
{
    if (!value)
        return SC_PUBLIC;
    if (_wcsnicmp(value, L"dev", 3) == 0)
        return SC_DEV;
    if (_wcsnicmp(value, L"test", 4) == 0)
        return SC_TEST;
    return SC_PUBLIC;
}

void ResetLauncherSettingsForTest()
{
    EnableFullScreen = false;
    GraphicsAPI = 1;
    EnableBulkDownload = true;
    EnableAggressiveDownload = true;
    LauncherGPU = true;
    EnableMTRendering = true;
    EnableDeferred = false;
    ServerCluster = SC_PUBLIC;
    LanguageIndex = 0;
    DownloadFolder.clear();
    SingleClusterMode = false;
    ClusterAccessLevel = 0;
    for (bool& flag : InstalledLanguages)
        flag = false;
}
