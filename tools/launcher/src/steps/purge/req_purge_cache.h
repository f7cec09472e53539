// ReqPurgeCache ("PurgeCache"): deletes everything below the install folder
// (DownloadDir) on a worker thread while its page shows "DELETING_CACHE" and
// the bar follows the bytes deleted. The only step that "-uninstall" builds,
// and the first of the purge chain. Always ends with WM_STEP_SUCCEEDED.
#pragma once

#include "purge_folder.h"
#include "requirement.h"
#include "scoped_handles.h"

#include <atomic>
#include <string>

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

    HWND page_ = nullptr;
    std::wstring folder_; // DownloadDir when the step ran
    UniqueHandle worker_;
    PurgeCounters counters_;
    std::atomic<bool> stop_{false};
};
