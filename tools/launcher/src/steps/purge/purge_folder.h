// The cache purge's work: deletes everything below the install folder,
// breadth first, and then the emptied folders, deepest first.
//
// Hidden and system entries are left alone, and so is everything above
// them. Files that another program holds open for writing are kept. Links
// and junctions are never entered (only folders whose real location lies
// below the purged folder are), so the purge cannot reach outside it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct PurgeCounters {
    std::atomic<int64_t> bytesFound{0};   // sizes of every file found for deletion
    std::atomic<int64_t> bytesDeleted{0}; // sizes of the files handled so far
};

// What a purge left of what it was to delete. Hidden and system entries and
// links are kept on purpose and are not counted; a file that another
// program holds (open for writing, or without letting it be deleted) or
// that could not be deleted is.
struct PurgeOutcome {
    bool refused = false;   // the folder itself was refused: nothing was deleted
    uint64_t filesKept = 0; // files that stayed
    std::wstring firstKept; // the first of them, by its full path
    bool Complete() const { return !refused && filesKept == 0; }
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
