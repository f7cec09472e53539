#include "web_api.h"

#include "clusters.h"
#include "internet_errors.h"
#include "launcher_settings.h"
#include "log.h"
#include "secure_redirect.h"
#include "step_page.h"
#include "strings.h"

#include <process.h>

#include <atomic>
#include <mutex>

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

// A Content-Length of decimal digits only; false for anything else.
bool ParseContentLength(const wchar_t* text, unsigned long long& length)
{
    length = 0;
    if (!text[0])
        return false;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c < L'0' || *c > L'9' || length > (~0ULL - 9) / 10)
            return false;
        length = length * 10 + static_cast<unsigned>(*c - L'0');
    }
    return true;
}

} // namespace

// One request as the request thread sees it: copies of what it sends, its
// results, and the hand-over to the owning object.
struct WebRequestJob {
    // The owner's session; valid until the job has finished (the owner closes
    // it after the job, or hands it over in detachedSession).
    HINTERNET session = nullptr;
    std::wstring hostName;
    INTERNET_PORT port = 0;
    bool secure = false;
    std::wstring urlPath;
    std::wstring requestPath;
    std::string body;
    HWND page = nullptr;

    DWORD status = 0;
    std::string answer;

    std::atomic<bool> abort{false}; // the owner is gone or going
    std::mutex lock;                // guards owner, finished, detachedSession
    ReqWebAPI* owner = nullptr;
    bool finished = false;
    InternetHandle detachedSession;

    void Execute();
    // Sends the request (the body when post) and reads its status into code;
    // false, logged, when either fails.
    bool Send(HINTERNET request, bool post, DWORD& code);
    // Reads the answer of a sent request into answer (status is set).
    void Receive(HINTERNET request);
    bool ReadKnownLength(HINTERNET request, unsigned long long length);
    bool ReadPieces(HINTERNET request);
    void Finish();
};

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
    if (job_) {
        job_->abort = true;
        std::lock_guard<std::mutex> guard(job_->lock);
        job_->owner = nullptr;
    }
    if (requestThread) {
        if (WaitForSingleObject(requestThread.Get(), WEBAPI_ABORT_WAIT_MS) == WAIT_TIMEOUT) {
            // The thread still uses the session: it closes it when it ends.
            std::lock_guard<std::mutex> guard(job_->lock);
            if (!job_->finished) {
                LogPrintf(L"Request %s left to end on its own\n", requestPath.c_str());
                job_->detachedSession = std::move(session);
            }
        }
        requestThread.Reset();
    }
    session.Reset();
}

HWND ReqWebAPI::Run(HWND parent)
{
    HWND shown = ShowStepPage(parent, nullptr, 0);
    page = shown != parent ? shown : nullptr;
    return shown;
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

std::shared_ptr<WebRequestJob> ReqWebAPI::MakeJob()
{
    auto job = std::make_shared<WebRequestJob>();
    job->session = session.Get();
    job->hostName = hostName;
    job->port = urlParts.nPort;
    job->secure = urlParts.nScheme == INTERNET_SCHEME_HTTPS;
    job->urlPath = urlPath;
    job->requestPath = requestPath;
    job->body = body;
    job->page = page;
    job->owner = this;
    return job;
}

void ReqWebAPI::StartRequest()
{
    status = 0;
    answer.clear();
    job_ = MakeJob();
    auto* threadJob = new std::shared_ptr<WebRequestJob>(job_);
    requestThread.Reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0x80000, RequestThreadProc, threadJob, 0, nullptr)));
    // Without a thread the page would wait for an end that never comes.
    if (!requestThread) {
        delete threadJob;
        LogPrintf(L"Could not start the request thread for %s\n", requestPath.c_str());
        job_->Finish();
    }
}

unsigned __stdcall ReqWebAPI::RequestThreadProc(void* parameter)
{
    std::unique_ptr<std::shared_ptr<WebRequestJob>> job(
        static_cast<std::shared_ptr<WebRequestJob>*>(parameter));
    (*job)->Execute();
    return 0;
}

void ReqWebAPI::ExecuteRequest()
{
    std::shared_ptr<WebRequestJob> job = MakeJob();
    job->Execute();
}

