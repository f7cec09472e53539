// The runtime's work on the launcher's user-interface thread: the main loop
// runs it every 16 ms, or at the time the runtime asked for. The lock guards
// the next run time against requests from the runtime's other threads and
// is never held while the work runs.
#pragma once

#include <cstdint>

constexpr int64_t CEF_PUMP_INTERVAL = 160000; // 16 ms in 100 ns ticks

// A request from the runtime (any thread) to run its work after delayMs.
void ScheduleRuntimeWork(int64_t delayMs);
// Runs the runtime's work when it is due; true when it ran.
bool RunRuntimePumpStep();
