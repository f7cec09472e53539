// ReqRetryPrompt ("RetryPrompt"): the only step of the retry chain. It shows
// why the last step failed and offers RETRY (the main chain again) and
// GET_LOGS (the support chain). Unless the failure forbids it, it retries by
// itself after a countdown that grows with each retry page: 25 s, 30 s,
// 60 s, 60 s, 120 s; the sixth page in a row waits for the user.
//
// The countdown is driven by GetProgress, which the progress display calls
// every 33 ms; without that display (headless) the page polls it itself
// once a second, so that a headless launcher retries too.
#pragma once

#include "requirement.h"

#include <cstdint>

// Retry pages shown since the user last pressed RETRY or GET_LOGS.
extern uint32_t RetryCount;
// Countdown lengths in ms, indexed by RetryCount after its increment (entry
// 0 is never used).
extern const uint32_t AUTO_RETRY_DELAYS[6];
// The millisecond clock of the countdown (timeGetTime); tests replace it.
extern DWORD (*RetryClock)();

class ReqRetryPrompt : public Requirement {
  public:
    ReqRetryPrompt() : Requirement(STEP_PROGRESS_HIDDEN) {}
    HWND Run(HWND parent) override;
    // The countdown's fraction; fires the retry once it has run out.
    float GetProgress() override;

    static INT_PTR CALLBACK DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

    HWND page = nullptr;
    DWORD countdownStart = 0; // both 0 while no countdown runs
    DWORD countdownEnd = 0;
};
