// The line that says why a crash folder was kept.
#include "folder_delete.h"

#include <cstdio>

#include "strings.h"

namespace {

constexpr size_t KEPT_LINE_SIZE = 1024;

} // namespace

std::string KeptFolderLine(const CrashFolderCheck& check)
{
    std::string name = ConvertToUtf8(check.entry);
    char line[KEPT_LINE_SIZE];
    switch (check.verdict) {
    case CrashFolderVerdict::CRASH_FOLDER:
        return std::string();
    case CrashFolderVerdict::ROOT:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: it is the root of a drive or share, not a crash folder\n");
        break;
    case CrashFolderVerdict::LINK:
        snprintf(line, sizeof(line), "Error: Folder kept: it is a link, not a crash folder\n");
        break;
    case CrashFolderVerdict::REACHED_ELSEWHERE:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: its path leads elsewhere, through a link, to \"%s\"\n", name.c_str());
        break;
    case CrashFolderVerdict::HOLDS_FOLDER:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: it holds the folder \"%s\", so it is not a crash folder\n",
                 name.c_str());
        break;
    case CrashFolderVerdict::HOLDS_LINK:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: it holds the link \"%s\", so it is not a crash folder\n", name.c_str());
        break;
    case CrashFolderVerdict::HOLDS_OTHER:
        snprintf(line, sizeof(line), "Error: Folder kept: it holds \"%s\", which is not a crash file\n",
                 name.c_str());
        break;
    case CrashFolderVerdict::NOT_LISTED:
        snprintf(line, sizeof(line), "Error: Folder kept: its entries could not be listed. Error code: %lu\n",
                 check.error);
        break;
    case CrashFolderVerdict::GAINED_ENTRIES:
        snprintf(line, sizeof(line), "Error: Folder kept: entries were added to it after it was checked\n");
        break;
    case CrashFolderVerdict::REPLACED:
        snprintf(line, sizeof(line),
                 "Error: Folder kept: another folder took its place after it was checked\n");
        break;
    case CrashFolderVerdict::LEADS_ELSEWHERE:
        snprintf(line, sizeof(line), "Error: Folder kept: \"%s\" in it leads to another place\n",
                 name.c_str());
        break;
    case CrashFolderVerdict::UNNAMED:
        snprintf(line, sizeof(line), "Error: Folder kept: the system gives no path for it. Error code: %lu\n",
                 check.error);
        break;
    case CrashFolderVerdict::NOT_DELETED:
        if (check.error)
            snprintf(line, sizeof(line), "Error: Folder kept: \"%s\" could not be deleted. Error code: %lu\n",
                     name.c_str(), check.error);
        else
            snprintf(line, sizeof(line), "Error: Folder kept: \"%s\" could not be deleted\n", name.c_str());
        break;
    case CrashFolderVerdict::NOT_REMOVED:
        if (check.error)
            snprintf(line, sizeof(line), "Error: Folder kept: it could not be removed. Error code: %lu\n",
                     check.error);
        else
            snprintf(line, sizeof(line), "Error: Folder kept: it was still there after it was removed\n");
        break;
    }
    return line;
}
