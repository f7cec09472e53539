#include "secure_answer.h"

#include "log.h"

std::wstring RequestUrl(HINTERNET request)
{
    wchar_t url[INTERNET_MAX_URL_LENGTH + 1] = {};
    DWORD size = sizeof(url) - sizeof(wchar_t);
    if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, url, &size))
        return std::wstring();
    return url;
}

std::wstring RequestServer(HINTERNET request)
{
    std::wstring server = RequestUrl(request);
    size_t host = server.find(L"://");
    if (host == std::wstring::npos)
        return std::wstring();
    size_t path = server.find(L'/', host + 3);
    return path == std::wstring::npos ? server : server.substr(0, path);
}

bool AnsweredOverTls(HINTERNET request)
{
    DWORD security = 0;
    DWORD size = sizeof(security);
    if (!InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size) ||
        !(security & SECURITY_FLAG_SECURE))
        return false;
    // A request whose URL is not told is judged by its connection alone.
    std::wstring url = RequestUrl(request);
    return url.empty() || _wcsnicmp(url.c_str(), L"https:", 6) == 0;
}

bool SecureAnswerRefused(HINTERNET request, uint32_t requestFlags, const std::wstring& address)
{
    if (!(requestFlags & INTERNET_FLAG_SECURE) || AnsweredOverTls(request))
        return false;
    LogPrintf(L"Refused the answer to %s: it did not come over TLS (%s)\n", address.c_str(),
              RequestUrl(request).c_str());
    return true;
}
