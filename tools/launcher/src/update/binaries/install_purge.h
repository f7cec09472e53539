// Work on the install folders rather than the network: the stale-file purge,
// the unused cache files, the file-system check and the backslash doubling of
// paths in failure texts.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Deletes the files of the install folder (and, outside single-cluster mode,
// the downloaded launcher folder) that match one of patterns (a null-ended
// list of lower-case wildcards) and that the manifest does not list; with
// removeEmptyFolders, then removes the folders left empty, deepest first.
// Also deletes the old "\Vantorel\origin" folder. Every failure is logged and
// skipped. An install folder that is empty, relative or a drive's root is
// refused (logged, nothing deleted below it). The walk never follows a link
// or junction, nor enters a folder that does not really lie where its name
// says ("Skipped link"), so it stays inside the folders it started from and
// judges each file by its own path (see purge_bounds.h).
void PurgeVestigialFiles(const std::atomic<bool>& abortRequested, const wchar_t* const* patterns,
                         bool removeEmptyFolders);

// Whether name (lower-cased, bounded to 260 characters) matches a pattern.
bool MatchesAnyPattern(const wchar_t* name, const wchar_t* const* patterns);

// Whether the purge must keep the file: the manifest lists it (in any letter
// case), or its path holds ".LightMap." or "\unins00".
bool IsKeptFile(const wchar_t* path);
// The same against the manifest's paths gathered once, for asking per file.
class ManifestPathSet;
bool IsKeptFile(const wchar_t* path, const ManifestPathSet& listed);

// Whether a folder may be walked by the purge: a full path below a drive's
// root or a share ("C:\x", "\\server\share\x").
bool IsPurgeableFolder(const std::wstring& folder);

struct UnusedCacheFile {
    std::wstring path;
    int64_t size = 0;
};

// The installed content and cache files that the current settings do not use
// (built once per manifest; not locked, so one thread at a time).
const std::vector<UnusedCacheFile>& ListUnusedCacheFiles();
// Called whenever a manifest is loaded: the list is built again on next use.
void ForgetUnusedCacheFiles();

// False for FAT, FAT32 and CDFS volumes (root path with a trailing "\"); a
// volume that cannot be asked counts as supported.
bool IsSupportedFileSystem(const wchar_t* root);

// A copy with every "\" doubled.
std::wstring DoubleBackslashes(const std::wstring& text);
