#include "secure_redirect.h"

#include "log.h"

#include <vector>

namespace {

RedirectVerdict Refuse(RedirectVerdict verdict, const std::wstring& from, const std::wstring& to,
                       const std::wstring& why)
{
    LogPrintf(L"Refused the redirect of %s to %s: %s\n", from.c_str(), to.empty() ? L"(nowhere)" : to.c_str(),
              why.c_str());
    return verdict;
}

// An absolute URL of location read against base; empty when it cannot be.
std::wstring Resolve(const std::wstring& base, const std::wstring& location)
{
    std::vector<wchar_t> buffer(INTERNET_MAX_URL_LENGTH + 1);
    DWORD length = static_cast<DWORD>(buffer.size() - 1);
    if (!InternetCombineUrlW(base.c_str(), location.c_str(), buffer.data(), &length, ICU_NO_ENCODE))
        return std::wstring();
    return std::wstring(buffer.data(), length);
}

} // namespace

bool IsRedirectStatus(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool RedirectKeepsVerb(DWORD status)
{
    return status == 307 || status == 308;
}

RedirectVerdict JudgeRedirect(const std::wstring& from, const std::wstring& location, int hops,
                              RedirectHop& next)
{
    next = RedirectHop();
    std::wstring to = location.empty() ? std::wstring() : Resolve(from, location);
    if (to.empty())
        return Refuse(REDIRECT_FAILED, from, location, L"it gives no address to follow");
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    std::vector<wchar_t> path(INTERNET_MAX_URL_LENGTH + 1);
    std::vector<wchar_t> extra(INTERNET_MAX_URL_LENGTH + 1);
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlW(to.c_str(), 0, 0, &parts) || !host[0])
        return Refuse(REDIRECT_FAILED, from, to, L"it gives no address to follow");
    // The scheme first: an address that is not https is refused whatever else.
    if (parts.nScheme != INTERNET_SCHEME_HTTPS)
        return Refuse(REDIRECT_NOT_SECURE, from, to, L"it does not lead to https");
    if (hops >= MAX_REDIRECT_HOPS)
        return Refuse(REDIRECT_FAILED, from, to,
                      L"more than " + std::to_wstring(MAX_REDIRECT_HOPS) + L" redirects");
    next.url = to;
    next.host = host;
    next.port = parts.nPort;
    next.path = std::wstring(path.data(), parts.dwUrlPathLength) + std::wstring(extra.data(), parts.dwExtraInfoLength);
    // The fragment stays with the client.
    size_t fragment = next.path.find(L'#');
    if (fragment != std::wstring::npos)
        next.path.erase(fragment);
    if (next.path.empty())
        next.path = L"/";
    LogPrintf(L"Following the redirect of %s to %s\n", from.c_str(), to.c_str());
    return REDIRECT_FOLLOW;
}

DWORD RedirectVerdictError(RedirectVerdict verdict)
{
    return verdict == REDIRECT_NOT_SECURE ? ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR : ERROR_HTTP_REDIRECT_FAILED;
}

std::wstring AnswerLocation(HINTERNET request)
{
    std::vector<wchar_t> location(INTERNET_MAX_URL_LENGTH + 1);
    DWORD size = static_cast<DWORD>((location.size() - 1) * sizeof(wchar_t));
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr))
        return std::wstring();
    return location.data();
}

std::wstring RequestUrl(HINTERNET request)
{
    wchar_t url[INTERNET_MAX_URL_LENGTH + 1] = {};
    DWORD size = sizeof(url) - sizeof(wchar_t);
    if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, url, &size))
        return std::wstring();
    return url;
}

std::wstring UrlServer(const std::wstring& url)
{
    size_t host = url.find(L"://");
    if (host == std::wstring::npos)
        return std::wstring();
    size_t path = url.find(L'/', host + 3);
    return path == std::wstring::npos ? url : url.substr(0, path);
}

bool AnsweredOverHttps(HINTERNET request)
{
    return _wcsnicmp(RequestUrl(request).c_str(), L"https:", 6) == 0;
}
