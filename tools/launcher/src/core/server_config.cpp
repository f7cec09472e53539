#include "server_config.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <mutex>

namespace {

const wchar_t* const CLUSTER_SECTIONS[CONFIG_CLUSTER_COUNT] = {L"Public", L"Test", L"Dev"};
const wchar_t* const ROLE_KEYS[ROLE_COUNT] = {L"Content", L"Origin", L"Api"};

constexpr size_t MAX_HOST_LENGTH = 253;
constexpr DWORD VALUE_BUFFER = 512;

std::mutex ConfigLock;
ServerConfig Config;
std::wstring ConfigPath; // the file the configuration was read from, "" for none
std::wstring Rejected;
bool Loaded = false;

bool IsHostChar(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' ||
           c == L'-' || c == L'_';
}

// The INI file named by the environment, else the one beside the running
// executable; "" when its path is too long.
std::wstring DefaultConfigPath()
{
    wchar_t path[1024];
    DWORD named = GetEnvironmentVariableW(SERVER_CONFIG_VARIABLE, path, 1024);
    if (named > 0 && named < 1024)
        return std::wstring(path, named);
    DWORD length = GetModuleFileNameW(nullptr, path, 1024);
    if (length == 0 || length >= 1024)
        return std::wstring();
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    folder.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return folder + SERVER_CONFIG_FILE_NAME;
}

// Reads one value; false when it is absent or empty. A value that fills the
// buffer may have been cut and is handed back as "" with true, so that it
// fails validation.
bool ReadValue(const wchar_t* path, const wchar_t* section, const wchar_t* key, std::wstring& value)
{
    wchar_t buffer[VALUE_BUFFER];
    buffer[0] = 0;
    DWORD length = GetPrivateProfileStringW(section, key, L"", buffer, VALUE_BUFFER, path);
    if (length == 0)
        return false;
    if (length >= VALUE_BUFFER - 1)
        value.clear();
    else
        value.assign(buffer, length);
    return true;
}

void ApplyValue(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                bool (*isValid)(const wchar_t*), std::wstring& field, int& rejectedCount,
                std::wstring* rejected)
{
    std::wstring value;
    if (!ReadValue(path, section, key, value))
        return;
    if (isValid(value.c_str())) {
        field = value;
        return;
    }
    ++rejectedCount;
    if (rejected) {
        if (!rejected->empty())
            *rejected += L' ';
        *rejected += section;
        *rejected += L'.';
        *rejected += key;
    }
}

void EnsureLoaded()
{
    // Called with ConfigLock held.
    if (Loaded)
        return;
    Loaded = true;
    Config = DefaultServerConfig();
    ConfigPath = DefaultConfigPath();
    if (!ConfigPath.empty())
        ApplyServerConfigFile(Config, ConfigPath.c_str(), &Rejected);
}

} // namespace

ServerConfig DefaultServerConfig()
{
    ServerConfig config;
    const wchar_t* const suffixes[CONFIG_CLUSTER_COUNT] = {L"", L"-test", L"-dev"};
    const wchar_t* const roles[ROLE_COUNT] = {L"content", L"origin", L"api"};
    for (int cluster = 0; cluster < CONFIG_CLUSTER_COUNT; ++cluster) {
        for (int role = 0; role < ROLE_COUNT; ++role)
            config.hosts[cluster][role] = std::wstring(roles[role]) + suffixes[cluster] + L".vantorel.com";
    }
    config.crashHost = L"crash.zethrane.com";
    config.internalDomainSuffix = L".corp.zethrane.com";
    config.issueTrackerHost = L"tracker.corp.zethrane.com";
    return config;
}

bool IsValidServerHost(const wchar_t* text)
{
    if (!text)
        return false;
    size_t length = 0;
    while (IsHostChar(text[length]))
        ++length;
    if (length == 0 || length > MAX_HOST_LENGTH)
        return false;
    if (text[length] == 0)
        return true;
    if (text[length] != L':')
        return false;
    const wchar_t* port = text + length + 1;
    unsigned value = 0;
    size_t digits = 0;
    for (; port[digits]; ++digits) {
        if (port[digits] < L'0' || port[digits] > L'9' || digits >= 5)
            return false;
        value = value * 10 + (port[digits] - L'0');
    }
    return digits > 0 && value >= 1 && value <= 65535;
}

