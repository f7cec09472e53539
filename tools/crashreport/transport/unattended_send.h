// Sending a report without any window.
#pragma once

// Posts body to url. Only in-house machines read the server's answer, and
// there a bug number is also left in the build tree's Temp folder (see
// bug_number_file.h). Returns whether the report was delivered (a 2xx
// answer).
bool SendReportUnattended(const wchar_t* url, const char* body);
