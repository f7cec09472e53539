// RequirementQueue: the current chain of steps, run strictly one at a time
// on the user-interface thread. The front entry is the current step. The
// queue owns its entries and their steps; it destroys a step's page before
// it deletes the step.
#pragma once

#include "requirement.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>

struct RequirementEntry {
    std::unique_ptr<Requirement> step;
    const wchar_t* name = nullptr; // static literal: log text and statistics category
    DWORD start = 0;               // timeGetTime() just before Run
};

// Module state; user-interface thread only.
extern std::deque<std::unique_ptr<RequirementEntry>> RequirementQueue;
extern float DoneWeight;          // weights of the chain's steps ended by WM_STEP_SUCCEEDED
extern DWORD TotalStepTime;       // ms spent in steps; reset only for a purge chain
extern HWND CurrentStepPage;      // the front step's page, or null
extern HWND BrowserCommandTarget; // with the browser: receives the page's button presses
extern bool ReadyToPlayReached;   // the queue was cleared on a lone "ReadyToPlay"

// Appends a step at the back (BuildChain's building block).
void AppendStep(Requirement* step, const wchar_t* name);

// Runs steps from the front until one shows a page or hands back parent;
// an emptied queue posts the quit message.
void RunQueue(HWND parent);

// True while RunQueue is on the stack (a step's Run may be in a modal loop,
// where the messages that move the queue must wait), and while ClearQueue,
// CompleteFrontStep or ReplaceChain change the queue (a page's WM_DESTROY or
// a step's destructor may run a message loop too).
bool IsQueueRunning();

// Ends the chain without running anything: destroys the current page,
// records the front step (a success only for a lone "ReadyToPlay") and
// deletes every entry from the back to the front.
void ClearQueue();

// The main window's (and headless console's) handling of WM_STEP_SUCCEEDED:
// the front step is done; record it unless told otherwise (headless runs do
// not), drop it and run the next. Ignored when the queue is empty.
void CompleteFrontStep(HWND window, bool recordStatistics);

// Handling of WM_STEP_FAILED: the front step's time is counted, the chain
// cleared, the settings saved, the chain of the given type built and run.
void ReplaceChain(HWND window, int chainType);
