// Whether a request asked over https was answered over https. WinINet
// follows a redirect by itself, also from https to plain http (Wine always,
// Windows depending on its settings), and then hands on the answer that came
// without TLS as if nothing had happened. Nothing the launcher asks over
// https is taken over plain http: the content update and the web service
// refuse such an answer before its body is read, through SecureAnswerRefused.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <string>

// The URL a request goes to, as WinINet names it (after a redirect: where it
// was sent on to); empty when it does not say. Asked while no other call
// runs on the request.
std::wstring RequestUrl(HINTERNET request);

// The scheme, host and port of RequestUrl (its URL up to the path; empty
// when WinINet does not say).
std::wstring RequestServer(HINTERNET request);

// Whether the answer of a sent request came over TLS: the security flags of
// the connection it came on hold SECURITY_FLAG_SECURE and its URL is https.
// False when WinINet tells neither.
bool AnsweredOverTls(HINTERNET request);

// True when a request opened with INTERNET_FLAG_SECURE (in requestFlags) was
// not answered over TLS: then it logs "Refused the answer to %s: it did not
// come over TLS (%s)\n" with address (where the request was sent) and the URL
// the answer came from, and the answer is not to be used. False for every
// other request. Asked after the send, before the body is read.
bool SecureAnswerRefused(HINTERNET request, uint32_t requestFlags, const std::wstring& address);
