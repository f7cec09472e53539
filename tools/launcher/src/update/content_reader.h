// The reader of one connection's requests: a thread of its own that sends
// each request and streams the answer's body into a ring of bytes, from
// which the connection's download thread takes them under a slim lock with
// two condition variables (no kernel object, no allocation per read). So the
// download thread decodes, writes and hashes while the next bytes arrive.
//
// A synchronous read returns only once all it asked for has come, so on a
// slow line a large read looks stalled while bytes still arrive, and its
// bytes are lost with it. So the reader waits with InternetQueryDataAvailable,
// which returns as soon as any byte has arrived (0 at the end of the body),
// and reads no more than WinINet holds; only while the bytes come fast does
// it ask for more at once (content_reader.cpp).
//
// Under Wine a request's receive time-out is put on its socket when the
// answer's head is read and cannot be shortened later, and closing a request
// ends no call that is blocked on it. So the request keeps its full
// time-out, the caller stops waiting when the step is aborted or a body
// brings no byte for the stall time (longer over TLS, whose bytes come only
// in whole records: content_transport.h), and a call still running then is
// left to end on the reader: a request is closed only when no call on it
// runs.
// Such a reader lets go of its request after the call and ends; the
// connection's next request gets a new reader.
#pragma once

#include "shared_internet_handle.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class ContentReader {
  public:
    ContentReader() = default;
    ~ContentReader(); // leaves a running call to end on the reader
    ContentReader(const ContentReader&) = delete;
    ContentReader& operator=(const ContentReader&) = delete;

    // The reader holds request (and through it its connection and session)
    // from now on until Finish.
    void Begin(const SharedInternetHandle& request);

    // HttpSendRequestW of the request with the additional headers (may be
    // empty), waiting for the answer's head as long as the request's own
    // time-outs allow. False with the last error set; when abortRequested
    // (may be null) is set first: ERROR_INTERNET_OPERATION_CANCELLED.
    bool Send(const std::wstring& headers, const std::atomic<bool>* abortRequested);

    // The next bytes of the sent request's body, at most size. True with
    // *read bytes (0: the body has ended); false with *error: the request's
    // own failure, or ERROR_INTERNET_TIMEOUT when no byte came within stallMs
    // or abortRequested was set.
    bool Read(void* buffer, uint32_t size, uint32_t* read, DWORD* error, DWORD stallMs,
              const std::atomic<bool>* abortRequested);

    // Done with the request: it is let go of now when no call on it runs (a
    // call that ends at once is awaited), else by the reader once its call
    // has returned.
    void Finish();

  private:
    struct Shared;
    bool Start(DWORD* error);
    void Abandon();
    std::shared_ptr<Shared> shared_;
    bool started_ = false;
};
