#include "unattended_send.h"

#include <windows.h>

#include "answer.h"
#include "bug_number_file.h"
#include "in_house.h"
#include "transport.h"

namespace {

constexpr DWORD MODULE_PATH_SIZE = 1024;

} // namespace

bool SendReportUnattended(const wchar_t* url, const char* body)
{
    bool inHouse = IsInHouseMachine();
    ServerAnswer answer;
    bool delivered = PostCrashReport(url, body, answer, inHouse);
    if (delivered && inHouse && answer.bugNumber[0]) {
        wchar_t path[MODULE_PATH_SIZE];
        DWORD length = GetModuleFileNameW(nullptr, path, MODULE_PATH_SIZE);
        if (length > 0 && length < MODULE_PATH_SIZE) {
            std::wstring folder = BugNumberFolder(std::wstring(path, length));
            if (!folder.empty())
                WriteBugNumberFile(folder, answer.bugNumber);
        }
    }
    return delivered;
}
