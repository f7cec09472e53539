// RunQueue, ClearQueue and the handling of a step's success and failure.
#include "command_line.h"
#include "requirement_queue.h"
#include "step_statistics.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using steps_test::JournalStep;
using steps_test::LogCapture;
using steps_test::PlainWindow;
using steps_test::TakeQuitMessage;

namespace {

class QueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        steps_test::ResetQueueState();
        SetCommandLineForTest(L"Launcher.exe -nocef");
        TakeQuitMessage();
    }
    void TearDown() override
    {
        ClearQueue();
        TakeQuitMessage();
        steps_test::ResetQueueState();
    }
    JournalStep* Add(const wchar_t* name, StepKind kind = STEP_PROGRESS_NORMAL, HWND result = nullptr)
    {
        auto* step = new JournalStep(journal_, name, kind, result);
        AppendStep(step, name);
        return step;
    }

    std::vector<std::wstring> journal_;
    PlainWindow parent_;
};

// A step whose page must be gone before the step is deleted.
class PageStep : public Requirement {
public:
    PageStep(HWND page, bool& pageAliveAtDelete)
        : Requirement(STEP_PROGRESS_HIDDEN), page_(page), alive_(pageAliveAtDelete)
    {
    }
    ~PageStep() override { alive_ = IsWindow(page_) != FALSE; }
    HWND Run(HWND) override { return page_; }

private:
    HWND page_;
    bool& alive_;
};

TEST_F(QueueTest, ChainOfImmediateStepsRunsToTheEndInOneCall)
{
    LogCapture log;
    Add(L"One");
    Add(L"Two");
    Add(L"Three");
    RunQueue(parent_.get());

    EXPECT_TRUE(RequirementQueue.empty());
    EXPECT_TRUE(TakeQuitMessage());
    EXPECT_EQ(journal_, (std::vector<std::wstring>{L"run One", L"delete One", L"run Two", L"delete Two",
                                                   L"run Three", L"delete Three"}));
    EXPECT_EQ(DoneWeight, 0.0f);
    std::string text = log.Text();
    size_t total = text.find("Total time: ");
    ASSERT_NE(total, std::string::npos);
    EXPECT_LT(text.find("Finished Two ("), total);
    EXPECT_GT(text.find("Finished Three ("), total);
    for (const wchar_t* name : {L"One", L"Two", L"Three"}) {
        const StatisticsMap& category = StepStatistics[name];
        EXPECT_EQ(category.at(L"Attempts"), 1);
        EXPECT_EQ(category.at(L"Success"), 1);
        EXPECT_EQ(category.count(L"ElapsedTime"), 1u);
    }
}

TEST_F(QueueTest, PageStopsTheQueueAndParentEndsItWithoutRecord)
{
    PlainWindow page;
    Add(L"Quick");
    Add(L"Paged", STEP_PROGRESS_HIDDEN, page.get());
    Add(L"Later");
    RunQueue(parent_.get());
    EXPECT_EQ(CurrentStepPage, page.get());
    EXPECT_EQ(RequirementQueue.size(), 2u);
    EXPECT_FALSE(TakeQuitMessage());

    // The page reports success: the next step hands back the parent.
    CurrentStepPage = nullptr; // the test's page is not destroyed by the queue
    RequirementQueue.back()->step.reset(
        new JournalStep(journal_, L"Later", STEP_PROGRESS_NORMAL, parent_.get()));
    CompleteFrontStep(parent_.get(), true);
    EXPECT_EQ(RequirementQueue.size(), 1u);
    EXPECT_EQ(CurrentStepPage, nullptr);
    EXPECT_FALSE(TakeQuitMessage());
    EXPECT_EQ(StepStatistics.count(L"Later"), 0u);
    EXPECT_EQ(StepStatistics[L"Paged"].at(L"Success"), 1);
}

