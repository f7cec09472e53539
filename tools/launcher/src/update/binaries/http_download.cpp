// One object over HTTP: the connection, the requests of a transfer with their
// resume and retry rules, and the answer's checks.
#include "binaries_step.h"

#include "clusters.h"
#include "content_range.h"
#include "content_transport.h"
#include "internet_errors.h"
#include "launcher_settings.h"
#include "log.h"
#include "md5.h"
#include "step_error.h"
#include "strings.h"
#include "url_parts.h"

namespace {

constexpr int kMaxAttempts = 5;
// How often one call may start an object from its first byte. Progress does
// not clear it: a server whose fresh answers always stall after some bytes,
// and whose resumes can never be used, would otherwise have the object
// started over for ever.
constexpr int kMaxStarts = 5;

void CountFailure(ReqBinaries& step, const wchar_t* key, const DownloadTransfer& t, const wchar_t* line)
{
    char name[32];
    const char* errorName = GetInternetErrorName(name);
    step.CountStatistic(key);
    LogPrintf(line, t.url.c_str(), errorName);
    ReportInternetFailure("ServersDown", errorName);
}

// A revocation list that cannot be reached does not fail the request; every
// other certificate problem does.
void AllowUnreachableRevocation(HINTERNET request)
{
    DWORD flags = 0;
    DWORD size = sizeof(flags);
    if (InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size)) {
        flags |= SECURITY_FLAG_IGNORE_REVOCATION;
        InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }
}

} // namespace

bool ReqBinaries::OpenConnection(ContentConnection& connection, int server, bool swapScheme)
{
    std::wstring url = server == SERVER_ORIGIN ? GetOriginServerBase(ServerCluster) : GetContentServerUrl();
    if (swapScheme)
        url = SchemeFallbackUrl(url);
    UrlParts parts;
    if (!CrackUrl(url, parts)) {
        LogPrintf(L"Could not read the server address %s\n", url.c_str());
        return false;
    }
    connection.server = server;
    connection.swapScheme = swapScheme;
    connection.secure = parts.scheme == INTERNET_SCHEME_HTTPS;
    connection.basePath = parts.path;
    // The object names are appended to the base, which has no "/" of its own.
    while (!connection.basePath.empty() && connection.basePath.back() == L'/')
        connection.basePath.pop_back();
    connection.handle = SharedInternetHandle::OpenChild(InternetSession, [&](HINTERNET session) {
        return InternetConnectW(session, parts.host, parts.port, parts.user[0] ? parts.user : nullptr,
                                parts.password[0] ? parts.password : nullptr, INTERNET_SERVICE_HTTP,
                                connection.secure ? INTERNET_FLAG_SECURE : 0, 0);
    });
    if (!connection.handle)
        return false;
    // Wine takes the time-outs of the connection and the request, not the
    // session's.
    bool shortConnect = ServerCluster == SC_TEST || ServerCluster == SC_DEV;
    SetContentTimeouts(connection.handle.Get(), shortConnect ? CONTENT_TIMEOUT_MS / 2 : CONTENT_TIMEOUT_MS);
    return true;
}

bool ReqBinaries::OpenRedirectHop(DownloadTransfer& t, const RedirectHop& hop)
{
    // A connection of its own, with no user name or password: the hop may
    // lead to another server.
    SharedInternetHandle connection = SharedInternetHandle::OpenChild(InternetSession, [&](HINTERNET session) {
        return InternetConnectW(session, hop.host.c_str(), hop.port, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                                INTERNET_FLAG_SECURE, 0);
    });
    if (!connection)
        return false;
    SetContentTimeouts(connection.Get(), CONTENT_TIMEOUT_MS);
    SharedInternetHandle request = SharedInternetHandle::OpenChild(connection, [&](HINTERNET parent) {
        return HttpOpenRequestW(parent, L"GET", hop.path.c_str(), nullptr, nullptr, nullptr, t.requestFlags, 0);
    });
    if (!request)
        return false;
    SetContentTimeouts(request.Get(), CONTENT_TIMEOUT_MS);
    AllowUnreachableRevocation(request.Get());
    // The redirect's own body is never read.
    t.reader->Finish();
    t.request = request.Get();
    t.reader->Begin(request);
    return true;
}

