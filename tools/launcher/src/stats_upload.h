// The statistics upload at exit: until one run has reached the ready page
// ("LauncherStats" = 1), every run posts its LauncherStatsReport to the
// current cluster's statistics base.
#pragma once

// Sends the report when "LauncherStats" is 0, synchronously, then records
// "LauncherStats" = 1 when the ready page was reached (whatever the
// upload's outcome).
void SendLauncherStats();
