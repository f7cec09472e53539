// SettingsStore: the launcher's one gateway to the registry.
//
// Values live under HKEY_CURRENT_USER in "Software\Zethrane\Vantorel\Launcher"
// (SCOPE_LAUNCHER) or, for the values a client keeps apart, in the key whose
// last component is the ClientType followed by "Launcher" (SCOPE_CLIENT_TYPE;
// the same key when no "-registry:" was given). Every call opens and closes
// its key and takes no lock; failures are silent (a read gives its default
// or the empty text). Nothing else in the launcher touches the registry.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

enum SettingsScope {
    SCOPE_LAUNCHER = 0,
    SCOPE_CLIENT_TYPE = 1,
};

// The text after "-registry:" up to its first blank; empty without the
// option. Set the first time the client-type key path is needed (at the
// latest when LoadSettings reads "DownloadDir").
extern std::wstring ClientType;

// Key path of a scope. The client-type path is built (bounded to 1024
// characters) and cached on first use, which also sets ClientType.
const wchar_t* GetSettingsKeyPath(SettingsScope scope);

// Forgets the cached client-type path and ClientType, so the next use takes
// them from the (test) command line again.
void ResetSettingsKeyPathForTest();

// The value's 32 bits; defaultValue when the key or value is missing or the
// value is not a 4-byte REG_DWORD.
DWORD ReadSettingDword(SettingsScope scope, const wchar_t* name, DWORD defaultValue);

// Creates the key when needed and writes a REG_DWORD; failures are silent.
void WriteSettingDword(SettingsScope scope, const wchar_t* name, DWORD value);

// Reads a REG_SZ into buffer (capacity characters), always terminated. A
// missing key or value, another type, or a text that does not fit with its
// terminator gives the empty text.
void ReadSettingString(SettingsScope scope, wchar_t* buffer, size_t capacity, const wchar_t* name);

// Creates the key when needed and writes text as REG_SZ with its terminator.
// Returns 0 on success, else the registry's error code.
LONG WriteSettingString(SettingsScope scope, const wchar_t* name, const wchar_t* text);

// Deletes a value of the SCOPE_LAUNCHER key; failures are silent.
void DeleteSetting(const wchar_t* name);

// ReadSettingDword with a 0/1 default; logs "name: number" and returns
// whether the number is not 0.
bool ReadSettingFlag(SettingsScope scope, const wchar_t* name, bool defaultValue);
