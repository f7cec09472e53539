#include "step_statistics.h"

#include "requirement_queue.h"

StepStatisticsMap StepStatistics;

void MergeStepStatistics(StatisticsMap& category, StatisticsMap stats, int64_t success, uint32_t elapsed)
{
    stats.emplace(L"Attempts", 1);
    stats.emplace(L"Success", success);
    stats.emplace(L"ElapsedTime", static_cast<int64_t>(elapsed));

    if (category.empty()) {
        category = std::move(stats);
        return;
    }
    for (const auto& [key, value] : stats) {
        auto found = category.find(key);
        if (found == category.end())
            category.emplace(key, value);
        else if (key == L"Success")
            found->second = value;
        else if (key != L"DownloadSize")
            found->second += value;
    }
}

void RecordStepStatistics(const RequirementEntry* entry, int64_t success, uint32_t elapsed)
{
    if (!entry)
        return;
    MergeStepStatistics(StepStatistics[entry->name], entry->step->GetStatistics(), success, elapsed);
}

void RecordExitStatistic(const wchar_t* key)
{
    StepStatistics[L"Exit"].emplace(key, 1);
}
