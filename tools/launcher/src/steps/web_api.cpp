#include "web_api.h"

#include "clusters.h"
#include "internet_errors.h"
#include "launcher_settings.h"
#include "log.h"
#include "step_page.h"
#include "strings.h"

#include <process.h>

#include <cstdlib>

namespace {

// Certificate and redirect problems are never ignored; revocation that
// cannot be checked is.
constexpr DWORD kIgnoredCertificateProblems = 0xF300;

void SetTimeouts(HINTERNET handle)
{
    DWORD timeout = WEBAPI_TIMEOUT_MS;
    InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
}

void EnforceCertificateChecks(HINTERNET request)
{
    DWORD flags = 0;
    DWORD size = sizeof(flags);
    if (!InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size))
        LogWrite(L"Get INTERNET_OPTION_SECURITY_FLAGS failed\n");
    flags &= ~kIgnoredCertificateProblems;
    flags |= SECURITY_FLAG_IGNORE_REVOCATION;
    if (!InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags)))
        LogWrite(L"Set INTERNET_OPTION_SECURITY_FLAGS failed\n");
}

} // namespace

ReqWebAPI::ReqWebAPI(StepKind kind) : Requirement(kind)
{
    urlParts.dwStructSize = sizeof(urlParts);
    urlParts.lpszHostName = hostName;
    urlParts.dwHostNameLength = 256;
    urlParts.lpszUrlPath = urlPath;
    urlParts.dwUrlPathLength = 256;
}

ReqWebAPI::~ReqWebAPI()
{
    abort = true;
    // Makes a request in flight fail (or, where closing the session does not
    // reach it, the request's own timeouts end it).
    session.Reset();
    if (requestThread) {
        WaitForSingleObject(requestThread.Get(), INFINITE);
        requestThread.Reset();
    }
}

HWND ReqWebAPI::Run(HWND parent)
{
    page = ShowStepPage(parent, nullptr, 0);
    return page;
}

bool ReqWebAPI::OpenSession(int endpoint)
{
    std::wstring base = endpoint == WEBAPI_STATS ? GetStatsBase(ServerCluster) : GetWebApiBase(ServerCluster);
    return OpenSessionForUrl(base.c_str());
}

bool ReqWebAPI::OpenSessionForUrl(const wchar_t* baseUrl)
{
    if (session)
        return true;
    if (!baseUrl[0] || !InternetCrackUrlW(baseUrl, 0, ICU_DECODE, &urlParts))
        return false;
    DWORD flags = urlParts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
    session.Reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, flags));
    if (!session)
        return false;
    DWORD one = 1;
    if (!InternetSetOptionW(session.Get(), INTERNET_OPTION_IGNORE_OFFLINE, &one, sizeof(one)))
        LogWrite(L"INTERNET_OPTION_IGNORE_OFFLINE failed\n");
    SetTimeouts(session.Get());
    return true;
}

void ReqWebAPI::StartRequest()
{
    status = 0;
    answer.clear();
    requestThread.Reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0x80000, RequestThreadProc, this, 0, nullptr)));
    // Without a thread the page would wait for an end that never comes.
    if (!requestThread) {
        LogPrintf(L"Could not start the request thread for %s\n", requestPath.c_str());
        NotifyDone();
    }
}

unsigned __stdcall ReqWebAPI::RequestThreadProc(void* self)
{
    static_cast<ReqWebAPI*>(self)->ExecuteRequest();
    return 0;
}

void ReqWebAPI::NotifyDone()
{
    // The synchronous use has no page; a post to null would land in the
    // calling thread's own queue.
    if (page)
        PostMessageW(page, WM_WEBAPI_DONE, 0, 0);
}

void ReqWebAPI::ExecuteRequest()
{
    bool secure = urlParts.nScheme == INTERNET_SCHEME_HTTPS;
    InternetHandle connection(InternetConnectW(session.Get(), hostName, urlParts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, secure ? INTERNET_FLAG_SECURE : 0, 0));
    if (!connection) {
        NotifyDone();
        return;
    }

    std::wstring url = std::wstring(urlPath) + requestPath;
    wchar_t canonical[1024] = {};
    DWORD length = 1024;
    if (InternetCanonicalizeUrlW(url.c_str(), canonical, &length, ICU_ENCODE_PERCENT))
        url = canonical;

    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    if (secure)
        flags |= INTERNET_FLAG_SECURE;
    InternetHandle request(HttpOpenRequestW(connection.Get(), body.empty() ? L"GET" : L"POST", url.c_str(),
                                            nullptr, nullptr, nullptr, flags, 0));
    if (!request) {
        char name[32];
        LogPrintf(L"Could not open request for %s (%S)\n", requestPath.c_str(), GetInternetErrorName(name));
    } else {
        EnforceCertificateChecks(request.Get());
        SetTimeouts(request.Get());
        SendAndReceive(request.Get());
        request.Reset();
    }
    connection.Reset();
    NotifyDone();
}

void ReqWebAPI::SendAndReceive(HINTERNET request)
{
    void* optional = body.empty() ? nullptr : body.data();
    if (!HttpSendRequestW(request, nullptr, 0, optional, static_cast<DWORD>(body.size()))) {
        char name[32];
        LogPrintf(L"Could not send request for %s (%S)\n", requestPath.c_str(), GetInternetErrorName(name));
        return;
    }
    DWORD code = 0;
    DWORD size = sizeof(code);
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr)) {
        char name[32];
        LogPrintf(L"Could not read status code for %s (%S)\n", requestPath.c_str(),
                  GetInternetErrorName(name));
        return;
    }
    status = code;
    LogHttpHeaders(request);

    wchar_t lengthText[32] = {};
    DWORD lengthBytes = sizeof(lengthText) - sizeof(wchar_t);
    bool read = HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthBytes, nullptr)
                    ? ReadKnownLength(request, wcstoull(lengthText, nullptr, 10))
                    : ReadPieces(request);
    if (!read) {
        answer.clear();
        status = 206;
    }

    if (status != 200)
        LogPrintf(L"Could not get request %s (status: %d)\n", requestPath.c_str(), status);
    std::wstring text = ConvertFromUtf8(answer);
    if (!text.empty()) {
        if (text.back() != L'\n')
            text += L'\n';
        LogWrite(text.c_str());
    }
}

bool ReqWebAPI::ReadKnownLength(HINTERNET request, unsigned long long length)
{
    // The server's word alone must not size the buffer.
    if (length > WEBAPI_MAX_ANSWER)
        return false;
    answer.assign(static_cast<size_t>(length), '\0');
    if (length == 0)
        return true;
    INTERNET_BUFFERSA buffer = {};
    buffer.dwStructSize = sizeof(buffer);
    buffer.lpvBuffer = answer.data();
    buffer.dwBufferLength = static_cast<DWORD>(length);
    buffer.dwBufferTotal = static_cast<DWORD>(length);
    if (!InternetReadFileExA(request, &buffer, 0, 0))
        return false;
    answer.resize(buffer.dwBufferLength < length ? buffer.dwBufferLength : static_cast<size_t>(length));
    return true;
}

bool ReqWebAPI::ReadPieces(HINTERNET request)
{
    answer.clear();
    char piece[256];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request, piece, sizeof(piece), &got))
            return false;
        if (got == 0)
            return true;
        if (answer.size() + got > WEBAPI_MAX_ANSWER)
            return false;
        answer.append(piece, got);
    }
}