TEST_F(QueueTest, SuccessThroughThePageAddsTheWeightAndRecords)
{
    Add(L"Heavy", STEP_PROGRESS_HEAVY, parent_.get());
    Add(L"Next", STEP_PROGRESS_LIGHT, parent_.get());
    RunQueue(parent_.get());
    CompleteFrontStep(parent_.get(), true);
    EXPECT_EQ(DoneWeight, 10.0f);
    EXPECT_EQ(StepStatistics[L"Heavy"].at(L"Attempts"), 1);
    // Headless runs leave no statistics for steps that end through the page.
    CompleteFrontStep(parent_.get(), false);
    EXPECT_EQ(DoneWeight, 10.25f);
    EXPECT_EQ(StepStatistics.count(L"Next"), 0u);
    EXPECT_TRUE(TakeQuitMessage());
    // A stray success with nothing queued changes nothing.
    CompleteFrontStep(parent_.get(), true);
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(QueueTest, ClearDeletesBackToFrontAfterThePageAndRecordsTheFrontAsFailed)
{
    HWND page =
        CreateWindowExW(0, L"Static", L"", WS_CHILD, 0, 0, 1, 1, parent_.get(), nullptr, nullptr, nullptr);
    bool pageAlive = true;
    AppendStep(new PageStep(page, pageAlive), L"Front");
    Add(L"Second");
    Add(L"Third");
    RunQueue(parent_.get());
    ASSERT_EQ(CurrentStepPage, page);

    ClearQueue();
    EXPECT_FALSE(pageAlive);
    EXPECT_EQ(CurrentStepPage, nullptr);
    EXPECT_TRUE(RequirementQueue.empty());
    EXPECT_EQ(journal_, (std::vector<std::wstring>{L"delete Third", L"delete Second"}));
    EXPECT_EQ(StepStatistics[L"Front"],
              (StatisticsMap{{L"Attempts", 1}, {L"ElapsedTime", 0}, {L"Success", 0}}));
    EXPECT_FALSE(ReadyToPlayReached);
}

TEST_F(QueueTest, OnlyALoneReadyToPlayIsRecordedAsReached)
{
    Add(L"ReadyToPlay", STEP_PROGRESS_FULL);
    Add(L"Other");
    ClearQueue();
    EXPECT_EQ(StepStatistics[L"ReadyToPlay"].at(L"Success"), 0);
    EXPECT_FALSE(ReadyToPlayReached);

    Add(L"ReadyToPlay", STEP_PROGRESS_FULL);
    ClearQueue();
    EXPECT_EQ(StepStatistics[L"ReadyToPlay"].at(L"Success"), 1);
    EXPECT_EQ(StepStatistics[L"ReadyToPlay"].at(L"Attempts"), 2);
    EXPECT_TRUE(ReadyToPlayReached);
}

TEST_F(QueueTest, FailureReplacesTheChainAndResetsTimeOnlyForPurge)
{
    LogCapture log;
    Add(L"Failing", STEP_PROGRESS_NORMAL, parent_.get());
    Add(L"Dropped");
    RunQueue(parent_.get());
    TotalStepTime = 5000;

    ReplaceChain(parent_.get(), CHAIN_RETRY_PROMPT);
    EXPECT_GE(TotalStepTime, 5000u);
    EXPECT_EQ(StepStatistics[L"Failing"].at(L"Success"), 0);
    EXPECT_EQ(StepStatistics.count(L"Dropped"), 0u);
    // The retry page is the current step now.
    ASSERT_EQ(RequirementQueue.size(), 1u);
    EXPECT_STREQ(RequirementQueue.front()->name, L"RetryPrompt");
    EXPECT_NE(CurrentStepPage, nullptr);
    EXPECT_FALSE(TakeQuitMessage());
    std::string text = log.Text();
    EXPECT_NE(text.find("Finished Failing ("), std::string::npos);

    Add(L"Again", STEP_PROGRESS_NORMAL, parent_.get());
    RunQueue(parent_.get());
    TotalStepTime = 5000;
    SetCommandLineForTest(L"Launcher.exe -uninstall");
    ReplaceChain(parent_.get(), CHAIN_PURGE);
    EXPECT_LT(TotalStepTime, 5000u);
    EXPECT_EQ(StepStatistics[L"PurgeCache"].at(L"Attempts"), 1);
    EXPECT_TRUE(TakeQuitMessage());
}

} // namespace
