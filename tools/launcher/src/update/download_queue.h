// The DownloadQueue of one update pass: the manifest entries whose local copy
// is missing or differs, largest first.
//
// Building it walks the manifest on the update worker, before any download
// thread runs; the download threads then take its entries by address, so the
// queue must not change while they work.
#pragma once

#include "manifest.h"
#include "requirement.h"

#include <atomic>
#include <cstdint>
#include <vector>

using DownloadQueue = std::vector<ManifestEntry>;

// Which entries an update pass takes.
enum BinariesPass : int {
    PASS_LAUNCHER = 0, // launcher files and agreement documents
    PASS_CONTENT = 1,  // the game's files
    PASS_CACHE = 2,    // the game's cache files
};

// Process-wide: only the first queue built in a process honours "-force:binaries".
extern bool ForceBinariesUsed;

// Force for this build: the first build of the process with "-force:binaries"
// in the command line. Marks the flag used.
bool TakeForceBinaries();

// What building a queue reads, and what it gives back to its step.
struct QueueBuild {
    // In.
    int pass = PASS_LAUNCHER;
    bool force = false;            // queue every taken entry except the agreement documents
    bool bulkDownload = true;      // EnableBulkDownload: cache files may come over HTTP
    bool debuggerAttached = false; // a queued launcher file then asks for no relaunch
    const std::atomic<bool>* abortRequested = nullptr;
    bool (*isApplicable)(const std::wstring& remoteName) = nullptr; // null: every entry applies
    const std::wstring* eulaPath = nullptr;                         // the agreement documents' local paths
    const std::wstring* cbaPath = nullptr;
    int hashThreads = 0; // the threads that hash the local files; 0: sized to the processors
    // In and out: the step's kind.
    StepKind kind = STEP_PROGRESS_LIGHT;
    // Out.
    int64_t bytesToFetch = 0;
    bool relaunchNeeded = false;
    bool eulaQueued = false; // the caller empties "ReadEula"
    bool cbaQueued = false;  // the caller empties "ReadCba"
};

// Fills queue from entries (the manifest, in order) for build.pass: hashes
// each taken entry's local file (cache files only by existence), adds the
// companion files of queued cache files and sorts the queue by size. Gives
// false, with the queue incomplete, when the abort flag was seen. The files
// are hashed several at once (FileLookAhead), but every decision and log
// line is made in the manifest's order, as one file after the other would
// make it.
bool BuildDownloadQueue(const ManifestList& entries, QueueBuild& build, DownloadQueue& queue);

// The settings side of a build: a queued EULA or CBA document empties
// "ReadEula" or "ReadCba", so the agreement is asked for again.
void ResetAgreementAcceptance(const QueueBuild& build);

// Stable: an entry moves before another only when it is larger.
void SortQueueBySize(DownloadQueue& queue);
