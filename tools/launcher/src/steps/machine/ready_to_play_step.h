// ReqReadyToPlay ("ReadyToPlay"): the last step of the main chain. Its page
// offers PLAY, which starts the game (or, in dedicated mode, the servers);
// left alone for 30 minutes it runs the main chain again so that new content
// is fetched. Headless, it starts at once. Under remote desktop the launcher
// ends through the QUIT page "NO_REMOTE" instead.
#pragma once

#include "requirement.h"

// Set once the ready page has opened in this run.
extern bool ReadyToPlayShown;
// How long the page waits before rebuilding the main chain (30 minutes);
// tests shorten it.
extern UINT ReadyPageRebuildMs;
// Whether the launcher runs in a remote session; tests replace it.
extern bool (*IsRemoteSession)();

// True while the ready page is the current step's page: only then does the
// first joystick's button start the game.
bool IsReadyPageCurrent();

class ReqReadyToPlay : public Requirement {
  public:
    ReqReadyToPlay() : Requirement(STEP_PROGRESS_FULL) {}
    HWND Run(HWND parent) override;

    static INT_PTR CALLBACK DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
};
