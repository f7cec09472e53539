// A registry value for the life of a test: set (or removed) on
// construction, put back as it was on destruction. Every change also makes
// FaultCourier read its language setting again.
#pragma once

#include <windows.h>

#include <string>

#include "language.h"

class RegistryValue {
  public:
    // A null value removes the value.
    RegistryValue(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* value) : name_(name)
    {
        RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
        wchar_t old[256];
        DWORD size = sizeof(old);
        DWORD type = 0;
        had_ = RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
               ERROR_SUCCESS;
        if (had_) {
            oldType_ = type;
            old_.assign(reinterpret_cast<const char*>(old), size);
        }
        Set(value);
    }
    ~RegistryValue()
    {
        if (had_)
            RegSetValueExW(key_, name_.c_str(), 0, oldType_, reinterpret_cast<const BYTE*>(old_.data()),
                           static_cast<DWORD>(old_.size()));
        else
            RegDeleteValueW(key_, name_.c_str());
        RegCloseKey(key_);
        ForgetLanguage();
    }
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;

    void Set(const wchar_t* value)
    {
        if (value)
            RegSetValueExW(key_, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                           static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(key_, name_.c_str());
        ForgetLanguage();
    }

    // Stores a value of another type under the name.
    void SetNumber(DWORD value)
    {
        RegSetValueExW(key_, name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
        ForgetLanguage();
    }

  private:
    HKEY key_ = nullptr;
    std::wstring name_;
    bool had_ = false;
    DWORD oldType_ = REG_SZ;
    std::string old_;
};

// The launcher's "Language" setting, which FaultCourier follows.
class LanguageSetting : public RegistryValue {
  public:
    explicit LanguageSetting(const wchar_t* value)
        : RegistryValue(HKEY_CURRENT_USER, L"Software\\Zethrane\\Vantorel\\Launcher", L"Language", value)
    {
    }
};
