// The HTTPS POST of a crash report (every WinINet call of FaultCourier).
#pragma once

#include "answer.h"

#include <windows.h>

#include <functional>

// The longest one send and the reading of its answer may take together
// (10 minutes). A send that has not ended by then is given up: it counts as
// failed and goes on, unobserved, until it ends or the program does.
extern DWORD CrashSendDeadlineMs;

// How the caller waits for the send, which runs on a thread of its own:
// ENDED when the thread ended within timeoutMs, DEADLINE when it did not,
// CANCELLED when the caller stopped waiting before (its user cancelled).
enum class SendWaitResult { ENDED, DEADLINE, CANCELLED };
using SendWaiter = std::function<SendWaitResult(HANDLE sendThread, DWORD timeoutMs)>;

// Posts body (its bytes up to the terminating 0) to url as
// "application/x-www-form-urlencoded" with the user agent "FaultCourier" and
// time-outs of 180 s for each wait, and CrashSendDeadlineMs for the whole.
// With parse, a status 200 answer is read whole and parsed into answer.
// The wait blocks the calling thread unless a waiter is given (a window's
// thread gives one that keeps its windows answering). Returns true when the
// report was delivered: the server answered with a 2xx status. False (after
// an "Error: " line) when it answered with any other status (a server or
// client error, or a redirect, which is never followed and whose line names
// where it pointed: the report did not arrive), the URL is bad, the request
// could not be made, the deadline passed or the waiter was cancelled.
bool PostCrashReport(const wchar_t* url, const char* body, ServerAnswer& answer, bool parse,
                     const SendWaiter& wait = SendWaiter());
