#include "req_purge_cache.h"

#include "command_line.h"
#include "launcher_settings.h"
#include "localization.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

#include <process.h>

ReqPurgeCache::~ReqPurgeCache()
{
    stop_ = true;
    if (worker_)
        WaitForSingleObject(worker_.Get(), INFINITE);
}

HWND ReqPurgeCache::Run(HWND parent)
{
    if (DownloadFolder.empty())
        return nullptr;
    folder_ = DownloadFolder;
    return ShowStepPage(parent, PageProc, reinterpret_cast<LPARAM>(this));
}

float ReqPurgeCache::GetProgress()
{
    int64_t found = counters_.bytesFound;
    if (found == 0)
        return 0.0f;
    return static_cast<float>(counters_.bytesDeleted) / static_cast<float>(found);
}

INT_PTR CALLBACK ReqPurgeCache::PageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto* step = reinterpret_cast<ReqPurgeCache*>(lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, lParam);
        SetDlgItemTextByKey(GetParent(page), IDC_STATUS_TEXT, "DELETING_CACHE");
        step->page_ = page;
        step->worker_.Reset(
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0x80000, WorkerProc, step, 0, nullptr)));
        if (!step->worker_)
            PostStepSucceeded(page);
        return FALSE;
    }
    case WM_DESTROY:
        SetWindowLongPtrW(page, GWLP_USERDATA, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

unsigned __stdcall ReqPurgeCache::WorkerProc(void* self)
{
    auto* step = static_cast<ReqPurgeCache*>(self);
    PurgeFolder(step->folder_, HasOption(L"-uninstall"), step->counters_, step->stop_);
    PostStepSucceeded(step->page_);
    return 0;
}
