// StepStatistics merge rules and the LauncherStatsReport text.
#include "requirement_queue.h"
#include "stats_report.h"
#include "step_statistics.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StepStatisticsTest, LaterRunsAccumulateOverwriteSuccessAndKeepTheFirstDownloadSize)
{
    StatisticsMap category;
    MergeStepStatistics(category, {{L"DownloadSize", 1000}, {L"TotalDownloaded", 10}}, 0, 100);
    MergeStepStatistics(category, {{L"DownloadSize", 400}, {L"TotalDownloaded", 5}, {L"Relaunched", 1}}, 1,
                        50);
    EXPECT_EQ(category, (StatisticsMap{{L"Attempts", 2},
                                       {L"DownloadSize", 1000},
                                       {L"ElapsedTime", 150},
                                       {L"Relaunched", 1},
                                       {L"Success", 1},
                                       {L"TotalDownloaded", 15}}));
    MergeStepStatistics(category, {}, 0, 0);
    EXPECT_EQ(category.at(L"Success"), 0);
    EXPECT_EQ(category.at(L"Attempts"), 3);
}

TEST(StepStatisticsTest, RecordUsesTheEntryNameAndExitKeysAreSetOnce)
{
    steps_test::ResetQueueState();
    std::vector<std::wstring> journal;
    RequirementEntry entry;
    auto* step = new steps_test::JournalStep(journal, L"x");
    step->statistics = {{L"ERROR_DX10_UNSUPPORTED", 1}};
    entry.step.reset(step);
    entry.name = L"DirectX";
    RecordStepStatistics(&entry, 1, 7);
    RecordStepStatistics(nullptr, 1, 7);
    RecordExitStatistic(L"CloseButton");
    RecordExitStatistic(L"CloseButton");
    EXPECT_EQ(StepStatistics.size(), 2u);
    EXPECT_EQ(StepStatistics[L"DirectX"].at(L"ERROR_DX10_UNSUPPORTED"), 1);
    EXPECT_EQ(StepStatistics[L"Exit"], (StatisticsMap{{L"CloseButton", 1}}));
    steps_test::ResetQueueState();
}

TEST(StatsReportTest, CategoriesInOrderNegativeValuesUnsignedAndClientType)
{
    StepStatisticsMap statistics;
    statistics[L"Exit"] = {{L"PlayButton", 1}};
    statistics[L"Binaries0"] = {{L"Attempts", 2}, {L"Odd", -1}};
    EXPECT_EQ(BuildLauncherStatsReport(statistics, 4000000000u, L"Steam"),
              R"({"Binaries0":{"Attempts":2,"Odd":18446744073709551615},"Exit":{"PlayButton":1},)"
              R"("TotalTime":4000000000,"ClientType":"Steam"})");
    EXPECT_EQ(BuildLauncherStatsReport({}, 0, L""), R"({"TotalTime":0,"ClientType":""})");
}

TEST(StatsReportTest, NamesAreEscapedIntoValidJson)
{
    StepStatisticsMap statistics;
    statistics[L"a\"b\\c"] = {{L"k\nl\x01", 1}};
    // U+0416 narrows to its low byte 0x16, a control byte; U+00E9 to 0xE9.
    EXPECT_EQ(BuildLauncherStatsReport(statistics, 0, L"x\"\x0416\x00e9"),
              R"({"a\"b\\c":{"k\u000al\u0001":1},"TotalTime":0,"ClientType":"x\"\u0016\u00e9"})");
}

} // namespace
