// The chains BuildChain appends for each ChainType, with "-uninstall".
#include "chains.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "requirement_queue.h"
#include "step_error.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Chain = std::vector<std::pair<std::wstring, int>>;

Chain QueuedChain()
{
    Chain chain;
    for (const auto& entry : RequirementQueue)
        chain.emplace_back(entry->name, entry->step->kind);
    return chain;
}

Chain MainChain(int binariesKind)
{
    return {{L"Platform", 3},       {L"PickDirectory", 5}, {L"Firewall", 5},
            {L"GameRunning", 3},    {L"Binaries0", 1},     {L"CBA", 5},
            {L"EULA", 5},           {L"DirectX", 3},       {L"Binaries1", binariesKind},
            {L"CollectGarbage", 0}, {L"Defrag0", 0},       {L"Binaries2", binariesKind},
            {L"Repair", 0},         {L"Preprocess", 0},    {L"Defrag1", 0},
            {L"ReadyToPlay", 4}};
}

const Chain SupportChain = {{L"MakeLogDirectory", 5}, {L"ClientIP", 3}, {L"TraceRoute", 0},
                            {L"TaskList", 0},         {L"DxDiag", 0},   {L"CopyLogs", 5},
                            {L"ReadyForSupport", 4}};

class ChainsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        steps_test::ResetQueueState();
        SetCommandLineForTest(L"Launcher.exe");
        EnableBulkDownload = true;
        SetStepError(L"old failure", true);
    }
    void TearDown() override
    {
        RequirementQueue.clear();
        steps_test::ResetQueueState();
        EnableBulkDownload = true;
    }
    Chain Build(int type)
    {
        RequirementQueue.clear();
        DoneWeight = 3.0f;
        BuildChain(type);
        EXPECT_EQ(DoneWeight, 0.0f);
        return QueuedChain();
    }
    std::wstring StepErrorText()
    {
        std::wstring text;
        bool fatal = false;
        GetStepError(text, fatal);
        return text;
    }
};

TEST_F(ChainsTest, MainAndPurgeClearTheStepErrorRetryAndSupportKeepIt)
{
    EnableBulkDownload = false;
    EXPECT_EQ(Build(CHAIN_RETRY_PROMPT), (Chain{{L"RetryPrompt", 5}}));
    EXPECT_EQ(StepErrorText(), L"old failure");
    EXPECT_EQ(Build(CHAIN_SUPPORT), SupportChain);
    EXPECT_EQ(StepErrorText(), L"old failure");

    // Any value other than 1 to 3 is the main chain; its downloads weigh
    // light without bulk download.
    EXPECT_EQ(Build(-1), MainChain(1));
    EXPECT_EQ(StepErrorText(), L"");
    EnableBulkDownload = true;
    SetStepError(L"old failure", true);
    Chain expected = MainChain(2);
    expected.insert(expected.begin(), {L"PurgeCache", 0});
    EXPECT_EQ(Build(CHAIN_PURGE), expected);
    EXPECT_EQ(StepErrorText(), L"");
}

TEST_F(ChainsTest, UninstallGivesPurgeCacheAloneForEveryType)
{
    SetCommandLineForTest(L"Launcher.exe -nocef -uninstall");
    for (int type : {CHAIN_MAIN, CHAIN_PURGE, CHAIN_RETRY_PROMPT, CHAIN_SUPPORT})
        EXPECT_EQ(Build(type), (Chain{{L"PurgeCache", 0}})) << type;
    EXPECT_EQ(StepErrorText(), L"old failure");
}

} // namespace