bool IsValidDomainSuffix(const wchar_t* text)
{
    if (!text || text[0] != L'.' || text[1] == 0)
        return false;
    size_t length = 1;
    for (; text[length]; ++length) {
        if (!IsHostChar(text[length]) || length > MAX_HOST_LENGTH)
            return false;
    }
    return true;
}

int ApplyServerConfigFile(ServerConfig& config, const wchar_t* path, std::wstring* rejected)
{
    int count = 0;
    if (!path || !path[0])
        return 0;
    for (int cluster = 0; cluster < CONFIG_CLUSTER_COUNT; ++cluster) {
        for (int role = 0; role < ROLE_COUNT; ++role)
            ApplyValue(path, CLUSTER_SECTIONS[cluster], ROLE_KEYS[role], IsValidServerHost,
                       config.hosts[cluster][role], count, rejected);
    }
    ApplyValue(path, L"Crash", L"Server", IsValidServerHost, config.crashHost, count, rejected);
    ApplyValue(path, L"InHouse", L"DomainSuffix", IsValidDomainSuffix, config.internalDomainSuffix, count,
               rejected);
    ApplyValue(path, L"InHouse", L"IssueTracker", IsValidServerHost, config.issueTrackerHost, count,
               rejected);
    return count;
}

int ReloadServerConfig(const wchar_t* path)
{
    std::wstring file = path ? std::wstring(path) : DefaultConfigPath();
    ServerConfig config = DefaultServerConfig();
    std::wstring rejected;
    int count = file.empty() ? 0 : ApplyServerConfigFile(config, file.c_str(), &rejected);
    std::lock_guard<std::mutex> lock(ConfigLock);
    Config = config;
    ConfigPath = file;
    Rejected = rejected;
    Loaded = true;
    return count;
}

void HandOverServerConfig()
{
    std::wstring path;
    {
        std::lock_guard<std::mutex> lock(ConfigLock);
        EnsureLoaded();
        path = ConfigPath;
    }
    // Without a file of its own the other program keeps its own choice.
    if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    wchar_t full[1024];
    DWORD length = GetFullPathNameW(path.c_str(), 1024, full, nullptr);
    SetEnvironmentVariableW(SERVER_CONFIG_VARIABLE, length > 0 && length < 1024 ? full : path.c_str());
}

std::wstring GetServerConfigRejected()
{
    std::lock_guard<std::mutex> lock(ConfigLock);
    EnsureLoaded();
    return Rejected;
}

std::wstring GetServerHost(int cluster, ServerRole role)
{
    if (cluster < 0 || cluster >= CONFIG_CLUSTER_COUNT || role < 0 || role >= ROLE_COUNT)
        return std::wstring();
    std::lock_guard<std::mutex> lock(ConfigLock);
    EnsureLoaded();
    return Config.hosts[cluster][role];
}

std::wstring GetCrashServerUrl()
{
    std::lock_guard<std::mutex> lock(ConfigLock);
    EnsureLoaded();
    return L"https://" + Config.crashHost + L"/CrashServer/CrashProcessREST.php";
}

std::wstring GetIssueTrackerBrowseUrl()
{
    std::lock_guard<std::mutex> lock(ConfigLock);
    EnsureLoaded();
    return L"https://" + Config.issueTrackerHost + L"/jira/browse/";
}

std::wstring GetInternalDomainSuffix()
{
    std::lock_guard<std::mutex> lock(ConfigLock);
    EnsureLoaded();
    return Config.internalDomainSuffix;
}

bool NameEndsWithDomainSuffix(const wchar_t* name, const wchar_t* suffix)
{
    if (!name || !suffix || !suffix[0])
        return false;
    size_t nameLength = wcslen(name);
    size_t suffixLength = wcslen(suffix);
    if (nameLength < suffixLength)
        return false;
    return _wcsicmp(name + nameLength - suffixLength, suffix) == 0;
}

bool QueryInHouseMachine()
{
    wchar_t name[256];
    DWORD size = 256;
    if (!GetComputerNameExW(ComputerNamePhysicalDnsFullyQualified, name, &size))
        return false;
    name[size < 256 ? size : 255] = 0;
    return NameEndsWithDomainSuffix(name, GetInternalDomainSuffix().c_str());
}
