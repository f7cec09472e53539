#include "exception_guard.h"

namespace {

struct GuardFrame {
    void* jump[5] = {};
    volatile DWORD code = 0;
};

thread_local GuardFrame* ActiveGuard = nullptr;

bool IsSystemError(DWORD code)
{
    return (code & 0xF0000000u) == 0xC0000000u;
}

LONG CALLBACK GuardHandler(EXCEPTION_POINTERS* info)
{
    GuardFrame* frame = ActiveGuard;
    if (!frame || !info || !info->ExceptionRecord || !IsSystemError(info->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    frame->code = info->ExceptionRecord->ExceptionCode;
    ActiveGuard = nullptr;
    __builtin_longjmp(frame->jump, 1);
}

// Kept out of line so that the jump buffer's frame is this function's own.
__attribute__((noinline)) DWORD Enter(GuardFrame& frame, void (*probe)(void*), void* context)
{
    if (__builtin_setjmp(frame.jump) == 0) {
        ActiveGuard = &frame;
        probe(context);
        ActiveGuard = nullptr;
        return 0;
    }
    return frame.code;
}

} // namespace

DWORD RunGuarded(void (*probe)(void* context), void* context)
{
    PVOID handler = AddVectoredExceptionHandler(1, GuardHandler);
    GuardFrame frame;
    DWORD code = Enter(frame, probe, context);
    if (handler)
        RemoveVectoredExceptionHandler(handler);
    return code;
}
