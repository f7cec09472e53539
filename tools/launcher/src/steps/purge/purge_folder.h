// The cache purge's work: deletes everything below the install folder,
// breadth first, and then the emptied folders, deepest first.
//
// Hidden and system entries are left alone, and so is everything above
// them. Files that another program holds open for writing are kept. Links
// and junctions are never entered, nor is a folder that does not really lie
// where its name says, so the purge cannot reach outside the folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct PurgeCounters {
    std::atomic<int64_t> bytesFound{0};   // sizes of every file found for deletion
    std::atomic<int64_t> bytesDeleted{0}; // sizes of the files handled so far
};

// What a purge left of what it was to delete. Hidden and system entries,
// links and the folders that hold them are kept on purpose and are not
// counted. A file that another program holds (open for writing, or without
// letting it be deleted) or that could not be deleted is; so is a folder
// that could not be listed, whose place could not be told, or that could not
// be removed though nothing counted or kept on purpose stayed in it.
struct PurgeOutcome {
    bool refused = false;   // the folder itself was refused: nothing was deleted
    uint64_t kept = 0;      // files and folders that stayed
    std::wstring firstKept; // the first of them, by its full path (a folder's ends with "\")
    bool Complete() const { return !refused && kept == 0; }
};

// Whether folder may be purged at all: an absolute path with a drive letter
// (or a UNC share) and at least one folder below the root, with no "." or
// ".." components. An empty, relative or root path is refused.
bool IsPurgeRootAllowed(const std::wstring& folder);

// Purges folder (without a trailing "\"). Without uninstall, files named
// "Launcher.exe" stay; with it, every file goes and the folder that holds
// folder is removed too when it ends up empty. A refused folder is logged
// and nothing is deleted. The work stops early once stop is set. Logs
// "Purging download cache..." before the deletions and "Purge complete" at
// the end. A folder that does not exist leaves nothing: the outcome is
// complete.
PurgeOutcome PurgeFolder(const std::wstring& folder, bool uninstall, PurgeCounters& counters,
                         const std::atomic<bool>& stop);
