// Requests for the game's cache maintenance that the applet steps act on:
// the defragmentation trigger and the per-cluster verify marker. The
// settings dialog's DEFRAG and VERIFY buttons set them too.
#pragma once

#include <cstdint>

// 0: no defragmentation wanted; -1: Defrag0 runs without asking; any other
// value: the wasted bytes that Defrag1 offers to reclaim. User-interface
// thread only.
extern int64_t DefragTrigger;

// The DWORD "VerifyVersion" followed by the current cluster's folder name,
// in the client-type scope: 0 while a verification is pending, 2 when the
// cache is verified.
void SetVerifyPending(bool pending);
// Reads the marker with the default 2: true when it is not 2.
bool IsVerifyPending();
