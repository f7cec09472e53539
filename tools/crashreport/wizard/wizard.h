// The report wizard: FaultCourier's interactive mode.
#pragma once

#include <string>

#include "report_body.h"

// Runs the four-page wizard modally on the report started in body (its
// Description, Lang and in-house fields) for the crash folder: the user's
// repro steps and the crash files are appended, the report is posted and the
// server's verdict shown. Returns when the wizard closes however it closed,
// or at once when the common controls or the rich edit library cannot be
// had: false when the report was sent and not delivered (the failure page),
// true when it was delivered or never sent.
bool RunReportWizard(ReportBody& body, const std::wstring& folder);
