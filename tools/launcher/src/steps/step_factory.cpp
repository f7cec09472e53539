#include "step_factory.h"

#include "agreements/req_agreement.h"
#include "applets/applet_steps.h"
#include "binaries/binaries_step.h"
#include "firewall/req_firewall.h"
#include "launcher_settings.h"
#include "machine/directx_step.h"
#include "machine/game_running_step.h"
#include "machine/pick_directory_step.h"
#include "machine/platform_step.h"
#include "machine/ready_to_play_step.h"
#include "machine/retry_prompt_step.h"
#include "purge/req_purge_cache.h"
#include "support/req_client_ip.h"
#include "support/req_diagnostic_tools.h"
#include "support/req_dx_diag.h"
#include "support/req_ready_for_support.h"
#include "support/support_folder.h"

namespace {

struct StepInfo {
    const wchar_t* name;
    StepKind kind;
};

// Indexed by StepId.
const StepInfo Steps[STEP_ID_COUNT] = {
    {L"Platform", STEP_PROGRESS_MARQUEE},
    {L"PickDirectory", STEP_PROGRESS_HIDDEN},
    {L"Firewall", STEP_PROGRESS_HIDDEN},
    {L"GameRunning", STEP_PROGRESS_MARQUEE},
    {L"Binaries0", STEP_PROGRESS_LIGHT},
    {L"CBA", STEP_PROGRESS_HIDDEN},
    {L"EULA", STEP_PROGRESS_HIDDEN},
    {L"DirectX", STEP_PROGRESS_MARQUEE},
    {L"Binaries1", STEP_PROGRESS_LIGHT}, // heavy with bulk download
    {L"CollectGarbage", STEP_PROGRESS_NORMAL},
    {L"Defrag0", STEP_PROGRESS_NORMAL},
    {L"Binaries2", STEP_PROGRESS_LIGHT}, // heavy with bulk download
    {L"Repair", STEP_PROGRESS_NORMAL},
    {L"Preprocess", STEP_PROGRESS_NORMAL},
    {L"Defrag1", STEP_PROGRESS_NORMAL},
    {L"ReadyToPlay", STEP_PROGRESS_FULL},
    {L"MakeLogDirectory", STEP_PROGRESS_HIDDEN},
    {L"ClientIP", STEP_PROGRESS_MARQUEE},
    {L"TraceRoute", STEP_PROGRESS_NORMAL},
    {L"TaskList", STEP_PROGRESS_NORMAL},
    {L"DxDiag", STEP_PROGRESS_NORMAL},
    {L"CopyLogs", STEP_PROGRESS_HIDDEN},
    {L"ReadyForSupport", STEP_PROGRESS_FULL},
    {L"RetryPrompt", STEP_PROGRESS_HIDDEN},
    {L"PurgeCache", STEP_PROGRESS_NORMAL},
};

} // namespace

const wchar_t* GetStepName(StepId id)
{
    return Steps[id].name;
}

StepKind GetInitialStepKind(StepId id)
{
    if ((id == STEP_BINARIES1 || id == STEP_BINARIES2) && EnableBulkDownload)
        return STEP_PROGRESS_HEAVY;
    return Steps[id].kind;
}

StepFactoryHook StepFactoryForTest = nullptr;

Requirement* CreateStep(StepId id)
{
    if (StepFactoryForTest) {
        if (Requirement* step = StepFactoryForTest(id))
            return step;
    }
    // Each step's own class takes its place here as it becomes part of the
    // launcher.
    switch (id) {
    case STEP_BINARIES0:
        return new ReqBinaries(PASS_LAUNCHER);
    case STEP_BINARIES1:
        return new ReqBinaries(PASS_CONTENT);
    case STEP_COLLECT_GARBAGE:
        return new ReqCollectGarbage();
    case STEP_DEFRAG0:
        return new ReqDefrag(0);
    case STEP_BINARIES2:
        return new ReqBinaries(PASS_CACHE);
    case STEP_REPAIR:
        return new ReqRepair();
    case STEP_PREPROCESS:
        return new ReqPreprocess();
    case STEP_DEFRAG1:
        return new ReqDefrag(1);
    case STEP_FIREWALL:
        return new ReqFirewall();
    case STEP_CBA:
        return new ReqCBA();
    case STEP_EULA:
        return new ReqEULA();
    case STEP_MAKE_LOG_DIRECTORY:
        return new ReqMakeLogDirectory();
    case STEP_CLIENT_IP:
        return new ReqClientIP();
    case STEP_TRACE_ROUTE:
        return new ReqTraceRoute();
    case STEP_TASK_LIST:
        return new ReqTaskList();
    case STEP_DX_DIAG:
        return new ReqDxDiag();
    case STEP_COPY_LOGS:
        return new ReqCopyLogs();
    case STEP_READY_FOR_SUPPORT:
        return new ReqReadyForSupport();
    case STEP_PURGE_CACHE:
        return new ReqPurgeCache();
    case STEP_PLATFORM:
        return new ReqPlatform();
    case STEP_PICK_DIRECTORY:
        return new ReqPickDirectory();
    case STEP_GAME_RUNNING:
        return new ReqGameRunning();
    case STEP_DIRECTX:
        return new ReqDirectX();
    case STEP_READY_TO_PLAY:
        return new ReqReadyToPlay();
    case STEP_RETRY_PROMPT:
        return new ReqRetryPrompt();
    case STEP_ID_COUNT:
        break;
    }
    return nullptr;
}
