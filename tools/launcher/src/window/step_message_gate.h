// Which step messages the main window (and the headless console) acts on.
//
// A step's page identifies itself in its reports: WM_STEP_SUCCEEDED carries
// the page in lParam, and a WM_STEP_FAILED posted by a step carries the
// step's page in wParam (0 when it comes from elsewhere: the settings
// dialog, the popups). A report from a page that is no longer the current
// one (it was posted before its chain was cleared) must not end a step of
// the new chain, so it is dropped. While a step's Run is on the stack (it
// may sit in a message box or folder dialog) the messages that move the
// queue wait until Run has returned.
#pragma once

#include <windows.h>

enum class StepMessageAction { Handle, Defer, Ignore };

// messageId is one of WM_STEP_*; currentPage is CurrentStepPage;
// queueRunning tells whether RunQueue is on the stack.
StepMessageAction ClassifyStepMessage(UINT messageId, WPARAM wParam, LPARAM lParam, HWND currentPage,
                                      bool queueRunning);

// How a page reports its step's success, and how a step (page may be null
// for a report that is not about the current step) asks for a new chain.
void PostStepSucceeded(HWND page);
void PostStepFailed(HWND window, HWND page, int chainType);

// Keeps a deferred message for window, and posts the kept ones to their
// windows again, in their order, once the queue no longer runs.
void DeferStepMessage(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam);
void ReplayDeferredStepMessages();
