// A server address split into what a WinINet connection needs.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

struct UrlParts {
    wchar_t host[260] = {};
    wchar_t user[260] = {};
    wchar_t password[260] = {};
    wchar_t path[260] = {};
    INTERNET_PORT port = 0;
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
};

// Splits url (decoding escapes); false for an empty or unreadable address,
// or one with a part longer than its buffer.
bool CrackUrl(const std::wstring& url, UrlParts& parts);

// The address to try when a fetch over url failed: a plain "http:" address
// becomes "https:" with the same rest. An "https:" address has none (empty):
// falling back to plain http would let anyone who can break the connection
// answer in the server's place.
std::wstring SchemeFallbackUrl(const std::wstring& url);
