#include "requirement_queue.h"

#include "chains.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "progress.h"
#include "step_messages.h"
#include "step_statistics.h"
#include "browser_runtime.h"

#include <mmsystem.h>

std::deque<std::unique_ptr<RequirementEntry>> RequirementQueue;
float DoneWeight = 0.0f;
DWORD TotalStepTime = 0;
HWND CurrentStepPage = nullptr;
HWND BrowserCommandTarget = nullptr;
bool ReadyToPlayReached = false;

namespace {

void SetCurrentPage(HWND page)
{
    CurrentStepPage = page;
    if (CefEnabled)
        BrowserCommandTarget = page;
}

void DestroyCurrentPage()
{
    if (!CurrentStepPage)
        return;
    HWND page = CurrentStepPage;
    SetCurrentPage(nullptr);
    DestroyWindow(page);
}

// Adds the front step's time to the total and logs its "Finished" line.
DWORD FinishFrontTiming()
{
    const RequirementEntry& front = *RequirementQueue.front();
    DWORD elapsed = timeGetTime() - front.start;
    TotalStepTime += elapsed;
    LogPrintf(L"Finished %s (%0.1f seconds)\n", front.name, elapsed / 1000.0f);
    return elapsed;
}

void ResetFooter(HWND parent)
{
    SetTransparentText(GetDlgItem(parent, IDC_STATUS_TEXT), L"");
    SetTransparentText(GetDlgItem(parent, IDC_STATUS_DETAIL), L"");
    HWND main = GetDlgItem(parent, IDC_MAIN_BUTTON);
    EnableWindow(main, FALSE);
    SetWindowTextByKey(main, "PLAY", true);
    EnableWindow(GetDlgItem(parent, IDC_ALT_BUTTON), FALSE);
}

// A step's Run may enter a modal loop (a folder dialog, a message box);
// a WM_STEP_NEXT handled there must not run the same step again.
bool QueueRunning = false;

// Clearing or advancing the queue destroys a page and deletes steps; a
// page's WM_DESTROY or a step's destructor may run a message loop, where a
// step message handled at once would change the queue under the change in
// progress (and leave a page holding a deleted step). Counted, since a
// change may nest in another (ClearQueue inside ReplaceChain).
int QueueChanges = 0;

class QueueChange {
public:
    QueueChange() { ++QueueChanges; }
    ~QueueChange() { --QueueChanges; }
    QueueChange(const QueueChange&) = delete;
    QueueChange& operator=(const QueueChange&) = delete;
};

} // namespace

void AppendStep(Requirement* step, const wchar_t* name)
{
    auto entry = std::make_unique<RequirementEntry>();
    entry->step.reset(step);
    entry->name = name;
    RequirementQueue.push_back(std::move(entry));
}

bool IsQueueRunning()
{
    return QueueRunning || QueueChanges > 0;
}

void RunQueue(HWND parent)
{
    if (IsQueueRunning())
        return;
    QueueRunning = true;
    if (!HeadlessMode)
        ResetFooter(parent);

    while (!RequirementQueue.empty()) {
        if (RequirementQueue.size() == 1)
            LogPrintf(L"Total time: %0.1f seconds\n", TotalStepTime / 1000.0f);

        RequirementEntry& front = *RequirementQueue.front();
        front.start = timeGetTime();
        HWND result = front.step->Run(parent);
        SetCurrentPage(result);

        if (result && result != parent) {
            QueueRunning = false;
            UpdateProgress(parent);
            return;
        }
        if (result == parent) {
            SetCurrentPage(nullptr);
            QueueRunning = false;
            return;
        }
        DWORD elapsed = FinishFrontTiming();
        RecordStepStatistics(&front, 1, elapsed);
        RequirementQueue.pop_front();
    }
    QueueRunning = false;
    PostQuitMessage(0);
}

void ClearQueue()
{
    QueueChange change;
    DestroyCurrentPage();
    if (!RequirementQueue.empty()) {
        const RequirementEntry* front = RequirementQueue.front().get();
        bool success = RequirementQueue.size() == 1 && wcscmp(front->name, L"ReadyToPlay") == 0;
        if (success)
            ReadyToPlayReached = true;
        RecordStepStatistics(front, success ? 1 : 0, 0);
    }
    while (!RequirementQueue.empty())
        RequirementQueue.pop_back();
}

void CompleteFrontStep(HWND window, bool recordStatistics)
{
    {
        QueueChange change;
        DestroyCurrentPage();
        if (RequirementQueue.empty())
            return;
        DWORD elapsed = FinishFrontTiming();
        const RequirementEntry* front = RequirementQueue.front().get();
        DoneWeight += GetStepWeight(front->step->kind);
        if (recordStatistics)
            RecordStepStatistics(front, 1, elapsed);
        RequirementQueue.pop_front();
        if (CefEnabled)
            ShowStartPage(false);
    }
    RunQueue(window);
}

void ReplaceChain(HWND window, int chainType)
{
    {
        QueueChange change;
        if (!RequirementQueue.empty())
            FinishFrontTiming();
        ClearQueue();
        if (chainType == CHAIN_PURGE)
            TotalStepTime = 0;
        SaveSettings();
        BuildChain(chainType);
    }
    RunQueue(window);
}
