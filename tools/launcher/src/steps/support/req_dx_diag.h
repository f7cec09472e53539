// ReqDxDiag ("DxDiag"): runs DxDiag.exe, which writes its report as
// "DxDiag.log" into the support folder, and succeeds when it has ended,
// whatever its exit code. A DxDiag that cannot be started is logged and the
// step succeeds at once. Destroying the page while DxDiag runs gives it one
// second and then terminates it.
#pragma once

#include "requirement.h"

class ReqDxDiag : public Requirement {
public:
    ReqDxDiag() : Requirement(STEP_PROGRESS_NORMAL) {}
    ~ReqDxDiag() override;
    HWND Run(HWND parent) override;

    virtual const char* GetStatusKey() const { return "GETTING_DX_DIAG"; }
    virtual const char* GetFailureKey() const { return "DIAGNOSTIC_FAILED"; }

private:
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    void StartDxDiag();
    void PollDxDiag();
    // Waits up to a second for a DxDiag still held, then ends it.
    void StopDxDiag();
    void CloseProcess();

    HWND page_ = nullptr;
    PROCESS_INFORMATION process_ = {};
};
