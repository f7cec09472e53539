#include "message_pump.h"

#include "cef_capi.h"
#include "page_bridge.h"

#include <mmsystem.h>

#include <chrono>
#include <mutex>

namespace {

std::mutex PumpLock;
int64_t NextPumpTime = 0; // when the work next runs
int64_t LastPumpTime = 0; // when it last ran
int64_t BusyUntil = 0;    // the work runs every CEF_PUMP_INTERVAL until then
HHOOK MessageHook = nullptr;
bool InsideRuntimeWork = false; // its own loop takes messages then

// The system's own timer message (the caret's blink); not in the headers.
constexpr UINT WM_SYSTIMER = 0x0118;

// Monotonic 100 ns ticks: a change of the clock never stalls the pump.
int64_t CurrentTicks()
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// What a message taken on this thread means for the runtime's work.
enum class MessageKind { Nothing, Wake, Input };

MessageKind KindOf(const MSG& message)
{
    UINT id = message.message;
    // The main window's progress timer ticks whatever the page does, and
    // the system's caret blink is no work of the runtime.
    if ((id == WM_TIMER && message.hwnd && message.hwnd == BrowserParentWindow) || id == WM_SYSTIMER)
        return MessageKind::Nothing;
    if ((id >= WM_KEYFIRST && id <= WM_KEYLAST) || (id >= WM_MOUSEFIRST && id <= WM_MOUSELAST) ||
        (id >= MM_JOY1MOVE && id <= MM_JOY2BUTTONUP))
        return MessageKind::Input;
    return MessageKind::Wake;
}

LRESULT CALLBACK PumpMessageHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0 && (wParam & PM_REMOVE) && !InsideRuntimeWork) {
        MessageKind kind = KindOf(*reinterpret_cast<const MSG*>(lParam));
        if (kind != MessageKind::Nothing)
            RequestRuntimeWork(kind == MessageKind::Input);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

void StartRuntimePump()
{
    if (!MessageHook)
        MessageHook = SetWindowsHookExW(WH_GETMESSAGE, PumpMessageHookProc, nullptr, GetCurrentThreadId());
    RequestRuntimeWork(true);
}

void StopRuntimePump()
{
    if (MessageHook)
        UnhookWindowsHookEx(MessageHook);
    MessageHook = nullptr;
}

void RequestRuntimeWork(bool busy)
{
    std::lock_guard<std::mutex> guard(PumpLock);
    int64_t now = CurrentTicks();
    int64_t soonest = LastPumpTime + CEF_PUMP_INTERVAL;
    if (NextPumpTime > soonest)
        NextPumpTime = soonest;
    if (busy)
        BusyUntil = now + CEF_BUSY_SPAN;
}

bool RunRuntimePumpStep()
{
    {
        std::lock_guard<std::mutex> guard(PumpLock);
        int64_t now = CurrentTicks();
        if (now < NextPumpTime)
            return false;
        LastPumpTime = now;
        NextPumpTime = now + (now < BusyUntil ? CEF_PUMP_INTERVAL : CEF_IDLE_PUMP_INTERVAL);
    }
    InsideRuntimeWork = true;
    cef_do_message_loop_work();
    InsideRuntimeWork = false;
    return true;
}

DWORD RuntimeWorkDueInMs()
{
    std::lock_guard<std::mutex> guard(PumpLock);
    int64_t wait = NextPumpTime - CurrentTicks();
    return wait <= 0 ? 0 : static_cast<DWORD>((wait + 9999) / 10000);
}
