// Whether FaultCourier runs on one of the maker's own machines, which adds
// the in-house extras to reports.
#pragma once

// Asked once per run (the machine's DNS name against the configured
// internal domain suffix); the answer stays for the rest of the run.
bool IsInHouseMachine();

// Tests: replaces the question asked of the machine and forgets the kept
// answer; null restores the real question.
void SetInHouseMachineQuery(bool (*query)());
