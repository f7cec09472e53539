#include "req_purge_cache.h"

#include "button_subclass.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

#include <process.h>

namespace {

std::wstring LocalText(const char* key)
{
    std::wstring text;
    GetLocalizedText(key, text);
    return text;
}

// The localised text of key with its first "<COUNT>" replaced by count.
std::wstring TextWithCount(const char* key, uint64_t count)
{
    std::wstring text = LocalText(key);
    size_t at = text.find(L"<COUNT>");
    if (at != std::wstring::npos)
        text.replace(at, 7, std::to_wstring(count));
    return text;
}

} // namespace

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
    uninstall_ = HasOption(L"-uninstall");
    return ShowStepPage(parent, PageProc, reinterpret_cast<LPARAM>(this));
}

float ReqPurgeCache::GetProgress()
{
    int64_t found = counters_.bytesFound;
    if (found == 0)
        return 0.0f;
    return static_cast<float>(counters_.bytesDeleted) / static_cast<float>(found);
}

void ReqPurgeCache::ShowIncomplete(HWND page)
{
    std::wstring text = LocalText("DELETE_CACHE_FAILED") + L"\n\n";
    if (workerFailed_) {
        std::wstring reason;
        AppendSystemErrorText(reason, startError_, 1033);
        LogPrintf(L"Uninstall incomplete: the purge could not start: %s\n", reason.c_str());
        AppendSystemErrorText(text, startError_, 1024);
    } else if (outcome_.refused) {
        LogPrintf(L"Uninstall incomplete: the install folder %s was refused, nothing was deleted\n",
                  folder_.c_str());
        text += LocalText("PurgeFolderRefused") + L"\n" + folder_;
    } else {
        LogPrintf(L"Uninstall incomplete: %I64u file(s) stayed, the first %s\n", outcome_.kept,
                  outcome_.firstKept.c_str());
        text += TextWithCount("PurgeFilesKept", outcome_.kept) + L"\n" + outcome_.firstKept;
    }
    kind = STEP_PROGRESS_HIDDEN;
    HWND parent = GetParent(page);
    // The console prints the text; the run's script learns from the code.
    if (HeadlessMode) {
        SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        EndFailedRun(EXIT_RUN_FAILED);
        return;
    }
    // The page no longer deletes: its status goes, the text says what
    // stayed, and QUIT ends the run as the person's choice.
    if (HWND status = GetDlgItem(parent, IDC_STATUS_TEXT))
        SetTransparentText(status, L"");
    SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (HWND button = GetDlgItem(parent, IDC_MAIN_BUTTON)) {
        EnableWindow(button, TRUE);
        SetWindowTextByKey(button, "QUIT", true);
        FocusActionButton(button);
    }
    incomplete_ = true;
}

INT_PTR CALLBACK ReqPurgeCache::PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* step = reinterpret_cast<ReqPurgeCache*>(GetWindowLongPtrW(page, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        step = reinterpret_cast<ReqPurgeCache*>(lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, lParam);
        SetDlgItemTextByKey(GetParent(page), IDC_STATUS_TEXT, "DELETING_CACHE");
        step->page_ = page;
        step->worker_.Reset(
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0x80000, WorkerProc, step, 0, nullptr)));
        if (!step->worker_) {
            step->startError_ = GetLastError();
            step->workerFailed_ = true;
            // Without an uninstall the chain goes on to fetch what is there.
            if (step->uninstall_)
                PostMessageW(page, WM_PURGE_INCOMPLETE, 0, 0);
            else
                PostStepSucceeded(page);
        }
        return FALSE;
    }
    case WM_PURGE_INCOMPLETE:
        if (step)
            step->ShowIncomplete(page);
        return TRUE;
    case WM_COMMAND:
        if (step && step->incomplete_ && HIWORD(wParam) == 0 && LOWORD(wParam) == IDC_MAIN_BUTTON) {
            PostQuitMessage(0);
            return TRUE;
        }
        return FALSE;
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
    step->outcome_ = PurgeFolder(step->folder_, step->uninstall_, step->counters_, step->stop_);
    if (step->uninstall_ && !step->outcome_.Complete() && !step->stop_)
        PostMessageW(step->page_, WM_PURGE_INCOMPLETE, 0, 0);
    else
        PostStepSucceeded(step->page_);
    return 0;
}
