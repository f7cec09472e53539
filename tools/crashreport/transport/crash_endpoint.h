// Where reports are posted (from the shared server configuration).
#pragma once

#include <string>

// The crash server's report address. The first call also prints an "Error: "
// line naming the configuration values that were present but rejected.
std::wstring CrashEndpointUrl();
