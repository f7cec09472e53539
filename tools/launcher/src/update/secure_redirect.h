// Redirects of https requests, followed by the launcher itself.
//
// WinINet follows a redirect by itself, also from https to plain http (Wine
// always, Windows depending on its settings): the plain address is asked
// before anything could judge it, and whoever answers there chooses where
// the request goes next. Nor can the request tell afterwards how its answer
// came: Wine lets go of the connection of an answer without a body right
// after its head, and the request's security flags then lack
// SECURITY_FLAG_SECURE, though the answer came over TLS.
//
// So every https request of the launcher (the content update's origin, the
// web service) is opened with INTERNET_FLAG_NO_AUTO_REDIRECT, and each
// redirect it is answered with is judged here by its address, before that
// address is asked and before any body is read: every hop of an https
// request is https, and a chain has at most MAX_REDIRECT_HOPS hops. A plain
// http request is still followed by WinINet (the content server is plain
// http and may send a request on to https).
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

// Redirects one request may follow.
constexpr int MAX_REDIRECT_HOPS = 5;

// 301, 302, 303, 307 and 308: answers that send the request on to their
// Location.
bool IsRedirectStatus(DWORD status);
// Whether the request is sent on with its own verb and body (307, 308);
// after the others it is a GET without a body.
bool RedirectKeepsVerb(DWORD status);

// Where a followed redirect leads.
struct RedirectHop {
    std::wstring url;  // absolute, as logged
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path; // path and query, as sent
};

enum RedirectVerdict {
    REDIRECT_FOLLOW,     // next holds the next hop
    REDIRECT_NOT_SECURE, // the Location is not https
    REDIRECT_FAILED,     // no usable Location, or too many hops
};

// Judges the redirect of the request at from (its absolute URL), the
// answer's location (may be relative to from), after hops redirects of the
// same request have been followed. It logs "Following the redirect of %s to
// %s\n", or for anything but REDIRECT_FOLLOW "Refused the redirect of %s to
// %s: %s\n" with from, the address it leads to and why.
RedirectVerdict JudgeRedirect(const std::wstring& from, const std::wstring& location, int hops,
                              RedirectHop& next);

// The WinINet error that names a refused verdict:
// ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR or ERROR_HTTP_REDIRECT_FAILED.
DWORD RedirectVerdictError(RedirectVerdict verdict);

// The Location of a request's answer; empty when it has none.
std::wstring AnswerLocation(HINTERNET request);

// The URL a request goes to, as WinINet names it (after a redirect WinINet
// followed: where it was sent on to); empty when it does not say. Asked
// while no other call runs on the request.
std::wstring RequestUrl(HINTERNET request);

// The scheme, host and port of a URL (up to its path; empty when it has no
// "://").
std::wstring UrlServer(const std::wstring& url);

// Whether the answer of a sent request came over https, judged by the
// address it came from.
bool AnsweredOverHttps(HINTERNET request);
