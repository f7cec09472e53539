// The four chains of steps and BuildChain, which appends one of them to the
// (empty) RequirementQueue.
#pragma once

#include "requirement.h"

// CHAIN_MAIN (also any value other than 1 to 3), CHAIN_PURGE (PurgeCache,
// then the main chain), CHAIN_RETRY_PROMPT, CHAIN_SUPPORT. With "-uninstall"
// on the command line every type gives PurgeCache alone. Resets DoneWeight;
// the main chain also clears the StepError.
void BuildChain(int type);
