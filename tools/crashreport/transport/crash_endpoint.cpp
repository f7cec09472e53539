#include "crash_endpoint.h"

#include "error_output.h"
#include "server_config.h"
#include "strings.h"

std::wstring CrashEndpointUrl()
{
    static bool reported = false;
    if (!reported) {
        reported = true;
        std::wstring rejected = GetServerConfigRejected();
        if (!rejected.empty())
            PrintError("Error: %ls has invalid values: %s\n", SERVER_CONFIG_FILE_NAME,
                       ConvertToUtf8(rejected).c_str());
    }
    return GetCrashServerUrl();
}
