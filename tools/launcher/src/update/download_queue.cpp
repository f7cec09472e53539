#include "download_queue.h"

#include "command_line.h"
#include "file_look_ahead.h"
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

// The walk's lines, written to the log a few KiB at a time: each write
// passes the text to the debugger output as well, which costs Wine a round
// trip to its server and more, as much as hashing a small file. The lines
// are the same and in the same order; they reach the log when the batch is
// full, when its first line is kLogHoldMs old, when the walk has waited
// kLogHoldMs for a file, and at the walk's end.
constexpr DWORD kLogHoldMs = 100;

class WalkLog : public LogLineWriter {
  public:
    WalkLog() { text_.reserve(kBatchChars + 1024); }
    ~WalkLog() { Flush(); }
    WalkLog(const WalkLog&) = delete;
    WalkLog& operator=(const WalkLog&) = delete;

    void Write(const wchar_t* text) override
    {
        ULONGLONG now = GetTickCount64();
        if (text_.empty())
            since_ = now;
        text_.append(text);
        if (text_.size() >= kBatchChars || now - since_ >= kLogHoldMs)
            Flush();
    }

    void Flush()
    {
        if (text_.empty())
            return;
        LogWrite(text_.c_str());
        text_.clear();
    }

  private:
    static constexpr size_t kBatchChars = 4000;
    std::wstring text_;
    ULONGLONG since_ = 0; // when the first line of the batch came
};

// Whether the local copy of entry, as the look-ahead found it, is missing or
// differs from the manifest. Every line about the file is logged here, in
// the walk's order, whichever thread hashed it.
bool LocalCopyDiffers(const ManifestEntry& entry, const LookAheadFile& local, bool slow,
                      const std::atomic<bool>* abortRequested, WalkLog& log)
{
    if (!local.opened) {
        log.Printf(L"Queuing %s [%s]%s\n", entry.localPath.c_str(), entry.md5.c_str(),
                   entry.archive ? L" from archive" : L"");
        return true;
    }
    if (entry.kind == ENTRY_CACHE)
        return false;
    log.Printf(L"Hashing %s...\n", entry.localPath.c_str());
    if (slow) {
        // "-force:slow" paces the walk, whichever thread hashed the file;
        // the line is in the log while it waits.
        log.Flush();
        Sleep(500);
        if (abortRequested && abortRequested->load()) {
            log.Write(L"Hashing stopped: the update is ending\n");
            return true;
        }
    }
    if (!local.notes.empty())
        log.Write(local.notes.c_str());
    if (local.digest.empty())
        return true;
    if (local.digest != entry.md5) {
        log.Printf(L"Got %s but expected %s\n", local.digest.c_str(), entry.md5.c_str());
        return true;
    }
    return false;
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

bool TakeLocalPath(std::unordered_set<std::wstring>& taken, const ManifestEntry& entry, WalkLog& log)
{
    if (taken.insert(LocalKey(entry.localPath)).second)
        return true;
    log.Printf(L"Not queuing %s: its local file is already queued\n", entry.remoteName.c_str());
    return false;
}

// Cache files travel with their companions: a queued ".toc" brings the
// ".cache" of the same folder and stem, and the reverse.
void AddCompanions(const ManifestList& entries, QueueBuild& build, DownloadQueue& queue,
                   std::unordered_set<std::wstring>& localPaths, WalkLog& log)
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
            if (!TakeLocalPath(localPaths, companion, log))
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
    const bool slow = HasOption(L"-force:slow");

    // The entries this pass takes, in manifest order; their local files are
    // opened and hashed ahead of the walk, several at once.
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
        localFiles.push_back({&entry.localPath, entry.kind != ENTRY_CACHE, entry.size});
    }
    FileLookAhead lookAhead(localFiles, build.abortRequested, build.hashThreads);
    WalkLog log;

    for (size_t index = 0; index < taken.size(); ++index) {
        const ManifestEntry& entry = *taken[index];
        if (build.abortRequested && build.abortRequested->load())
            return false;
        // What is decided is in the log before the walk waits for long.
        if (!lookAhead.WaitReady(index, kLogHoldMs))
            log.Flush();
        LookAheadFile file;
        if (!lookAhead.Take(index, file)) {
            log.Write(L"Hashing stopped: the update is ending\n");
            return false;
        }
        bool queueIt = LocalCopyDiffers(entry, file, slow, build.abortRequested, log);
        if (build.abortRequested && build.abortRequested->load())
            return false;
        bool isEula = build.eulaPath && entry.localPath == *build.eulaPath;
        bool isCba = build.cbaPath && entry.localPath == *build.cbaPath;
        if (build.force && !isEula && !isCba)
            queueIt = true;
        if (!queueIt || !TakeLocalPath(localPaths, entry, log))
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
    AddCompanions(entries, build, queue, localPaths, log);
    log.Flush();
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
