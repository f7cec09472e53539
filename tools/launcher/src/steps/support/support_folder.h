// The support chain's folder on the user's desktop, "Vantorel Logs", and the
// two steps that empty it and fill it: ReqMakeLogDirectory (the old folder
// goes to the recycle bin, a new one is made) and ReqCopyLogs (the launcher's
// log and the game's log and configuration files are copied into it). Both
// end at once and never fail the chain.
#pragma once

#include "requirement.h"

// The desktop folder followed by "\Vantorel Logs", built on first use and
// kept for the run.
const wchar_t* GetSupportLogFolder();

// Builds the folder again on the next use (tests move the desktop).
void ResetSupportLogFolderForTest();

class ReqMakeLogDirectory : public Requirement {
public:
    ReqMakeLogDirectory() : Requirement(STEP_PROGRESS_HIDDEN) {}
    HWND Run(HWND parent) override;
};

class ReqCopyLogs : public Requirement {
public:
    ReqCopyLogs() : Requirement(STEP_PROGRESS_HIDDEN) {}
    HWND Run(HWND parent) override;
};
