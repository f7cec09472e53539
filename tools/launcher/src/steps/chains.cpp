#include "chains.h"

#include "command_line.h"
#include "requirement_queue.h"
#include "step_error.h"
#include "step_factory.h"

namespace {

const StepId MainChain[] = {
    STEP_PLATFORM, STEP_PICK_DIRECTORY, STEP_FIREWALL,  STEP_GAME_RUNNING,    STEP_BINARIES0, STEP_CBA,
    STEP_EULA,     STEP_DIRECTX,        STEP_BINARIES1, STEP_COLLECT_GARBAGE, STEP_DEFRAG0,   STEP_BINARIES2,
    STEP_REPAIR,   STEP_PREPROCESS,     STEP_DEFRAG1,   STEP_READY_TO_PLAY,
};

const StepId SupportChain[] = {
    STEP_MAKE_LOG_DIRECTORY, STEP_CLIENT_IP,         STEP_TRACE_ROUTE, STEP_TASK_LIST, STEP_DX_DIAG,
    STEP_COPY_LOGS,          STEP_READY_FOR_SUPPORT,
};

void Append(StepId id)
{
    if (Requirement* step = CreateStep(id))
        AppendStep(step, GetStepName(id));
}

template <size_t N> void AppendAll(const StepId (&chain)[N])
{
    for (StepId id : chain)
        Append(id);
}

} // namespace

void BuildChain(int type)
{
    DoneWeight = 0.0f;
    bool uninstall = HasOption(L"-uninstall");
    if (uninstall || type == CHAIN_PURGE)
        Append(STEP_PURGE_CACHE);
    if (uninstall)
        return;
    if (type == CHAIN_RETRY_PROMPT) {
        Append(STEP_RETRY_PROMPT);
        return;
    }
    if (type == CHAIN_SUPPORT) {
        AppendAll(SupportChain);
        return;
    }
    AppendAll(MainChain);
    SetStepError(L"", false);
}
