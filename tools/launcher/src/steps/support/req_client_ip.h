// ReqClientIP ("ClientIP"): asks the cluster's web service for the address
// it sees the client at ("clientIP.php"); the request logs the answer. The
// step succeeds however the request ends.
#pragma once

#include "web_api.h"

class ReqClientIP : public ReqWebAPI {
public:
    ReqClientIP() : ReqWebAPI(STEP_PROGRESS_MARQUEE) {}
    HWND Run(HWND parent) override;

private:
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
};
