// FaultCourier's user-interface language: the launcher's "Language" setting.
#pragma once

#include <cstddef>

// Reads a REG_SZ value of the launcher's settings key
// (HKCU\Software\Zethrane\Vantorel\Launcher) into buffer (capacity
// characters, terminator included). A missing key or value, a value of
// another type or one that does not fit gives defaultValue (cut to fit).
void ReadLauncherRegistryString(wchar_t* buffer, size_t capacity, const wchar_t* name,
                                const wchar_t* defaultValue);

// The language index of a code, compared without regard to case; 0
// (English) for anything that is none of the fourteen codes.
int LanguageIndexFromCode(const wchar_t* code);

// The language index of this run, read from the setting on first use.
int GetLanguageIndex();

// The two-letter code of GetLanguageIndex().
const wchar_t* GetLanguageCode();

// Tests: forgets the language of this run, so that the next use reads the
// setting again.
void ForgetLanguage();
