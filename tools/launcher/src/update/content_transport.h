// The WinINet edge of the content update: every WinINet call that moves
// content bytes lives in content_transport.cpp.
//
// Time-outs under Wine: a request's receive time-out is put on its socket
// when the answer's head is read and bounds every later read of the body as
// well; changing it afterwards changes nothing. Nor does Wine end a blocked
// call when its request is closed, or let a read go on after a time-out (the
// bytes it had taken are lost). So a request keeps the full time-out, which
// a slow server's head is given in whole, and the calls that may block run on
// a helper thread (InternetCaller): the caller stops waiting when the step is
// aborted, or when a body stalls for a read slice, and the body is then
// resumed with a new request.
#pragma once

#include "download_transfer.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

// The longest a body read may wait for bytes before the body counts as
// stalled and is resumed with a new request.
constexpr DWORD BODY_READ_SLICE_MS = 2000;

// Runs blocking calls, one at a time, on a helper thread of its own. A call
// the caller stopped waiting for goes on to its end on the helper, so it must
// own what it touches (capture by value or shared pointers); the caller then
// takes no more calls. The helper ends when the caller is destroyed and its
// last call has returned.
class InternetCaller {
  public:
    InternetCaller() = default;
    ~InternetCaller();
    InternetCaller(const InternetCaller&) = delete;
    InternetCaller& operator=(const InternetCaller&) = delete;

    // True when call returned within limitMs (INFINITE: no limit) and before
    // abortRequested (may be null) was set; false when the caller stopped
    // waiting, or has stopped waiting before.
    bool Run(std::function<void()> call, DWORD limitMs, const std::atomic<bool>* abortRequested);

  private:
    struct Shared;
    Shared* shared_ = nullptr;
    bool abandoned_ = false;
};

// HttpSendRequestW on the request, with the additional headers (may be
// empty), waiting for the answer's head as long as the request's own
// time-outs allow. Ends early, with ERROR_INTERNET_OPERATION_CANCELLED as the
// last error, when abortRequested is set.
BOOL SendRequestAbortable(HINTERNET request, const std::wstring& headers,
                          const std::atomic<bool>& abortRequested);

// The body of an open HTTP request, read with InternetReadFile. A failure is
// named by its WinINet error name; a read that brings nothing within
// BODY_READ_SLICE_MS (or is cut short by abortRequested) fails with
// ERROR_INTERNET_TIMEOUT.
//
// WinINet reports a connection that drops in the middle of a body (reset or
// closed) as a plain end of the body. When the answer named its length, a
// body that ends short is therefore reported as a failed read
// (ERROR_INTERNET_CONNECTION_ABORTED), so the bytes so far are resumed
// rather than taken for the whole object.
class InternetBodySource : public BodySource {
  public:
    InternetBodySource(HINTERNET request, const std::atomic<bool>* abortRequested);
    bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) override;

  private:
    struct Pending;
    HINTERNET request_;
    const std::atomic<bool>* abortRequested_;
    int64_t expected_ = -1; // Content-Length of the answer, -1 when absent
    int64_t delivered_ = 0;
    std::shared_ptr<Pending> pending_; // the reads' buffer, shared with the helper
    InternetCaller caller_;
};

// The Content-Length of an answer, or -1 when it has none (or not a number).
int64_t QueryContentLength(HINTERNET request);
