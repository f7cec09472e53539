#include "binaries_step.h"

#include "command_line.h"
#include "entry_applicability.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "relaunch.h"
#include "settings_store.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"
#include "strings.h"
#include "text_table.h"

#include <process.h>

namespace {

constexpr UINT_PTR kStatusTimer = 1;
constexpr UINT kStatusTimerMs = 250;
constexpr unsigned kThreadStack = 0x80000;

int CachedCoreCount = 0;

void ShowStatusKey(HWND page, const char* key)
{
    HWND parent = GetParent(page);
    if (parent)
        SetDlgItemTextByKey(parent, IDC_STATUS_TEXT, key);
}

void StartPage(HWND page, ReqBinaries* step)
{
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(step));
    ShowStatusKey(page, "CHECKING_FOR_UPDATES");
    step->PageWindow = page;
    DWORD result = InternetAttemptConnect(0);
    if (result != ERROR_SUCCESS) {
        LogPrintf(L"InternetAttemptConnect failed 0x%08X\n", result);
        std::wstring text;
        GetLocalizedText("NO_INTERNET", text);
        text += L"\n\n";
        AppendSystemErrorText(text, result, 1024);
        SetStepError(text, true);
        PostStepFailed(GetParent(page), page, CHAIN_RETRY_PROMPT);
        return;
    }
    step->WorkerThread.Reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, kThreadStack, ReqBinaries::WorkerThreadProc, step, 0, nullptr)));
    if (!step->WorkerThread) {
        // Without a worker the page would wait for an end that never comes.
        LogWrite(L"Could not start the update worker\n");
        PostStepFailed(GetParent(page), page, CHAIN_RETRY_PROMPT);
        return;
    }
    SetTimer(page, kStatusTimer, kStatusTimerMs, nullptr);
}

void TickStatus(HWND page, ReqBinaries* step)
{
    int built = step->BuiltKind.exchange(-1);
    if (built >= 0)
        step->kind = static_cast<StepKind>(built);
    int64_t total = step->BytesToFetch.load();
    if (total == 0)
        return;
    int phase = step->Phase.load();
    if (phase != step->PhaseShown) {
        ShowStatusKey(page, phase == PHASE_INSTALLING ? "INSTALLING" : "DOWNLOADING_UPDATES");
        step->PhaseShown = phase;
    }
    step->UpdateStatusText(page, step->BytesDone.load(), total);
}

void FinishUpdate(HWND page, ReqBinaries* step)
{
    int built = step->BuiltKind.exchange(-1);
    if (built >= 0)
        step->kind = static_cast<StepKind>(built);
    if (!step->RelaunchNeeded) {
        PostStepSucceeded(page);
        return;
    }
    step->PutStatistic(L"Relaunched", 1);
    if (RelaunchLauncher(true, false))
        return;
    // The copy could not be started: the run goes on here, and the retry
    // page says why rather than the page waiting for ever.
    PostStepFailed(GetParent(page), page, CHAIN_RETRY_PROMPT);
}

// The page now only says why nothing downloads. Its refresh would bring back
// the bar (the kind the queue build chose) and a download status, so it ends
// here, and what it had written goes. Headless, nobody is there to free space
// or choose another folder: the text is on the console (it came before this
// command) and the run ends as failed.
void ShowDiskText(HWND page, ReqBinaries* step)
{
    KillTimer(page, kStatusTimer);
    step->BuiltKind = -1;
    step->kind = STEP_PROGRESS_HIDDEN;
    if (HeadlessMode) {
        EndFailedRun(EXIT_RUN_FAILED);
        return;
    }
    HWND parent = GetParent(page);
    if (!parent)
        return;
    for (int item : {IDC_STATUS_TEXT, IDC_STATUS_DETAIL}) {
        if (HWND control = GetDlgItem(parent, item))
            SetTransparentText(control, L"");
    }
}

} // namespace

