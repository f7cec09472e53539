// The hand-over to the launcher's downloaded copy.
#pragma once

#include <string>

// Starts the downloaded copy of the launcher with "-relaunched" and the
// current arguments. Start-up form (false, true): only when the launcher
// runs from elsewhere and the copy exists, and the process ends at once when
// the copy started. Update form (true, false): the launcher then quits
// through its message loop. True when the copy was started. Headless, the
// launcher then waits for the copy and ends with its exit code (at once, or
// at the end of its shutdown; copy_process.h). When the copy
// cannot be started the log is reopened for appending and the single-instance
// mutex taken again; the update form also sets StepError.
bool RelaunchLauncher(bool fromStep, bool exitAtOnce);

// The copy's command line (bounded to 1024 characters): target in double
// quotes, " -relaunched", then the arguments of commandLine (the text after
// its program name).
std::wstring BuildRelaunchCommandLine(const std::wstring& target, const wchar_t* commandLine);
