// ReqPurgeCache ("PurgeCache"): deletes everything below the install folder
// (DownloadDir) on a worker thread while its page shows "DELETING_CACHE" and
// the bar follows the bytes deleted. The only step that "-uninstall" builds,
// and the first of the purge chain.
//
// In the purge chain the step always ends with WM_STEP_SUCCEEDED: the main
// chain that follows fetches whatever is missing. An uninstall is its run's
// whole work, so one that left the install (a refused folder, a worker that
// could not start, files or folders that stayed) does not end as done: its
// page says what stayed and offers QUIT; headless, the run ends with
// EXIT_RUN_FAILED.
// With no install folder stored there is nothing to purge: the step is done
// at once.
#pragma once

#include "purge_folder.h"
#include "requirement.h"
#include "scoped_handles.h"

#include <atomic>
#include <string>

// Posted by the worker to its page when an uninstall left something of the
// install; wParam and lParam 0.
#define WM_PURGE_INCOMPLETE (WM_APP + 2)

class ReqPurgeCache : public Requirement {
  public:
    ReqPurgeCache() : Requirement(STEP_PROGRESS_NORMAL) {}
    // Stops the worker at its next file and waits for it.
    ~ReqPurgeCache() override;

    // Null at once when DownloadDir is empty; else the page.
    HWND Run(HWND parent) override;
    // Bytes deleted / bytes found; 0 while nothing was found.
    float GetProgress() override;

  private:
    static INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    static unsigned __stdcall WorkerProc(void* self);
    // On the page's thread: an uninstall that left something says what.
    void ShowIncomplete(HWND page);

    HWND page_ = nullptr;
    std::wstring folder_; // DownloadDir when the step ran
    bool uninstall_ = false;
    UniqueHandle worker_;
    DWORD startError_ = 0; // why the worker could not start
    bool workerFailed_ = false;
    PurgeOutcome outcome_;    // written by the worker before it reports
    bool incomplete_ = false; // the page shows what stayed, with QUIT
    PurgeCounters counters_;
    std::atomic<bool> stop_{false};
};
