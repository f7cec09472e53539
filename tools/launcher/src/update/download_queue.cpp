#include "download_queue.h"

#include "command_line.h"
#include "file_look_ahead.h"
#include "hash_file.h"
#include "log.h"
#include "settings_store.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>

bool ForceBinariesUsed = false;

namespace {

bool TakesKind(int pass, ManifestEntryKind kind)
{
    switch (pass) {
    case PASS_LAUNCHER:
        return kind == ENTRY_LAUNCHER_FILE || kind == ENTRY_AGREEMENT;
    case PASS_CONTENT:
        return kind == ENTRY_CONTENT;
    case PASS_CACHE:
        return kind == ENTRY_CACHE;
    default:
        return false;
    }
}

// Sizes come from the manifest; a sum that would overflow stays at the
// largest value instead of turning negative.
void AddSize(int64_t& total, int64_t size)
{
    if (size > 0 && total > INT64_MAX - size)
        total = INT64_MAX;
    else
        total += size;
}

std::wstring PathWithoutExtension(const std::wstring& path)
{
    size_t separator = path.find_last_of(L"/\\");
    size_t fileStart = separator == std::wstring::npos ? 0 : separator + 1;
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < fileStart)
        return path;
    return path.substr(0, dot);
}

// Whether the local copy of entry, as the look-ahead opened it (the handle
// is left open), is missing or differs from the manifest.
bool LocalCopyDiffers(const ManifestEntry& entry, const LookAheadFile& local, FileHasher& hasher,
                      const std::atomic<bool>* abortRequested)
{
    HANDLE file = local.file;
    if (file == INVALID_HANDLE_VALUE) {
        LogPrintf(L"Queuing %s [%s]%s\n", entry.localPath.c_str(), entry.md5.c_str(),
                  entry.archive ? L" from archive" : L"");
        return true;
    }
    bool differs = false;
    if (entry.kind != ENTRY_CACHE) {
        LogPrintf(L"Hashing %s...\n", entry.localPath.c_str());
        std::wstring hash = local.digest.empty() ? hasher.Hash(file, abortRequested)
                                                 : hasher.HashedAhead(local.digest, abortRequested);
        if (hash.empty()) {
            differs = true;
        } else if (hash != entry.md5) {
            LogPrintf(L"Got %s but expected %s\n", hash.c_str(), entry.md5.c_str());
            differs = true;
        }
    }
    return differs;
}

// Two entries for one local file (names that differ only in letter case, or
// one path as both ".lzma" and ".bulk") would have two download threads
// write the same file: only the first is queued.
std::wstring LocalKey(const std::wstring& path)
{
    std::wstring key = path;
    CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
}

bool TakeLocalPath(std::unordered_set<std::wstring>& taken, const ManifestEntry& entry)
{
    if (taken.insert(LocalKey(entry.localPath)).second)
        return true;
    LogPrintf(L"Not queuing %s: its local file is already queued\n", entry.remoteName.c_str());
    return false;
}

// Cache files travel with their companions: a queued ".toc" brings the
// ".cache" of the same folder and stem, and the reverse.
void AddCompanions(const ManifestList& entries, QueueBuild& build, DownloadQueue& queue,
                   std::unordered_set<std::wstring>& localPaths)
{
    std::unordered_set<std::wstring> queued;
    for (const ManifestEntry& entry : queue)
        queued.insert(entry.remoteName);

    std::unordered_map<std::wstring, std::vector<size_t>> byStem;
    for (size_t i = 0; i < entries.size(); ++i)
        byStem[PathWithoutExtension(entries[i].localPath)].push_back(i);

    for (const ManifestEntry& cache : entries) {
        if (cache.kind != ENTRY_CACHE || !queued.count(cache.remoteName))
            continue;
        for (size_t index : byStem[PathWithoutExtension(cache.localPath)]) {
            const ManifestEntry& companion = entries[index];
            if (queued.count(companion.remoteName))
                continue;
            queued.insert(companion.remoteName);
            if (!TakeLocalPath(localPaths, companion))
                continue;
            AddSize(build.bytesToFetch, companion.size);
            queue.push_back(companion);
        }
    }
}

} // namespace

bool TakeForceBinaries()
{
    bool force = !ForceBinariesUsed && HasOption(L"-force:binaries");
    ForceBinariesUsed = true;
    return force;
}

bool BuildDownloadQueue(const ManifestList& entries, QueueBuild& build, DownloadQueue& queue)
{
    queue.clear();
    build.bytesToFetch = 0;
    build.relaunchNeeded = false;
    build.eulaQueued = false;
    build.cbaQueued = false;
    bool cacheQueued = false;
    std::unordered_set<std::wstring> localPaths;
    FileHasher hasher;

    // The entries this pass takes, in manifest order; their local files are
    // opened ahead of the walk.
    std::vector<const ManifestEntry*> taken;
    std::vector<LookAheadRequest> localFiles;
    for (const ManifestEntry& entry : entries) {
        if (!TakesKind(build.pass, entry.kind))
            continue;
        bool applies = entry.archive || !build.isApplicable || build.isApplicable(entry.remoteName);
        if (!applies || (!build.bulkDownload && entry.kind == ENTRY_CACHE && !entry.archive))
            continue;
        taken.push_back(&entry);
        // Cache files that exist are never hashed.
        localFiles.push_back({&entry.localPath, entry.kind != ENTRY_CACHE});
    }
    FileLookAhead lookAhead(localFiles);

    for (size_t index = 0; index < taken.size(); ++index) {
        const ManifestEntry& entry = *taken[index];
        if (build.abortRequested && build.abortRequested->load())
            return false;
        LookAheadFile file = lookAhead.Take(index);
        bool queueIt = LocalCopyDiffers(entry, file, hasher, build.abortRequested);
        lookAhead.Release(file.file);
        if (build.abortRequested && build.abortRequested->load())
            return false;
        bool isEula = build.eulaPath && entry.localPath == *build.eulaPath;
        bool isCba = build.cbaPath && entry.localPath == *build.cbaPath;
        if (build.force && !isEula && !isCba)
            queueIt = true;
        if (!queueIt || !TakeLocalPath(localPaths, entry))
            continue;

        if (entry.kind == ENTRY_CACHE)
            cacheQueued = true;
        AddSize(build.bytesToFetch, entry.size);
        queue.push_back(entry);
        if (isEula)
            build.eulaQueued = true;
        if (isCba)
            build.cbaQueued = true;
        if (entry.kind == ENTRY_LAUNCHER_FILE && !build.debuggerAttached)
            build.relaunchNeeded = true;
    }

    if (queue.empty()) {
        build.kind = STEP_PROGRESS_LIGHT;
        return true;
    }
    if (!cacheQueued && build.kind == STEP_PROGRESS_HEAVY)
        build.kind = STEP_PROGRESS_NORMAL;
    AddCompanions(entries, build, queue, localPaths);
    SortQueueBySize(queue);
    return true;
}

void ResetAgreementAcceptance(const QueueBuild& build)
{
    if (build.eulaQueued)
        WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", L"");
    if (build.cbaQueued)
        WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"");
}

void SortQueueBySize(DownloadQueue& queue)
{
    std::stable_sort(queue.begin(), queue.end(),
                     [](const ManifestEntry& x, const ManifestEntry& y) { return x.size > y.size; });
}
