// StepStatistics: what every step of the run did, by step name, serialised
// into the statistics report at exit. User-interface thread only.
#pragma once

#include "requirement.h"

#include <cstdint>
#include <map>
#include <string>

struct RequirementEntry;

// Step name (or "Exit", "Relaunched") to that category's keys and values.
using StepStatisticsMap = std::map<std::wstring, StatisticsMap>;

extern StepStatisticsMap StepStatistics;

// Merges one finished run of a step into its category: "Attempts" = 1,
// "Success" and "ElapsedTime" are added to the step's own figures when
// absent; into an existing category "Success" overwrites, "DownloadSize"
// keeps the first value and every other key accumulates.
void MergeStepStatistics(StatisticsMap& category, StatisticsMap stats, int64_t success, uint32_t elapsed);

// Records the entry's step under its name; a null entry does nothing.
void RecordStepStatistics(const RequirementEntry* entry, int64_t success, uint32_t elapsed);

// Records key = 1 under "Exit" unless it is there already ("AltF4",
// "CloseButton", "PlayButton").
void RecordExitStatistic(const wchar_t* key);
