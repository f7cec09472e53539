// The progress position and the Win32 bar of UpdateProgress.
#include "progress.h"
#include "requirement_queue.h"
#include "step_messages.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <vector>

using steps_test::JournalStep;

namespace {

TEST(ProgressPositionTest, EdgesStayInsideTheRange)
{
    EXPECT_EQ(ComputeProgressPosition(0.0f, 0.0f, 0.5f, 0.0f), 0);
    EXPECT_EQ(ComputeProgressPosition(2.0f, 1.0f, NO_STEP_PROGRESS, 2.0f), 32768);
    EXPECT_EQ(ComputeProgressPosition(0.0f, 1.0f, 7.0f, 1.0f), PROGRESS_RANGE);
    EXPECT_EQ(ComputeProgressPosition(1.0f, 1.0f, 1.0f, 1.0f), PROGRESS_RANGE);
}

class ProgressBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        steps_test::ResetQueueState();
        bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | PBS_SMOOTH, 0, 0, 100, 10, window_.get(),
                               reinterpret_cast<HMENU>(IDC_PROGRESS), nullptr, nullptr);
        SendMessageW(bar_, PBM_SETRANGE32, 0, PROGRESS_RANGE);
    }
    void TearDown() override { steps_test::ResetQueueState(); }
    JournalStep* Add(StepKind kind)
    {
        auto* step = new JournalStep(journal_, L"s", kind);
        AppendStep(step, L"Step");
        return step;
    }
    int Position() { return static_cast<int>(SendMessageW(bar_, PBM_GETPOS, 0, 0)); }
    bool Marquee() { return (GetWindowLongPtrW(bar_, GWL_STYLE) & PBS_MARQUEE) != 0; }

    std::vector<std::wstring> journal_;
    steps_test::PlainWindow window_;
    HWND bar_ = nullptr;
};

TEST_F(ProgressBarTest, PositionFollowsTheQueueWeights)
{
    JournalStep* binaries0 = Add(STEP_PROGRESS_LIGHT);
    Add(STEP_PROGRESS_HEAVY);
    Add(STEP_PROGRESS_HEAVY);
    for (int i = 0; i < 5; ++i)
        Add(STEP_PROGRESS_NORMAL);
    Add(STEP_PROGRESS_FULL);
    // Binaries0 (0.25) at 50 %: 0.125 / (0.25 + 10 + 10 + 5) of the range.
    binaries0->progress = 0.5f;
    UpdateProgress(window_.get());
    EXPECT_TRUE(GetWindowLongPtrW(bar_, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(Position(), 324);
}

TEST_F(ProgressBarTest, MarqueeFullAndHidden)
{
    JournalStep* step = Add(STEP_PROGRESS_MARQUEE);
    UpdateProgress(window_.get());
    EXPECT_TRUE(Marquee());
    UpdateProgress(window_.get());
    EXPECT_TRUE(Marquee());

    step->kind = STEP_PROGRESS_FULL;
    UpdateProgress(window_.get());
    EXPECT_FALSE(Marquee());
    EXPECT_EQ(Position(), PROGRESS_RANGE);

    step->kind = STEP_PROGRESS_HIDDEN;
    ShowWindow(bar_, SW_SHOW);
    UpdateProgress(window_.get());
    EXPECT_FALSE(GetWindowLongPtrW(bar_, GWL_STYLE) & WS_VISIBLE);

    // A queue of weightless steps shows no progress at all.
    step->kind = static_cast<StepKind>(9);
    UpdateProgress(window_.get());
    EXPECT_EQ(Position(), 0);

    RequirementQueue.clear();
    ShowWindow(bar_, SW_SHOW);
    UpdateProgress(window_.get());
    EXPECT_FALSE(GetWindowLongPtrW(bar_, GWL_STYLE) & WS_VISIBLE);
}

} // namespace
