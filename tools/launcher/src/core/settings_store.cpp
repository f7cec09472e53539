#include "settings_store.h"

#include "command_line.h"
#include "log.h"
#include "scoped_handles.h"
#include "strings.h"

std::wstring ClientType;

namespace {

constexpr wchar_t LAUNCHER_KEY[] = L"Software\\Zethrane\\Vantorel\\Launcher";
constexpr wchar_t PRODUCT_KEY[] = L"Software\\Zethrane\\Vantorel\\";
constexpr size_t KEY_PATH_CAPACITY = 1024;

wchar_t ClientTypeKeyPath[KEY_PATH_CAPACITY];
bool ClientTypeKeyPathBuilt = false;

bool OpenForQuery(SettingsScope scope, RegistryKey& key)
{
    return RegOpenKeyExW(HKEY_CURRENT_USER, GetSettingsKeyPath(scope), 0, KEY_QUERY_VALUE, key.Receive()) ==
           ERROR_SUCCESS;
}

LONG CreateForWrite(SettingsScope scope, RegistryKey& key)
{
    return RegCreateKeyExW(HKEY_CURRENT_USER, GetSettingsKeyPath(scope), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
}

} // namespace

const wchar_t* GetSettingsKeyPath(SettingsScope scope)
{
    if (scope != SCOPE_CLIENT_TYPE)
        return LAUNCHER_KEY;
    if (!ClientTypeKeyPathBuilt) {
        GetOptionWord(L"-registry:", ClientType);
        CopyString(ClientTypeKeyPath, KEY_PATH_CAPACITY, PRODUCT_KEY);
        AppendString(ClientTypeKeyPath, KEY_PATH_CAPACITY, ClientType.c_str());
        AppendString(ClientTypeKeyPath, KEY_PATH_CAPACITY, L"Launcher");
        ClientTypeKeyPathBuilt = true;
    }
    return ClientTypeKeyPath;
}

void ResetSettingsKeyPathForTest()
{
    ClientTypeKeyPathBuilt = false;
    ClientTypeKeyPath[0] = 0;
    ClientType.clear();
}

DWORD ReadSettingDword(SettingsScope scope, const wchar_t* name, DWORD defaultValue)
{
    RegistryKey key;
    if (!OpenForQuery(scope, key))
        return defaultValue;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG status = RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value))
        return defaultValue;
    return value;
}

void WriteSettingDword(SettingsScope scope, const wchar_t* name, DWORD value)
{
    RegistryKey key;
    if (CreateForWrite(scope, key) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void ReadSettingString(SettingsScope scope, wchar_t* buffer, size_t capacity, const wchar_t* name)
{
    if (!buffer || capacity == 0)
        return;
    buffer[0] = 0;
    RegistryKey key;
    if (!OpenForQuery(scope, key))
        return;
    // The query may fill the buffer up to its last byte; a stored text need
    // not carry its terminator, so the result is terminated here.
    constexpr size_t MAX_UNITS = 0x7FFFFFFF / sizeof(wchar_t);
    DWORD bytes = static_cast<DWORD>((capacity < MAX_UNITS ? capacity : MAX_UNITS) * sizeof(wchar_t));
    DWORD type = 0;
    LONG status = RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        buffer[0] = 0;
        return;
    }
    size_t units = bytes / sizeof(wchar_t);
    if (units > 0 && buffer[units - 1] == 0)
        return;
    if (units >= capacity) {
        buffer[0] = 0; // no room for the terminator: the text does not fit
        return;
    }
    buffer[units] = 0;
}

LONG WriteSettingString(SettingsScope scope, const wchar_t* name, const wchar_t* text)
{
    RegistryKey key;
    LONG status = CreateForWrite(scope, key);
    if (status != ERROR_SUCCESS)
        return status;
    if (!text)
        text = L"";
    DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

void DeleteSetting(const wchar_t* name)
{
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, LAUNCHER_KEY, 0, KEY_SET_VALUE, key.Receive()) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key.Get(), name);
}

bool ReadSettingFlag(SettingsScope scope, const wchar_t* name, bool defaultValue)
{
    DWORD value = ReadSettingDword(scope, name, defaultValue ? 1 : 0);
    LogPrintf(L"%s: %d\n", name, static_cast<int>(value));
    return value != 0;
}