TransferResult ReqBinaries::SendRequest(DownloadTransfer& t)
{
    wchar_t range[256] = {};
    if (t.received > 0)
        FormatString(range, 256, L"Range: bytes=%I64d-", t.received);
    const bool secure = (t.requestFlags & INTERNET_FLAG_SECURE) != 0;
    std::wstring address = RequestUrl(t.request);
    const std::wstring asked = UrlServer(address);
    DWORD status = 0;
    // An https request is sent on by hand, hop by hop, each hop judged
    // before it is asked (secure_redirect.h).
    for (int hops = 0;; ++hops) {
        // The answer's head is given the request's whole receive time-out;
        // only a body that stalls is cut short and resumed (content_reader.h).
        bool sent = t.reader->Send(range, &AbortRequested);
        // A send given up for the abort may still run; the step is going away.
        t.answeredElsewhere = !secure && !AbortRequested && AnsweredElsewhere(t.request, asked, t.requestFlags);
        if (!sent) {
            CountFailure(*this, L"ERROR_SENDING", t, L"Could not send request for %s (%S)\n");
            return TRANSFER_RETRY;
        }
        DWORD size = sizeof(status);
        if (!HttpQueryInfoW(t.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr)) {
            CountFailure(*this, L"ERROR_READING_STATUS_CODE", t, L"Could not read status code for %s (%S)\n");
            return TRANSFER_RETRY;
        }
        if (!secure || !IsRedirectStatus(status))
            break;
        LogHttpHeaders(t.request);
        RedirectHop hop;
        RedirectVerdict verdict = JudgeRedirect(address, AnswerLocation(t.request), hops, hop);
        if (verdict != REDIRECT_FOLLOW) {
            // The server failed; the next attempt would be sent on again.
            CountStatistic(verdict == REDIRECT_NOT_SECURE ? L"ERROR_NOT_SECURE" : L"ERROR_REDIRECT_FAILED");
            ReportInternetFailure("ServersDown", FindInternetErrorName(RedirectVerdictError(verdict)));
            return TRANSFER_FAILED;
        }
        if (AbortRequested)
            return TRANSFER_RETRY;
        if (!OpenRedirectHop(t, hop)) {
            CountFailure(*this, L"ERROR_SENDING", t, L"Could not open request for %s (%S)\n");
            return TRANSFER_RETRY;
        }
        address = hop.url;
    }
    LogHttpHeaders(t.request);
    if (status != 200) {
        wchar_t key[32];
        FormatString(key, 32, L"ERROR_%u", status);
        PutStatistic(key, 1);
    }
    if (status == 404 || status == 410) {
        LogPrintf(L"Could not get request %s (status: %d)\n", t.url.c_str(), status);
        SetStepErrorKey("ServersDown", false);
        return TRANSFER_FAILED;
    }
    if (t.received > 0) {
        if (status != 206) {
            LogPrintf(L"Could not get request %s (status: %d)\n", t.url.c_str(), status);
            SetStepErrorKey("ServersDown", false);
            return TRANSFER_RETRY;
        }
        wchar_t header[512] = {};
        DWORD headerSize = sizeof(header) - sizeof(wchar_t);
        if (!HttpQueryInfoW(t.request, HTTP_QUERY_CONTENT_RANGE, header, &headerSize, nullptr)) {
            CountFailure(*this, L"ERROR_HTTP_QUERY_CONTENT_RANGE", t,
                         L"Could not read content range for %s (%S)\n");
            return TRANSFER_RETRY;
        }
        ContentRange answer;
        if (!ParseContentRange(header, answer)) {
            CountStatistic(L"ERROR_UNPARSABLE");
            LogPrintf(L"Unparsable Content-Range returned for %s (%s)\n", t.url.c_str(), header);
            SetStepErrorKey("ServersDown", false);
            return TRANSFER_RESTART;
        }
        if (!IsUsableContentRange(answer, t.received)) {
            CountStatistic(L"ERROR_UNUSABLE_CONTENT_RANGE");
            LogPrintf(L"Unusuable Content-Range returned for %s at offset %I64d (%s)\n", t.url.c_str(),
                      t.received, header);
            SetStepErrorKey("ServersDown", false);
            return TRANSFER_RESTART;
        }
    } else if (status != 200) {
        LogPrintf(L"Could not get request %s (status: %d)\n", t.url.c_str(), status);
        SetStepErrorKey("ServersDown", false);
        return TRANSFER_RETRY;
    }
    if (t.url.find(L".lzma") != std::wstring::npos)
        return t.ReadLzmaBody(BytesDone, AbortRequested);
    return t.ReadRawBody(BytesDone, AbortRequested);
}

