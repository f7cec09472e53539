// One crash report from start to end.
#pragma once

#include <string>

// Builds the report of folder (its Description.txt, the language, and on
// in-house machines the game log's context and the user name) and sends it:
// at once without any window when unattended, else interactively. Returns 0
// when the report was handled (sent, attempted or cancelled: the folder may
// go) and 1 when it stopped before (the folder stays), after an "Error: "
// line in every case but a failed read of Description.txt.
int SubmitCrashReport(const std::wstring& folder, bool unattended);
