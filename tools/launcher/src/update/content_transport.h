// The WinINet edge of the content update: every WinINet call that moves
// content bytes lives in content_transport.cpp.
#pragma once

#include "download_transfer.h"

#include <windows.h>
#include <wininet.h>

// The body of an open HTTP request, read with InternetReadFile. A failure is
// named by its WinINet error name.
//
// WinINet reports a connection that drops in the middle of a body (reset or
// closed) as a plain end of the body. When the answer named its length, a
// body that ends short is therefore reported as a failed read
// (ERROR_INTERNET_CONNECTION_ABORTED), so the bytes so far are resumed
// rather than taken for the whole object.
class InternetBodySource : public BodySource {
  public:
    explicit InternetBodySource(HINTERNET request);
    bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) override;

  private:
    HINTERNET request_;
    int64_t expected_ = -1; // Content-Length of the answer, -1 when absent
    int64_t delivered_ = 0;
};

// The Content-Length of an answer, or -1 when it has none (or not a number).
int64_t QueryContentLength(HINTERNET request);
