// How every HTTP failure of the launcher is named: WinINet error names, the
// StepError text of a network failure and the request's headers in the log.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstddef>

// The WinINet constant name of an error code ("ERROR_INTERNET_TIMEOUT"), or
// null for a code without one.
const char* FindInternetErrorName(DWORD code);

// Names the calling thread's last error; call it directly after the failing
// WinINet call. A code without a name is written into buffer (32 bytes) as
// "0x%08X" and buffer is returned.
const char* GetInternetErrorName(char* buffer);

// StepError (retry allowed) = the text of key, "\n\n", the error name.
void ReportInternetFailure(const char* key, const char* errorName);

// Writes the request's own headers, then the response headers, to the log,
// each only when not empty.
void LogHttpHeaders(HINTERNET request);
