// ReqWebAPI: one HTTP request to the current cluster's web service.
//
// Calling order: construct, OpenSession, set requestPath and body, then
// either StartRequest (on a thread; WM_WEBAPI_DONE reaches page when it is
// over) or ExecuteRequest (on the calling thread); read status and answer;
// destroy. A step derives from it and queues itself; the launcher uses it
// directly, without a page, for the statistics report at exit.
//
// Failures are only logged: status stays 0 (206 after a failed, oversized
// or unmeasurable read) and the request still ends with WM_WEBAPI_DONE. An
// https request sent on to an address that is not https, or sent on too
// often, is such a failure, refused before that address is asked
// (secure_redirect.h).
//
// The request thread works on a copy of the request (WebRequestJob) that it
// shares with the object, never on the object's fields: the destructor may
// give up waiting for it (WinINet's timeouts, not a closed handle, end a
// hanging read), and the thread then finishes alone, tells nobody and
// closes the session itself.
#pragma once

#include "requirement.h"
#include "scoped_handles.h"

#include <windows.h>
#include <wininet.h>

#include <memory>
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
// that a hanging server cannot hold a request thread forever.
constexpr DWORD WEBAPI_TIMEOUT_MS = 30000;

// How long the destructor waits for a request thread before it leaves the
// thread to finish alone.
constexpr DWORD WEBAPI_ABORT_WAIT_MS = 2000;

struct WebRequestJob;

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
    wchar_t hostName[256] = {};
    wchar_t urlPath[256] = {};
    URL_COMPONENTSW urlParts = {};
    std::wstring requestPath; // below the base: "clientIP.php"
    std::string body;         // empty: GET; else POST with these bytes
    std::string answer;
    DWORD status = 0;

private:
    static unsigned __stdcall RequestThreadProc(void* job);
    std::shared_ptr<WebRequestJob> MakeJob();

    std::shared_ptr<WebRequestJob> job_; // the threaded request's, kept to abort it
};
