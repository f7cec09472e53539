#include "url_parts.h"

bool CrackUrl(const std::wstring& url, UrlParts& parts)
{
    parts = UrlParts();
    URL_COMPONENTSW components = {};
    components.dwStructSize = sizeof(components);
    components.lpszHostName = parts.host;
    components.dwHostNameLength = ARRAYSIZE(parts.host);
    components.lpszUserName = parts.user;
    components.dwUserNameLength = ARRAYSIZE(parts.user);
    components.lpszPassword = parts.password;
    components.dwPasswordLength = ARRAYSIZE(parts.password);
    components.lpszUrlPath = parts.path;
    components.dwUrlPathLength = ARRAYSIZE(parts.path);
    if (url.empty() || !InternetCrackUrlW(url.c_str(), 0, ICU_DECODE, &components)) {
        parts = UrlParts();
        return false;
    }
    parts.port = components.nPort;
    parts.scheme = components.nScheme;
    return true;
}

std::wstring SchemeFallbackUrl(const std::wstring& url)
{
    if (_wcsnicmp(url.c_str(), L"http:", 5) == 0)
        return L"https:" + url.substr(5);
    return std::wstring();
}
