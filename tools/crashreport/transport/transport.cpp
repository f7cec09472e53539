#include "transport.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "error_output.h"
#include "scoped_handles.h"
#include "strings.h"

namespace {

constexpr DWORD TIMEOUT_MS = 180000;
constexpr DWORD READ_PIECE = 1024;
// The answer's grammar needs "SUSPECT:" and 2047 bytes at most; anything
// beyond this is not read.
constexpr size_t ANSWER_LIMIT = 4096;
constexpr DWORD URL_PART_SIZE = 256;
const wchar_t CONTENT_TYPE_HEADER[] = L"Content-Type: application/x-www-form-urlencoded";
constexpr size_t ERROR_TEXT_SIZE = 1024;
// The most of a redirect's Location that its "Error: " line shows.
constexpr DWORD LOCATION_SIZE = 512;

// One send, made on a thread of its own so that the caller can stop waiting
// for it. Everything it reads or writes is its own: a send that missed the
// deadline may go on after its caller has returned and freed the body.
struct PostJob {
    std::wstring url;
    std::string body;
    bool parse = false;
    ServerAnswer answer;
    bool result = false;
    char error[ERROR_TEXT_SIZE] = {}; // the send's "Error: " line, printed by the caller
    volatile LONG references = 2;     // the caller's and the thread's
};

void ReleaseJob(PostJob* job)
{
    if (InterlockedDecrement(&job->references) == 0)
        delete job;
}

void SetError(PostJob& job, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(job.error, sizeof(job.error), format, args);
    va_end(args);
}

void SetDwordOption(HINTERNET handle, DWORD option, DWORD value)
{
    InternetSetOptionW(handle, option, &value, sizeof(value));
}

// Reads the answer up to ANSWER_LIMIT bytes; false when a read fails.
bool ReadAnswer(HINTERNET request, std::string& answer)
{
    char piece[READ_PIECE];
    while (answer.size() < ANSWER_LIMIT) {
        DWORD wanted = static_cast<DWORD>(std::min<size_t>(sizeof(piece), ANSWER_LIMIT - answer.size()));
        DWORD read = 0;
        if (!InternetReadFile(request, piece, wanted, &read))
            return false;
        if (read == 0)
            break;
        answer.append(piece, read);
    }
    return true;
}

// Where a redirect answer pointed, as one printable line ("" without one).
std::string LocationOf(HINTERNET request)
{
    wchar_t location[LOCATION_SIZE] = {};
    DWORD size = sizeof(location);
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location, &size, nullptr))
        return std::string();
    std::string text = ConvertToUtf8(location);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

// The request itself, with WinINet's own time-outs. It follows no redirect:
// WinINet would repeat the POST at the new address (307, 308) or turn it
// into a GET there (301, 302, 303), so the report would go to, or be lost
// at, a place the configuration never named.
bool PostNow(PostJob& job)
{
    const wchar_t* url = job.url.c_str();
    wchar_t host[URL_PART_SIZE] = {};
    wchar_t user[URL_PART_SIZE] = {};
    wchar_t password[URL_PART_SIZE] = {};
    wchar_t path[URL_PART_SIZE] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = URL_PART_SIZE;
    parts.lpszUserName = user;
    parts.dwUserNameLength = URL_PART_SIZE;
    parts.lpszPassword = password;
    parts.dwPasswordLength = URL_PART_SIZE;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = URL_PART_SIZE;
    if (!InternetCrackUrlW(url, 0, ICU_DECODE, &parts)) {
        SetError(job, "Error: InternetCrackUrl() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;

    InternetHandle root(InternetOpenW(L"FaultCourier", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root) {
        SetError(job, "Error: InternetOpen() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    SetDwordOption(root.Get(), INTERNET_OPTION_IGNORE_OFFLINE, 1);
    SetDwordOption(root.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, TIMEOUT_MS);
    SetDwordOption(root.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, TIMEOUT_MS);
    SetDwordOption(root.Get(), INTERNET_OPTION_SEND_TIMEOUT, TIMEOUT_MS);

    InternetHandle connection(InternetConnectW(root.Get(), host, parts.nPort, user[0] ? user : nullptr,
                                               password[0] ? password : nullptr, INTERNET_SERVICE_HTTP,
                                               secure, 0));
    if (!connection) {
        SetError(job, "Error: InternetConnect() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    InternetHandle request(HttpOpenRequestW(connection.Get(), L"POST", path, nullptr, nullptr, nullptr,
                                            secure | INTERNET_FLAG_NO_AUTO_REDIRECT, 0));
    if (!request) {
        SetError(job, "Error: HttpOpenRequest() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    if (!HttpSendRequestW(request.Get(), CONTENT_TYPE_HEADER, wcslen(CONTENT_TYPE_HEADER), job.body.data(),
                          static_cast<DWORD>(job.body.size()))) {
        SetError(job, "Error: HttpSendRequest() failed. Error code: %lu\n", GetLastError());
        return false;
    }

    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
        SetError(job, "Error: HttpQueryInfo() failed. Error code: %lu\n", GetLastError());
        return false;
    }
    if (status >= 300 && status <= 399) {
        std::string location = LocationOf(request.Get());
        if (!location.empty()) {
            SetError(job, "Error: The crash server answered with status %lu, pointing to %s\n", status,
                     location.c_str());
            return false;
        }
    }
    if (status < 200 || status > 299) {
        SetError(job, "Error: The crash server answered with status %lu\n", status);
        return false;
    }
    if (status == HTTP_STATUS_OK && job.parse) {
        std::string text;
        if (ReadAnswer(request.Get(), text))
            ParseServerAnswer(text, job.answer);
    }
    return true;
}

DWORD WINAPI PostThread(void* parameter)
{
    auto* job = static_cast<PostJob*>(parameter);
    job->result = PostNow(*job);
    ReleaseJob(job);
    return 0;
}

} // namespace

DWORD CrashSendDeadlineMs = 600000;

bool PostCrashReport(const wchar_t* url, const char* body, ServerAnswer& answer, bool parse,
                     const SendWaiter& wait)
{
    auto* job = new PostJob;
    job->url = url;
    job->body = body;
    job->parse = parse;
    job->answer = answer;
    UniqueHandle thread(CreateThread(nullptr, 0, PostThread, job, 0, nullptr));
    if (!thread) {
        PrintError("Error: CreateThread() failed. Error code: %lu\n", GetLastError());
        job->references = 1;
        ReleaseJob(job);
        return false;
    }
    // WinINet's time-outs bound each wait for a byte, not the whole
    // exchange: a server that sends a byte now and then would hold the
    // caller (and the wizard) for ever.
    SendWaitResult waited = SendWaitResult::DEADLINE;
    if (wait)
        waited = wait(thread.Get(), CrashSendDeadlineMs);
    else if (WaitForSingleObject(thread.Get(), CrashSendDeadlineMs) == WAIT_OBJECT_0)
        waited = SendWaitResult::ENDED;
    if (waited != SendWaitResult::ENDED) {
        if (waited == SendWaitResult::CANCELLED)
            PrintError("Error: The send was cancelled before the crash server answered\n");
        else
            PrintError("Error: The crash server did not answer within %lu seconds\n",
                       static_cast<unsigned long>(CrashSendDeadlineMs / 1000));
        ReleaseJob(job);
        return false;
    }
    if (job->error[0])
        PrintError("%s", job->error);
    const bool result = job->result;
    if (result)
        answer = job->answer;
    ReleaseJob(job);
    return result;
}
