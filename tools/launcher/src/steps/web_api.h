// ReqWebAPI: one HTTP request to the current cluster's web service.
//
// Calling order: construct, OpenSession, set requestPath and body, then
// either StartRequest (on a thread; WM_WEBAPI_DONE reaches page when it is
// over) or ExecuteRequest (on the calling thread); read status and answer;
// destroy. A step derives from it and queues itself; the launcher uses it
// directly, without a page, for the statistics report at exit.
//
// Failures are only logged: status stays 0 (206 after a failed or oversized
// read) and the request still ends with WM_WEBAPI_DONE.
#pragma once

#include "requirement.h"
#include "scoped_handles.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <string>

// Posted to the page when a request is over; wParam and lParam 0. Outside the
// WM_USER range, which dialogs use for their own messages.
#define WM_WEBAPI_DONE (WM_APP + 1)

enum WebApiEndpoint {
    WEBAPI_API = 0,   // the cluster's "https://host/api/" (any value but 1)
    WEBAPI_STATS = 1, // the cluster's "https://host/stats/"
};

// An answer larger than this counts as a failed read.
constexpr size_t WEBAPI_MAX_ANSWER = 1024 * 1024;

// Timeouts (connect, send, receive) of the session and of each request, so
// that a hanging server cannot hold a request (and the destructor) forever.
constexpr DWORD WEBAPI_TIMEOUT_MS = 30000;

class ReqWebAPI : public Requirement {
public:
    explicit ReqWebAPI(StepKind kind);
    ~ReqWebAPI() override;

    // Shows the empty step page (no procedure); steps override it.
    HWND Run(HWND parent) override;

    // Opens the session for the current cluster's base of endpoint; nothing
    // when a session is open. False when the base cannot be split.
    bool OpenSession(int endpoint);
    // The same for a base URL of its own ("https://host[:port]/path/").
    bool OpenSessionForUrl(const wchar_t* baseUrl);

    // Runs ExecuteRequest on a thread of its own (512 KiB stack).
    void StartRequest();
    // The request itself; ends by posting WM_WEBAPI_DONE to page (if any).
    void ExecuteRequest();

    HWND page = nullptr;
    InternetHandle session;
    UniqueHandle requestThread;
    std::atomic<bool> abort{false};
    wchar_t hostName[256] = {};
    wchar_t urlPath[256] = {};
    URL_COMPONENTSW urlParts = {};
    std::wstring requestPath; // below the base: "clientIP.php"
    std::string body;         // empty: GET; else POST with these bytes
    std::string answer;
    DWORD status = 0;

private:
    static unsigned __stdcall RequestThreadProc(void* self);
    void SendAndReceive(HINTERNET request);
    bool ReadKnownLength(HINTERNET request, unsigned long long length);
    bool ReadPieces(HINTERNET request);
    void NotifyDone();
};
