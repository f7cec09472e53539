// ReqGameRunning ("GameRunning"): waits while the game of the current
// cluster runs. The game holds a mutex named after its install folder; the
// step's page looks for that name every 33 ms and finishes the step once it
// is gone. With "-force:running" the game always counts as running.
#pragma once

#include "requirement.h"

#include <string>

// The mutex name for an install folder: the folder, a trailing "\", every
// "\" made "_".
std::wstring GameMutexName(const std::wstring& installFolder);

class ReqGameRunning : public Requirement {
  public:
    ReqGameRunning() : Requirement(STEP_PROGRESS_MARQUEE) {}
    HWND Run(HWND parent) override;

    bool IsGameRunning();
    static INT_PTR CALLBACK DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    std::wstring mutexName_; // built on first use
    HWND page_ = nullptr;
};
