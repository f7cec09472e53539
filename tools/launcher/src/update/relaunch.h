// The hand-over to the launcher's downloaded copy.
#pragma once

// Starts the downloaded copy of the launcher with "-relaunched" and the
// current arguments. Start-up form (false, true): only when the launcher
// runs from elsewhere, and the process ends at once when the copy started.
// Update form (true, false): the launcher then quits through its message
// loop. True when the copy was started.
bool RelaunchLauncher(bool fromStep, bool exitAtOnce);
