#include "progress.h"

#include "browser_runtime.h"
#include "launcher.h"
#include "log.h"
#include "requirement_queue.h"
#include "step_messages.h"
#include "wideformat.h"

#include <commctrl.h>

#include <cfloat>
#include <cmath>

float SentPageProgress = 0.0f;

int ComputeProgressPosition(float doneWeight, float frontWeight, float p, float queuedWeight)
{
    float denominator = doneWeight + queuedWeight;
    if (denominator < FLT_EPSILON)
        return 0;
    // A step that reports no progress (the most negative float) would make
    // the position meaningless; show it as not started.
    if (!(p >= 0.0f))
        p = 0.0f;
    else if (p > 1.0f)
        p = 1.0f;
    float numerator = frontWeight * p + doneWeight;
    float position = numerator / denominator * 65536.0f;
    if (position <= 0.0f)
        return 0;
    if (position >= static_cast<float>(PROGRESS_RANGE))
        return PROGRESS_RANGE;
    return static_cast<int>(position);
}

bool PageProgressDiffers(float sent, float p)
{
    // In double: the base value of GetProgress must not overflow the sum.
    return std::trunc(sent * 1000.0 + 0.5) != std::trunc(p * 1000.0 + 0.5);
}

namespace {

void UpdatePageProgress(HWND window, float p)
{
    if (!PageProgressDiffers(SentPageProgress, p))
        return;
    SentPageProgress = p;
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    ShowWindow(bar, SW_HIDE);
    if (p <= 0.0f) {
        SetPageValue(L"progress.style.visibility", L"hidden");
    } else {
        wchar_t text[128];
        if (LegacySnwprintf(text, 128, L"%0.2f", p * 100.0f) < 0)
            text[0] = 0;
        text[127] = 0;
        SetPageValue(L"progress.value", text);
        SetPageValue(L"progress.style.visibility", L"visible");
        SetPageValue(L"progress.value", text);
    }
    ShowWindow(GetDlgItem(window, IDC_STATUS_TEXT), SW_HIDE);
    ShowWindow(GetDlgItem(window, IDC_STATUS_DETAIL), SW_HIDE);
    ShowWindow(bar, SW_HIDE);
}

void UpdateBar(HWND window, int32_t kind, float p)
{
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    ShowWindow(bar, SW_SHOW);
    LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    if (kind == STEP_PROGRESS_MARQUEE) {
        if (style & PBS_MARQUEE)
            return;
        SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
        SendMessageW(bar, PBM_SETMARQUEE, TRUE, 0);
        return;
    }
    if (style & PBS_MARQUEE) {
        SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
        SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    }
    int current = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    if (kind == STEP_PROGRESS_FULL) {
        if (current != PROGRESS_RANGE)
            SendMessageW(bar, PBM_SETPOS, PROGRESS_RANGE, 0);
        return;
    }
    float queued = 0.0f;
    for (const auto& entry : RequirementQueue)
        queued += GetStepWeight(entry->step->kind);
    if (DoneWeight + queued < FLT_EPSILON) {
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        return;
    }
    int position = ComputeProgressPosition(DoneWeight, GetStepWeight(kind), p, queued);
    if (position != current)
        SendMessageW(bar, PBM_SETPOS, position, 0);
}

} // namespace

void UpdateProgress(HWND window)
{
    if (HeadlessMode)
        return;
    if (RequirementQueue.empty()) {
        ShowWindow(GetDlgItem(window, IDC_PROGRESS), SW_HIDE);
        return;
    }
    Requirement& front = *RequirementQueue.front()->step;
    int32_t kind = front.kind;
    float p = front.GetProgress();
    if (kind == STEP_PROGRESS_HIDDEN) {
        ShowWindow(GetDlgItem(window, IDC_PROGRESS), SW_HIDE);
        return;
    }
    if (CefEnabled)
        UpdatePageProgress(window, p);
    else
        UpdateBar(window, kind, p);
}
