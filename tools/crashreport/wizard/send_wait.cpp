#include "send_wait.h"

#include <commctrl.h>
#include <prsht.h>

namespace {

// Dispatches what is queued; false when WM_QUIT was among it.
bool DispatchQueued(HWND sheet)
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        if (sheet && PropSheet_IsDialogMessage(sheet, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

SendWaitResult WaitPumping(HWND sheet, const bool* cancelled, HANDLE thread, DWORD timeoutMs)
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (*cancelled)
            return SendWaitResult::CANCELLED;
        ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= timeoutMs)
            return SendWaitResult::DEADLINE;
        DWORD left = static_cast<DWORD>(timeoutMs - elapsed);
        // Input already seen but not taken (by a nested loop) wakes it too.
        DWORD woken = MsgWaitForMultipleObjectsEx(1, &thread, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            return SendWaitResult::ENDED;
        if (woken == WAIT_OBJECT_0 + 1) {
            if (!DispatchQueued(sheet))
                return SendWaitResult::CANCELLED;
            continue;
        }
        if (woken == WAIT_TIMEOUT)
            continue; // the deadline is checked above
        // The wait itself failed: wait as a caller without windows does.
        return WaitForSingleObject(thread, left) == WAIT_OBJECT_0 ? SendWaitResult::ENDED
                                                                  : SendWaitResult::DEADLINE;
    }
}

} // namespace

SendWaiter PumpingSendWaiter(HWND sheet, const bool* cancelled)
{
    return [sheet, cancelled](HANDLE thread, DWORD timeoutMs) {
        return WaitPumping(sheet, cancelled, thread, timeoutMs);
    };
}
