// One crash report from start to end.
#pragma once

#include <string>

// FaultCourier's exit codes (3 is left out: the C runtime's abort() ends any
// program with it).
enum CourierExitCode {
    COURIER_DONE = 0,          // delivered, or not sent by the user's choice; the folder is gone
    COURIER_STOPPED = 1,       // stopped before sending; the folder stays
    COURIER_FOLDER_KEPT = 2,   // the report was handled but the folder stays
    COURIER_NOT_DELIVERED = 4, // sent, but not delivered; the folder is gone
};

// Builds the report of folder (its Description.txt, the language, and on
// in-house machines the game log's context and the user name) and sends it:
// at once without any window when unattended, else interactively. Returns
// COURIER_DONE when the report was delivered or the user sent nothing (the
// wizard cancelled before the send, or one that could not start),
// COURIER_NOT_DELIVERED when it was sent and did not arrive (no answer, or
// one other than 2xx): in both the folder may go. COURIER_STOPPED when it
// stopped before sending (the folder stays). Every case but a delivered or
// unsent report prints "Error: " lines.
int SubmitCrashReport(const std::wstring& folder, bool unattended);
