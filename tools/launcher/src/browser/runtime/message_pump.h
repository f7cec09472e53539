// The runtime's work on the launcher's user-interface thread. This runtime
// version has no scheduling callback: work that its threads hand to this
// thread arrives as messages for its own windows (posted work, timers of
// delayed work), but runs only inside CefDoMessageLoopWork. So each message
// that this thread takes makes the work due, at most every
// CEF_PUMP_INTERVAL. Input and page operations start a busy span of
// CEF_BUSY_SPAN in which the work runs at that interval, since their
// answers come over a while; otherwise it runs every CEF_IDLE_PUMP_INTERVAL,
// a safety net for delayed work whose timer the runtime does not set again
// when the work ran outside its own loop. The lock guards the schedule
// against the runtime's other threads and is never held while the work runs.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int64_t CEF_PUMP_INTERVAL = 160000;        // 16 ms in 100 ns ticks
constexpr int64_t CEF_BUSY_SPAN = 5000000;           // 500 ms
constexpr int64_t CEF_IDLE_PUMP_INTERVAL = 10000000; // 1 s

// From the runtime's start to its shutdown: watches the messages this
// thread takes (a WH_GETMESSAGE hook).
void StartRuntimePump();
void StopRuntimePump();

// Makes the runtime's work due now (or CEF_PUMP_INTERVAL after its last
// run, when that is later); with busy, starts a busy span. Any thread.
void RequestRuntimeWork(bool busy);
// Runs the runtime's work when it is due; true when it ran.
bool RunRuntimePumpStep();
// Milliseconds until the work is next due; 0 when it is due now.
DWORD RuntimeWorkDueInMs();
