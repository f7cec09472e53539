// The interactive send while FaultCourier has no report wizard: the same
// report as the wizard would send (zip attached, answer read), without any
// window.
#pragma once

#include <string>

#include "report_body.h"

void SendReportWithoutWizard(ReportBody& body, const std::wstring& folder);
