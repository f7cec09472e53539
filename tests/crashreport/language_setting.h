// The launcher's "Language" setting for the life of a test: set (or
// removed) on construction, put back as it was on destruction. Also makes
// FaultCourier read the setting again.
#pragma once

#include <windows.h>

#include <string>

#include "language.h"

class LanguageSetting {
  public:
    // A null value removes the setting.
    explicit LanguageSetting(const wchar_t* value)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, KEY_PATH, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key_, nullptr);
        wchar_t old[64];
        DWORD size = sizeof(old);
        DWORD type = 0;
        had_ = RegQueryValueExW(key_, L"Language", nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
               ERROR_SUCCESS;
        if (had_) {
            oldType_ = type;
            old_.assign(reinterpret_cast<const char*>(old), size);
        }
        Set(value);
    }
    ~LanguageSetting()
    {
        if (had_)
            RegSetValueExW(key_, L"Language", 0, oldType_, reinterpret_cast<const BYTE*>(old_.data()),
                           static_cast<DWORD>(old_.size()));
        else
            RegDeleteValueW(key_, L"Language");
        RegCloseKey(key_);
        ForgetLanguage();
    }
    LanguageSetting(const LanguageSetting&) = delete;
    LanguageSetting& operator=(const LanguageSetting&) = delete;

    void Set(const wchar_t* value)
    {
        if (value)
            RegSetValueExW(key_, L"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(key_, L"Language");
        ForgetLanguage();
    }

    // Stores a value of another type under the name.
    void SetNumber(DWORD value)
    {
        RegSetValueExW(key_, L"Language", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        ForgetLanguage();
    }

  private:
    static constexpr const wchar_t* KEY_PATH = L"Software\\Zethrane\\Vantorel\\Launcher";
    HKEY key_ = nullptr;
    bool had_ = false;
    DWORD oldType_ = REG_SZ;
    std::string old_;
};
