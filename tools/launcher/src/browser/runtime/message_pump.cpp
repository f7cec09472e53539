#include "message_pump.h"

#include "cef_capi.h"

#include <mutex>

namespace {

std::mutex PumpLock;
int64_t NextPumpTime = 0;

int64_t CurrentTicks()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>(ULARGE_INTEGER{{now.dwLowDateTime, now.dwHighDateTime}}.QuadPart);
}

} // namespace

void ScheduleRuntimeWork(int64_t delayMs)
{
    std::lock_guard<std::mutex> guard(PumpLock);
    NextPumpTime = CurrentTicks() + delayMs * 10000;
}

bool RunRuntimePumpStep()
{
    {
        std::lock_guard<std::mutex> guard(PumpLock);
        int64_t now = CurrentTicks();
        if (now < NextPumpTime)
            return false;
        NextPumpTime = now + CEF_PUMP_INTERVAL;
    }
    cef_do_message_loop_work();
    return true;
}