bool ReqBinaries::DownloadFile(ContentConnection& connection, HANDLE file, const std::wstring& name,
                               std::wstring& hash, const std::wstring& remoteName, bool allowCache,
                               uint64_t limit, int64_t objectSize)
{
    Phase = PHASE_DOWNLOADING;
    hash.clear();
    int n = 0;
    for (int starts = 1;; ++starts) {
        DownloadTransfer t;
        t.targetFile = file;
        t.name = name;
        t.remoteName = remoteName;
        t.limit = limit;
        std::wstring url = connection.basePath + remoteName;
        wchar_t canonical[1024] = {};
        DWORD length = 1024;
        t.url = InternetCanonicalizeUrlW(url.c_str(), canonical, &length, ICU_ENCODE_PERCENT)
                    ? std::wstring(canonical, length)
                    : url;
        if (objectSize >= 0)
            t.LimitToObject(objectSize, t.url.find(L".lzma") != std::wstring::npos);
        t.requestFlags =
            allowCache ? INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                             INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_NO_UI
                       : INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                             INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_PRAGMA_NOCACHE;
        // Redirects of an https request are followed by SendRequest.
        if (connection.secure)
            t.requestFlags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_AUTO_REDIRECT;

        TransferResult result = TRANSFER_RETRY;
        ++n;
        while (n <= kMaxAttempts) {
            LogPrintf(L"\nHTTP %s %s\n", t.received > 0 ? L"RESUME" : L"GET", remoteName.c_str());
            SharedInternetHandle request =
                SharedInternetHandle::OpenChild(connection.handle, [&](HINTERNET parent) {
                    return HttpOpenRequestW(parent, L"GET", t.url.c_str(), nullptr, nullptr, nullptr,
                                            t.requestFlags, 0);
                });
            if (!request) {
                char errorName[32];
                const char* text = GetInternetErrorName(errorName);
                LogPrintf(L"Could not open request for %s (%S)\n", t.url.c_str(), text);
                ReportInternetFailure("ServersDown", text);
                if (AbortRequested)
                    break;
                ++n;
                continue;
            }
            SetContentTimeouts(request.Get(), CONTENT_TIMEOUT_MS);
            if (connection.secure)
                AllowUnreachableRevocation(request.Get());
            t.request = request.Get();
            t.reader = &connection.reader;
            connection.reader.Begin(request);
            int64_t before = t.received;
            result = SendRequest(t);
            // Closed once no call on it runs (content_reader.h).
            connection.reader.Finish();
            t.request = nullptr;
            if (t.answeredElsewhere) {
                // The connection's next requests would go where this one was
                // sent on to: it is opened anew at its own address (a call
                // still running on the request keeps the old one open).
                LogPrintf(L"Opening the connection again after a redirect of %s\n", t.url.c_str());
                OpenConnection(connection, connection.server, connection.swapScheme);
            }

            if (result == TRANSFER_DONE) {
                hash = MD5FinalText(t.md5);
                return true;
            }
            if (result == TRANSFER_FAILED || result == TRANSFER_RESTART)
                break;
            if (t.received > before)
                n = 0;
            if (AbortRequested)
                break;
            if (n != 0)
                Sleep(2);
            ++n;
        }
        if (AbortRequested || result != TRANSFER_RESTART)
            return false;
        BytesToFetch.fetch_add(t.received);
        Truncate(file);
        if (n > kMaxAttempts - 1)
            return false;
        if (starts >= kMaxStarts) {
            LogPrintf(L"Giving up on %s after %d starts from its first byte\n", t.url.c_str(), starts);
            return false;
        }
        allowCache = false;
    }
}
