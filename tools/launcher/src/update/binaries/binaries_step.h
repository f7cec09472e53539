// ReqBinaries: the step of the main chain that keeps the installed files
// current, made three times per chain (one per BinariesPass).
//
// Threads: the page procedure and its 250 ms timer run on the user-interface
// thread; UpdateWorker runs on a worker thread of its own, and RunDownloads
// starts the download threads from it. Workers never touch a window: they
// post to the page (ID_UPDATE_FINISHED, ID_UPDATE_DISK_TEXT) or to the main
// window (the step messages). The destructor sets AbortRequested and waits for
// the worker, which waits for its download threads: no download thread
// outlives the step. A WinINet call that the abort left running ends on its
// connection's reader, which holds the handles it uses (content_reader.h).
#pragma once

#include "archive_entry.h"
#include "content_reader.h"
#include "download_progress.h"
#include "download_queue.h"
#include "download_transfer.h"
#include "manifest.h"
#include "requirement.h"
#include "scoped_handles.h"
#include "secure_redirect.h"
#include "shared_internet_handle.h"

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum UpdatePhase : int {
    PHASE_DOWNLOADING = 1, // "DOWNLOADING_UPDATES"
    PHASE_INSTALLING = 2,  // "INSTALLING", while files come out of the offline archive
};

// Page commands (WM_COMMAND, high word 0) the worker posts to its page.
constexpr WORD ID_UPDATE_FINISHED = 1016;
constexpr WORD ID_UPDATE_DISK_TEXT = 1017; // the disk text is shown: hide the bar, empty the status, stop

// The number of processor cores, counted once per process.
int CountProcessorCores();
// The number of download threads: the core count with EnableAggressiveDownload, else 1.
int DownloadWorkerCount();

enum DiskCheck { DISK_OK, DISK_SHORT, DISK_ERROR };

// The shortfall text for a number of bytes missing: the first "<BYTES>" of
// "INSUFFICIENT_SPACE" becomes the whole MiB (at least 1) and " MB".
std::wstring ShortfallText(int64_t shortfall);

// The module-wide disk check result: the key recorded in the statistics and
// the text shown on the main window (it stays valid for WM_STEP_SHOW_TEXT).
extern std::wstring DiskCheckText;
extern std::wstring DiskCheckStatKey;

// One HTTP connection of the step with the URL parts it was opened with; each
// thread keeps its own, so no thread reads parts another is writing. Its
// reader sends the connection's requests and reads their bodies.
struct ContentConnection {
    SharedInternetHandle handle;
    std::wstring basePath; // the object-name base: every object name is appended to it
    bool secure = false;
    int server = 0; // what OpenConnection was asked for, to open the connection anew
    bool swapScheme = false;
    ContentReader reader;
};

enum ContentServer : int {
    SERVER_CONTENT = 0,
    SERVER_ORIGIN = 1,
};

class ReqBinaries : public Requirement, public ReqDownload {
  public:
    explicit ReqBinaries(int pass);
    ~ReqBinaries() override;

    StatisticsMap GetStatistics() override;
    HWND Run(HWND parent) override;
    float GetProgress() override;

    static INT_PTR CALLBACK DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    static unsigned __stdcall WorkerThreadProc(void* step);
    static unsigned __stdcall DownloadThreadProc(void* step);

    // The order of work of the worker thread.
    void UpdateWorker();
    bool FetchManifest(ContentConnection& connection);
    bool BuildQueue(DownloadQueue& queue);
    DiskCheck CheckDiskSpace();
    bool FetchMotd();
    // An object of more than limit bytes (decoded) is refused before more
    // than limit bytes are written to the temporary file.
    bool FetchToMemory(std::vector<char>& buffer, ContentConnection& connection, const wchar_t* objectName,
                       bool allowCache, uint64_t limit);

    // The network side (http_download.cpp).
    bool OpenConnection(ContentConnection& connection, int server, bool swapScheme);
    // limit: the most bytes the object may store (DownloadTransfer::limit);
    // objectSize, when not negative: the manifest's size of the object, which
    // limits it further (DownloadTransfer::LimitToObject).
    bool DownloadFile(ContentConnection& connection, HANDLE file, const std::wstring& name,
                      std::wstring& hash, const std::wstring& remoteName, bool allowCache,
                      uint64_t limit = NO_SIZE_LIMIT, int64_t objectSize = -1);
    TransferResult SendRequest(DownloadTransfer& transfer);
    // Opens the request of the transfer at hop (an https redirect's next
    // address) and hands it to the transfer's reader in place of the
    // current one; false with the last error set.
    bool OpenRedirectHop(DownloadTransfer& transfer, const RedirectHop& hop);

    // The download threads and the file install (download_threads.cpp).
    bool RunDownloads(DownloadQueue& queue);
    bool UpdateFile(ContentConnection& connection, const ManifestEntry& entry);
    // Fills the open temporary file with the entry's object from the first
    // source that has it; hash receives the MD5 of what was written.
    bool FetchObject(ContentConnection& connection, const ManifestEntry& entry, HANDLE file,
                     const std::wstring& temporary, std::wstring& hash);

    // The entry's object out of the offline installer archive, with the
    // status line on "INSTALLING" (archive/archive_install.cpp); taken
    // receives the bytes read from the archive.
    bool ExtractFromArchive(const ArchiveEntry& entry, HANDLE file, const std::wstring& name,
                            std::wstring& hash, const ManifestEntry& manifestEntry, int64_t* taken = nullptr);

    HWND PageWindow = nullptr;
    UniqueHandle WorkerThread;
    UniqueHandle CompletionPort;
    std::atomic<int64_t> BytesDone{0};
    std::atomic<int64_t> BytesToFetch{0};
    DWORD DownloadStartTick = 0;
    std::atomic<int> Phase{PHASE_DOWNLOADING};
    int PhaseShown = 0;
    int Pass;
    wchar_t EulaName[16] = {};
    wchar_t CbaName[16] = {};
    std::atomic<bool> AbortRequested{false};
    bool RelaunchNeeded = false;
    SharedInternetHandle InternetSession;
    HCRYPTPROV CryptoProvider = 0;
    // The kind the queue build chose; the page copies it into kind on the
    // user-interface thread.
    std::atomic<int> BuiltKind{-1};
};

// The time-outs of the content update (ms), set on the session, each
// connection and each request handle.
constexpr DWORD CONTENT_TIMEOUT_MS = 30000;
void SetContentTimeouts(HINTERNET handle, DWORD connectTimeout);
