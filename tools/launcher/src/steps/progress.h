// The progress display of the current chain: the Win32 bar of the main
// window (range 0 to 0x10000), or the browser page's "progress" element.
#pragma once

#include <windows.h>

#include <cstdint>

#define PROGRESS_RANGE 0x10000

// The fraction last sent to the browser page; starts at 0.
extern float SentPageProgress;

// Position of the bar for the front step of weight frontWeight at fraction p:
// (frontWeight * p + doneWeight) / (doneWeight + queuedWeight) * 0x10000,
// truncated; queuedWeight sums the weights of every queued entry, the front
// included. A denominator below the float epsilon gives 0. A fraction
// outside 0 to 1 (NO_STEP_PROGRESS among them) counts as 0 or 1, so the
// position always lies within the bar's range.
int ComputeProgressPosition(float doneWeight, float frontWeight, float p, float queuedWeight);

// True when the page's bar would show a different value, i.e. the two
// fractions differ in their third decimal (rounded).
bool PageProgressDiffers(float sent, float p);

// Refreshes the progress display from the front step. Does nothing headless.
void UpdateProgress(HWND window);
