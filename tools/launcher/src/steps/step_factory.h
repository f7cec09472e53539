// The one place where the steps of the chains are made. BuildChain asks for
// each step by its StepId.
#pragma once

#include "requirement.h"

enum StepId {
    // Main chain.
    STEP_PLATFORM,
    STEP_PICK_DIRECTORY,
    STEP_FIREWALL,
    STEP_GAME_RUNNING,
    STEP_BINARIES0,
    STEP_CBA,
    STEP_EULA,
    STEP_DIRECTX,
    STEP_BINARIES1,
    STEP_COLLECT_GARBAGE,
    STEP_DEFRAG0,
    STEP_BINARIES2,
    STEP_REPAIR,
    STEP_PREPROCESS,
    STEP_DEFRAG1,
    STEP_READY_TO_PLAY,
    // Support chain.
    STEP_MAKE_LOG_DIRECTORY,
    STEP_CLIENT_IP,
    STEP_TRACE_ROUTE,
    STEP_TASK_LIST,
    STEP_DX_DIAG,
    STEP_COPY_LOGS,
    STEP_READY_FOR_SUPPORT,
    // Retry and purge.
    STEP_RETRY_PROMPT,
    STEP_PURGE_CACHE,
    STEP_ID_COUNT
};

// The step's name in the chains, the log and StepStatistics ("Platform",
// "Binaries0", ...): a static literal.
const wchar_t* GetStepName(StepId id);

// The StepKind a step is created with. Binaries1 and Binaries2 weigh heavy
// with bulk download, light without.
StepKind GetInitialStepKind(StepId id);

// A new step; the caller (the queue) owns it. Null for STEP_ID_COUNT.
Requirement* CreateStep(StepId id);

// Tests that drive the main window make the chains' steps themselves: when
// set, CreateStep asks it first and uses what it returns unless that is
// null.
using StepFactoryHook = Requirement* (*)(StepId id);
extern StepFactoryHook StepFactoryForTest;
