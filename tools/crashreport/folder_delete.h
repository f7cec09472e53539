// Removal of a crash folder once its report is done.
//
// Only a folder that a crash report leaves is removed: the launcher's crash
// handler writes Description.txt, a copy of Launcher.log and QX.dmp into a
// fresh folder of its own, and the game may add its logs, configuration
// files and dxdiag.txt. FaultCourier is handed its folder on the command
// line, so anything else given there (a drive, a user's documents) must
// come through the report untouched.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class CrashFolderVerdict {
    CRASH_FOLDER,      // only crash files: may be deleted
    ROOT,              // the root of a drive or share
    LINK,              // the folder is itself a link or junction
    REACHED_ELSEWHERE, // its path leads, through a link above it, to another folder
    HOLDS_FOLDER,      // a subfolder (or a link to a folder) is in it
    HOLDS_LINK,        // a file that is a link is in it
    HOLDS_OTHER,       // a file of another kind is in it
    NOT_LISTED,        // its entries could not be read
    GAINED_ENTRIES,    // entries came into it after it was checked
    REPLACED,          // another folder took its path after it was checked
    LEADS_ELSEWHERE,   // a checked file, opened, lies in another folder
    UNNAMED,           // the system gives no path for it
    NOT_DELETED,       // a checked file in it could not be deleted
    NOT_REMOVED,       // it could not be removed, or was still there after
};

struct CrashFolderCheck {
    CrashFolderVerdict verdict = CrashFolderVerdict::NOT_LISTED;
    std::wstring entry;              // the name of the entry that decided it, if any;
                                     // for REACHED_ELSEWHERE the folder it leads to
    DWORD error = 0;                 // for NOT_LISTED, UNNAMED, NOT_DELETED, NOT_REMOVED
    std::vector<std::wstring> files; // the crash files listed, the only ones to delete
};

// A file a crash folder holds: Description.txt, dxdiag.txt, or a file the
// report's zip takes by its kind ("*.dmp", "*.log", "*.cfg"). Letter case
// does not matter, as it does not to the file system.
bool IsCrashFileName(const wchar_t* name);

// True for the full path of a drive's, a volume's or a share's root ("C:\",
// "\\h\s"), also in the device forms ("\\?\C:\", "\\.\UNC\h\s",
// "\\?\GLOBALROOT\Device\Mup\h\s"); trailing separators do not count. A
// spelling tells only so much (a mapped drive's folder, a device's other
// names): the check also asks the system what the folder it holds is.
bool IsRootPath(const std::wstring& fullPath);

// Whether folder holds only crash files and is neither a root nor a link
// itself, nor reached through one: the system's name for the folder it
// opened must be the folder's full path; the first subfolder found decides
// before any other file. The
// folder is judged by what the system names the folder it opened, and
// listed through that handle: the crash files it found are the ones
// DeleteCrashFolder deletes.
CrashFolderCheck CheckCrashFolder(const std::wstring& folder);

// The "Error: " line saying why a folder was kept.
std::string KeptFolderLine(const CrashFolderCheck& check);

// Deletes folder when CheckCrashFolder finds it a crash folder. Only the
// files the check listed are deleted, each opened through the handle the
// folder was checked by (held_folder.h) and deleted while it still passes
// the same rule; then the folder is removed through that handle. A path that
// came to name another folder, a file that no longer passes, one that cannot
// be deleted (such as a read-only one) and anything added after the check
// keep the folder. True only when the folder is gone; otherwise prints
// KeptFolderLine, the one line saying why.
bool DeleteCrashFolder(const std::wstring& folder);

// For tests only: called with the folder after DeleteCrashFolder has
// checked it and before anything is deleted, so that a test can change the
// folder in between. Nothing is called unless a test sets it.
using FolderCheckedHook = void (*)(const std::wstring& folder);
void SetFolderCheckedHook(FolderCheckedHook hook);

// For tests only: called with the folder and the name of a checked file
// once that file is open and has passed the rule again, just before it is
// deleted, so that a test can change what lies around it.
using EntryCheckedHook = void (*)(const std::wstring& folder, const std::wstring& name);
void SetEntryCheckedHook(EntryCheckedHook hook);
