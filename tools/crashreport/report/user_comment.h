// The report's UserComment field: what the user was doing at the crash.
#pragma once

#include "report_body.h"

// The most bytes the comment takes once narrowed.
constexpr size_t USER_COMMENT_BYTES = 51200;

// Appends "&UserComment=" and the comment, narrowed (NarrowReportText) and
// URL-encoded, when text is not empty. A comment whose encoding does not fit
// the body is left out (the field stays, empty). Returns false when nothing
// could be appended.
bool AppendUserComment(ReportBody& body, const wchar_t* text);
