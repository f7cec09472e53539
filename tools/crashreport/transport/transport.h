// The HTTPS POST of a crash report (every WinINet call of FaultCourier).
#pragma once

#include "answer.h"

// Posts body (its bytes up to the terminating 0) to url as
// "application/x-www-form-urlencoded" with the user agent "FaultCourier" and
// time-outs of 180 s. With parse, a status 200 answer is read whole and
// parsed into answer. Returns true when the server answered with any status
// code; false (after an "Error: " line) when the URL is bad or the request
// could not be made.
bool PostCrashReport(const wchar_t* url, const char* body, ServerAnswer& answer, bool parse);
