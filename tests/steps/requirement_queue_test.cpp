// RunQueue, ClearQueue and the handling of a step's success and failure.
#include "command_line.h"
#include "log.h"
#include "requirement_queue.h"
#include "step_error.h"
#include "step_messages.h"
#include "step_page.h"
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

// A step with a page of its own, as most steps have.
class OwnPageStep : public Requirement {
  public:
    OwnPageStep() : Requirement(STEP_PROGRESS_NORMAL) {}
    HWND Run(HWND parent) override { return ShowStepPage(parent, nullptr, 0); }
};

// Stands for a machine where no window can be made (no window driver).
class NoPageWindows {
  public:
    NoPageWindows()
    {
        CreateStepPageWindow = [](HWND, DLGPROC, LPARAM) -> HWND {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        };
    }
    ~NoPageWindows()
    {
        CreateStepPageWindow = saved_;
        HeadlessMode = false;
    }

  private:
    StepPageCreator saved_ = CreateStepPageWindow;
};

// The code of the pending quit message, -1 when there is none.
int TakeQuitCode()
{
    MSG message;
    return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) ? static_cast<int>(message.wParam)
                                                                        : -1;
}

TEST_F(QueueTest, AStepWhosePageCannotBeMadeFailsAndTheRetryPageThenEndsTheRun)
{
    LogCapture log;
    NoPageWindows noWindows;
    AppendStep(new OwnPageStep, L"Paged");
    Add(L"Later");
    RunQueue(parent_.get());
    // Not done: the chain does not go on, and the step's failure is on its
    // way to the retry page with the system's reason.
    EXPECT_TRUE(journal_.empty());
    EXPECT_EQ(RequirementQueue.size(), 2u);
    EXPECT_EQ(CurrentStepPage, nullptr);
    EXPECT_EQ(StepStatistics.count(L"Paged"), 0u);
    MSG failed;
    ASSERT_TRUE(PeekMessageW(&failed, parent_.get(), WM_STEP_FAILED, WM_STEP_FAILED, PM_REMOVE));
    EXPECT_EQ(failed.lParam, CHAIN_RETRY_PROMPT);
    EXPECT_EQ(TakeQuitCode(), -1);
    std::wstring error;
    bool fatal = true;
    GetStepError(error, fatal);
    EXPECT_NE(error.find(L"[0x00000008]"), std::wstring::npos) << std::string(error.begin(), error.end());
    EXPECT_FALSE(fatal);
    EXPECT_TRUE(log.Contains("Could not create the step page: ")) << log.Text();
    EXPECT_TRUE(log.Contains(" [0x00000008]\r\n"));

    // The retry page cannot be made either: the run ends with an error code
    // instead of failing to the retry page for ever.
    ReplaceChain(parent_.get(), static_cast<int>(failed.lParam));
    EXPECT_EQ(StepStatistics[L"Paged"].at(L"Success"), 0);
    ASSERT_EQ(RequirementQueue.size(), 1u);
    EXPECT_STREQ(RequirementQueue.front()->name, L"RetryPrompt");
    EXPECT_EQ(TakeQuitCode(), EXIT_NO_STEP_PAGE);
    EXPECT_FALSE(PeekMessageW(&failed, parent_.get(), WM_STEP_FAILED, WM_STEP_FAILED, PM_REMOVE));
    EXPECT_TRUE(log.Contains("No step page can be shown: the run ends (exit code " +
                             std::to_string(EXIT_NO_STEP_PAGE) + ")\r\n"));

    // Headless, the first page that cannot be made ends the run.
    ClearQueue();
    HeadlessMode = true;
    AppendStep(new OwnPageStep, L"Paged");
    Add(L"After");
    RunQueue(parent_.get());
    EXPECT_EQ(TakeQuitCode(), EXIT_NO_STEP_PAGE);
    EXPECT_FALSE(PeekMessageW(&failed, parent_.get(), WM_STEP_FAILED, WM_STEP_FAILED, PM_REMOVE));
    EXPECT_EQ(RequirementQueue.size(), 2u);
}

} // namespace
