#include "language.h"

#include <windows.h>

#include "strings.h"
#include "text_table.h"

namespace {

const wchar_t LAUNCHER_KEY[] = L"Software\\Zethrane\\Vantorel\\Launcher";
constexpr size_t LANGUAGE_VALUE_SIZE = 16;
constexpr int NO_LANGUAGE = LANGUAGE_COUNT;

int LanguageIndex = NO_LANGUAGE;

} // namespace

void ReadLauncherRegistryString(wchar_t* buffer, size_t capacity, const wchar_t* name,
                                const wchar_t* defaultValue)
{
    CopyString(buffer, capacity, defaultValue);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, LAUNCHER_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(capacity * sizeof(wchar_t));
    LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    size_t units = bytes / sizeof(wchar_t);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        CopyString(buffer, capacity, defaultValue);
        return;
    }
    // The stored value may come without its terminator.
    if (units > 0 && buffer[units - 1] == 0)
        return;
    if (units >= capacity) {
        CopyString(buffer, capacity, defaultValue);
        return;
    }
    buffer[units] = 0;
}

int LanguageIndexFromCode(const wchar_t* code)
{
    for (int index = 0; index < LANGUAGE_COUNT; ++index) {
        if (_wcsicmp(code, LanguageCodeFromIndex(index)) == 0)
            return index;
    }
    return 0;
}

int GetLanguageIndex()
{
    if (LanguageIndex == NO_LANGUAGE) {
        wchar_t code[LANGUAGE_VALUE_SIZE];
        ReadLauncherRegistryString(code, LANGUAGE_VALUE_SIZE, L"Language", L"");
        LanguageIndex = LanguageIndexFromCode(code);
    }
    return LanguageIndex;
}

const wchar_t* GetLanguageCode()
{
    return LanguageCodeFromIndex(GetLanguageIndex());
}

void ForgetLanguage()
{
    LanguageIndex = NO_LANGUAGE;
}
