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

enum class CrashFolderVerdict {
    CRASH_FOLDER, // only crash files: may be deleted
    ROOT,         // the root of a drive or share
    HOLDS_FOLDER, // a subfolder (or a link to a folder) is in it
    HOLDS_LINK,   // a file that is a link is in it
    HOLDS_OTHER,  // a file of another kind is in it
    NOT_LISTED,   // its entries could not be read
};

struct CrashFolderCheck {
    CrashFolderVerdict verdict = CrashFolderVerdict::NOT_LISTED;
    std::wstring entry; // the name of the entry that decided it, if any
    DWORD error = 0;    // for NOT_LISTED
};

// A file a crash folder holds: Description.txt, dxdiag.txt, or a file the
// report's zip takes by its kind ("*.dmp", "*.log", "*.cfg"). Letter case
// does not matter, as it does not to the file system.
bool IsCrashFileName(const wchar_t* name);

// True for the full path of a drive's or a share's root ("C:\", "\\h\s"),
// also in the "\\?\" forms; trailing separators do not count.
bool IsRootPath(const std::wstring& fullPath);

// Whether folder holds only crash files and is no root; the first
// subfolder or link found decides before any other file.
CrashFolderCheck CheckCrashFolder(const std::wstring& folder);

// The "Error: " line saying why a folder was kept.
std::string KeptFolderLine(const CrashFolderCheck& check);

// Deletes folder when CheckCrashFolder finds it a crash folder; otherwise
// prints KeptFolderLine and leaves it. True when it was deleted (as far as
// DeleteDirectoryTree goes).
bool DeleteCrashFolder(const std::wstring& folder);

// Deletes folder and everything below it. Junctions and symbolic links are
// removed as links: what they point to is never entered or deleted. An
// entry whose real location cannot be read stays, as does a file that cannot
// be deleted, and so do the folders above them; nothing is reported.
void DeleteDirectoryTree(const std::wstring& folder);