int CountProcessorCores()
{
    DWORD length = 0;
    if (!GetLogicalProcessorInformation(nullptr, &length) && GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
        length != 0 && length % sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION) == 0) {
        std::vector<SYSTEM_LOGICAL_PROCESSOR_INFORMATION> records(
            length / sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION));
        if (GetLogicalProcessorInformation(records.data(), &length)) {
            int cores = 0;
            for (const auto& record : records) {
                if (record.Relationship == RelationProcessorCore)
                    ++cores;
            }
            if (cores > 0)
                return cores;
        }
    }
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return static_cast<int>(info.dwNumberOfProcessors);
}

int DownloadWorkerCount()
{
    if (!EnableAggressiveDownload)
        return 1;
    if (CachedCoreCount == 0)
        CachedCoreCount = CountProcessorCores();
    return CachedCoreCount > 0 ? CachedCoreCount : 1;
}

ReqBinaries::ReqBinaries(int pass)
    : Requirement(pass != PASS_LAUNCHER && EnableBulkDownload ? STEP_PROGRESS_HEAVY : STEP_PROGRESS_LIGHT),
      Pass(pass)
{
    int workers = DownloadWorkerCount();
    CompletionPort.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, workers));
    if (!CompletionPort) // RunDownloads fails the pass that needs it
        LogPrintf(L"Could not create the download completion port (0x%08X)\n", GetLastError());
    if (!CryptAcquireContextW(&CryptoProvider, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        LogWrite(L"Could not CryptAcquireContext\n");
        CryptoProvider = 0;
    }
}

ReqBinaries::~ReqBinaries()
{
    PageWindow = nullptr;
    AbortRequested = true;
    if (WorkerThread) {
        WaitForSingleObject(WorkerThread.Get(), INFINITE);
        WorkerThread.Reset();
    }
    if (CryptoProvider)
        CryptReleaseContext(CryptoProvider, 0);
}

StatisticsMap ReqBinaries::GetStatistics()
{
    return AddDownloadStatistics();
}

HWND ReqBinaries::Run(HWND parent)
{
    const wchar_t* code = LanguageCodeFromIndex(LanguageIndex);
    FormatString(EulaName, 16, L"/eula_%s", code ? code : L"");
    FormatString(CbaName, 16, L"/cba_%s", code ? code : L"");
    EulaFilePath.clear();
    CbaFilePath.clear();
    GetSettingsKeyPath(SCOPE_CLIENT_TYPE); // sets ClientType
    SteamBuild = ClientType.find(L"Steam") != std::wstring::npos;
    return ShowStepPage(parent, DialogProc, reinterpret_cast<LPARAM>(this));
}

float ReqBinaries::GetProgress()
{
    int64_t total = BytesToFetch.load();
    if (total == 0)
        return 0.0f;
    return static_cast<float>(BytesDone.load()) / static_cast<float>(total);
}

INT_PTR CALLBACK ReqBinaries::DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* step = reinterpret_cast<ReqBinaries*>(GetWindowLongPtrW(page, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        StartPage(page, reinterpret_cast<ReqBinaries*>(lParam));
        return 1;
    case WM_TIMER:
        if (step)
            TickStatus(page, step);
        return 1;
    case WM_COMMAND:
        if (step && HIWORD(wParam) == 0 && LOWORD(wParam) == ID_UPDATE_FINISHED) {
            FinishUpdate(page, step);
            return 1;
        }
        if (step && HIWORD(wParam) == 0 && LOWORD(wParam) == ID_UPDATE_DISK_TEXT) {
            ShowDiskText(page, step);
            return 1;
        }
        return 0;
    case WM_DESTROY:
        if (step)
            step->FinishCounts(step->BytesDone.load());
        SetWindowLongPtrW(page, GWLP_USERDATA, 0);
        return 1;
    default:
        return 0;
    }
}

unsigned __stdcall ReqBinaries::WorkerThreadProc(void* step)
{
    static_cast<ReqBinaries*>(step)->UpdateWorker();
    return 0;
}
