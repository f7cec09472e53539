// The WinINet edge of the content update's bodies: the body of a sent
// request as a BodySource, read through the connection's ContentReader
// (content_reader.h), and the answer's declared length.
#pragma once

#include "content_reader.h"
#include "download_transfer.h"
#include "secure_redirect.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <string>

// A body that brings no byte at all for this long counts as stalled and is
// resumed with a new request. Bytes that keep coming, however slowly, are
// never cut off.
constexpr DWORD BODY_STALL_MS = 2000;

// TLS hands a body on only in whole records, of 16 KiB from most servers,
// and no call sees the bytes of a record before all of it has come (under
// Wine not even the status callback's count of bytes received, which comes
// per record). A read of the reader may wait for two records: it asks for up
// to 32 KiB (content_reader.cpp). So over TLS a body counts as stalled only
// when nothing came for as long as two whole records (each with room for
// its framing) take on the slowest line served, a mobile plan throttled to
// 32 kbit/s, and BODY_STALL_MS more.
constexpr DWORD TLS_RECORD_BYTES = 16384 + 256;
constexpr DWORD SLOWEST_LINE_BYTES_PER_SECOND = 4096;
constexpr DWORD TLS_BODY_STALL_MS =
    BODY_STALL_MS + 2 * TLS_RECORD_BYTES * 1000 / SLOWEST_LINE_BYTES_PER_SECOND;

// The stall time of a body sent with these request flags.
constexpr DWORD BodyStallMs(uint32_t requestFlags)
{
    return requestFlags & INTERNET_FLAG_SECURE ? TLS_BODY_STALL_MS : BODY_STALL_MS;
}

// The stall time of the body of a sent request, by the address its answer
// came from: WinINet follows a redirect of a plain http request to https by
// itself, so a request opened without INTERNET_FLAG_SECURE may be read over
// TLS. Asked before the body's first read, while no other call runs on the
// request.
DWORD SentBodyStallMs(HINTERNET request, uint32_t requestFlags);

// Whether the answer of a sent plain http request came from elsewhere than
// asked (the UrlServer of its RequestUrl before the send, secure_redirect.h)
// and the scheme of its request flags: WinINet follows a redirect of such a
// request to another host, port or scheme by itself, and Wine then moves the
// request's connection there too, so that every later request on that
// connection goes there (over the connection's own scheme). Asked after the
// send, while no other call runs on the request.
bool AnsweredElsewhere(HINTERNET request, const std::wstring& asked, uint32_t requestFlags);

// The body of a request sent through reader. A failure is named by its
// WinINet error name; a body that brings no byte for stallMs (or a wait cut
// short by abortRequested) fails with ERROR_INTERNET_TIMEOUT.
//
// WinINet reports a connection that drops in the middle of a body (reset or
// closed) as a plain end of the body. When the answer named its length, a
// body that ends short is therefore reported as a failed read
// (ERROR_INTERNET_CONNECTION_ABORTED), so the bytes so far are resumed
// rather than taken for the whole object.
class InternetBodySource : public BodySource {
  public:
    InternetBodySource(HINTERNET request, ContentReader& reader, DWORD stallMs,
                       const std::atomic<bool>* abortRequested);
    bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) override;
    // The Content-Length of the answer, or -1 when it has none.
    int64_t DeclaredLength() const override { return expected_; }

  private:
    ContentReader& reader_;
    DWORD stallMs_;
    const std::atomic<bool>* abortRequested_;
    int64_t expected_ = -1; // Content-Length of the answer, -1 when absent
    int64_t delivered_ = 0;
};

// The Content-Length of an answer, or -1 when it has none (or not a number).
int64_t QueryContentLength(HINTERNET request);
