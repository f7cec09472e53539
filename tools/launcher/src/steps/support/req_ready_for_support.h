// ReqReadyForSupport ("ReadyForSupport"): the support chain's last page.
// OPEN shows the support folder in the shell and ends the launcher.
#pragma once

#include "requirement.h"

class ReqReadyForSupport : public Requirement {
public:
    ReqReadyForSupport() : Requirement(STEP_PROGRESS_FULL) {}
    HWND Run(HWND parent) override;

private:
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
};
