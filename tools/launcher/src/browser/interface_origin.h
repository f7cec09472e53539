// The interface's own origin: the pages from "launcher.zip" under
// "http://launcher/", or with "-nozip" the unpacked folder. Only frames of
// that origin may press the step's buttons, and the browser's main frame
// stays on it.
#pragma once

#include <string>
#include <string_view>

// Whether url lies below baseUrl (a base URL as GetLauncherBaseUrl gives
// it). The scheme and the authority (host and port) must be those of the
// base exactly, letter case of ASCII letters aside; an address without an
// authority ("data:", "about:") is never below one. Then the path must lie
// below the base's path, where letter case of ASCII letters, "\" against
// "/", runs of slashes, percent escapes and "." or ".." segments do not
// matter, since the runtime writes a file URL its own way; the query and
// fragment are not looked at.
bool IsUrlBelowBase(std::wstring_view url, std::wstring_view baseUrl);

// The same against the interface's current base URL (GetLauncherBaseUrl).
bool IsInterfaceUrl(std::wstring_view url);