void WebRequestJob::Finish()
{
    InternetHandle leftSession;
    {
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
        leftSession = std::move(detachedSession);
        if (owner && !abort) {
            owner->status = status;
            owner->answer = std::move(answer);
            // The synchronous use has no page; a post to null would land in
            // the calling thread's own queue.
            if (page)
                PostMessageW(page, WM_WEBAPI_DONE, 0, 0);
        }
    }
}

void WebRequestJob::Execute()
{
    std::wstring url = urlPath + requestPath;
    wchar_t canonical[1024] = {};
    DWORD length = 1024;
    if (InternetCanonicalizeUrlW(url.c_str(), canonical, &length, ICU_ENCODE_PERCENT))
        url = canonical;

    // An https request is sent on by hand, hop by hop, each hop judged before
    // it is asked (secure_redirect.h); a refused one leaves status 0.
    std::wstring host = hostName;
    INTERNET_PORT hostPort = port;
    bool post = !body.empty();
    std::wstring address;
    for (int hops = 0;; ++hops) {
        InternetHandle connection;
        if (!abort)
            connection.Reset(InternetConnectW(session, host.c_str(), hostPort, nullptr, nullptr,
                                              INTERNET_SERVICE_HTTP, secure ? INTERNET_FLAG_SECURE : 0, 0));
        if (!connection)
            break;
        DWORD flags =
            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
        if (secure)
            flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT;
        InternetHandle request(HttpOpenRequestW(connection.Get(), post ? L"POST" : L"GET", url.c_str(), nullptr,
                                                nullptr, nullptr, flags, 0));
        if (!request) {
            char name[32];
            LogPrintf(L"Could not open request for %s (%S)\n", requestPath.c_str(), GetInternetErrorName(name));
            break;
        }
        EnforceCertificateChecks(request.Get());
        SetTimeouts(request.Get());
        if (hops == 0)
            address = RequestUrl(request.Get());
        DWORD code = 0;
        if (!Send(request.Get(), post, code))
            break;
        if (!secure || !IsRedirectStatus(code)) {
            status = code;
            Receive(request.Get());
            break;
        }
        LogHttpHeaders(request.Get());
        RedirectHop hop;
        if (JudgeRedirect(address, AnswerLocation(request.Get()), hops, hop) != REDIRECT_FOLLOW)
            break;
        host = hop.host;
        hostPort = hop.port;
        url = hop.path;
        address = hop.url;
        post = post && RedirectKeepsVerb(code);
    }
    Finish();
}

bool WebRequestJob::Send(HINTERNET request, bool post, DWORD& code)
{
    void* optional = post ? body.data() : nullptr;
    if (abort || !HttpSendRequestW(request, nullptr, 0, optional, post ? static_cast<DWORD>(body.size()) : 0)) {
        char name[32];
        LogPrintf(L"Could not send request for %s (%S)\n", requestPath.c_str(), GetInternetErrorName(name));
        return false;
    }
    DWORD size = sizeof(code);
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr)) {
        char name[32];
        LogPrintf(L"Could not read status code for %s (%S)\n", requestPath.c_str(),
                  GetInternetErrorName(name));
        return false;
    }
    return true;
}

void WebRequestJob::Receive(HINTERNET request)
{
    LogHttpHeaders(request);

    wchar_t lengthText[32] = {};
    DWORD lengthBytes = sizeof(lengthText) - sizeof(wchar_t);
    bool read = false;
    if (HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthBytes, nullptr)) {
        // A length that is not a number cannot be believed, nor the body.
        unsigned long long contentLength = 0;
        read = ParseContentLength(lengthText, contentLength) && ReadKnownLength(request, contentLength);
    } else {
        read = ReadPieces(request);
    }
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

bool WebRequestJob::ReadKnownLength(HINTERNET request, unsigned long long length)
{
    // The server's word alone must not size the buffer.
    if (length > WEBAPI_MAX_ANSWER)
        return false;
    answer.assign(static_cast<size_t>(length), '\0');
    if (length == 0)
        return true;
    if (abort)
        return false;
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

bool WebRequestJob::ReadPieces(HINTERNET request)
{
    answer.clear();
    char piece[256];
    for (;;) {
        if (abort)
            return false;
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
