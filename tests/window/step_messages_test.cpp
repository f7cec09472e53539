// The step messages against the real main window: the queue moves through
// WM_STEP_NEXT, WM_STEP_SUCCEEDED and WM_STEP_FAILED as StepStatistics, the
// log, the footer's texts and the progress bar show; late reports of an old
// chain and reports made while a step's Run sits in a modal loop.
#include "launcher.h"
#include "launcher_settings.h"
#include "requirement_queue.h"
#include "settings_store.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_statistics.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

using window_test::FakeStep;
using window_test::LauncherWindow;
using window_test::LogCapture;
using window_test::PumpFor;
using window_test::PumpUntil;

namespace {

class StepMessagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StepStatistics.clear();
        FakeStep::deleted = 0;
        FakeStep::runs = 0;
    }
    void TearDown() override { StepStatistics.clear(); }

    FakeStep* Add(const wchar_t* name, StepKind kind = STEP_PROGRESS_HIDDEN, bool page = true)
    {
        auto* step = new FakeStep(kind, page);
        AppendStep(step, name);
        return step;
    }
    void Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        PostMessageW(window_.get(), message, wParam, lParam);
        PumpFor(50);
    }
    int64_t Stat(const wchar_t* category, const wchar_t* key)
    {
        auto found = StepStatistics.find(category);
        if (found == StepStatistics.end() || !found->second.count(key))
            return -1;
        return found->second.at(key);
    }
    int BarPosition() { return static_cast<int>(SendMessageW(window_.Item(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }

    LauncherWindow window_;
};

TEST_F(StepMessagesTest, ChainRunsThroughPagesAndIgnoresLateReports)
{
    LogCapture log;
    FakeStep* first = Add(L"First");
    FakeStep* second = Add(L"Second", STEP_PROGRESS_NORMAL);
    Add(L"AtOnce", STEP_PROGRESS_NORMAL, false);
    FakeStep* last = Add(L"Last");
    SetWindowTextW(window_.Item(IDC_STATUS_TEXT), L"old status");

    Send(WM_STEP_NEXT);
    ASSERT_TRUE(first->page);
    EXPECT_EQ(CurrentStepPage, first->page);
    EXPECT_EQ(window_.Text(IDC_MAIN_BUTTON), L"PLAY");
    EXPECT_FALSE(IsWindowEnabled(window_.Item(IDC_MAIN_BUTTON)));
    EXPECT_EQ(window_.Text(IDC_STATUS_TEXT), L"");

    // A page is up: another WM_STEP_NEXT changes nothing.
    Send(WM_STEP_NEXT);
    EXPECT_EQ(FakeStep::runs, 1);

    HWND firstPage = first->page;
    PostStepSucceeded(firstPage);
    PumpFor(50);
    EXPECT_FALSE(IsWindow(firstPage));
    EXPECT_EQ(Stat(L"First", L"Success"), 1);
    EXPECT_EQ(Stat(L"First", L"Attempts"), 1);
    EXPECT_EQ(CurrentStepPage, second->page);

    // The first page's report arrives again late: the second step stays.
    Send(WM_STEP_SUCCEEDED, 0, reinterpret_cast<LPARAM>(firstPage));
    Send(WM_STEP_SUCCEEDED, 0, 0);
    EXPECT_EQ(CurrentStepPage, second->page);
    EXPECT_EQ(Stat(L"Second", L"Attempts"), -1);
    EXPECT_EQ(RequirementQueue.size(), 3u);

    Send(WM_STEP_SUCCEEDED, 0, reinterpret_cast<LPARAM>(second->page));
    EXPECT_EQ(Stat(L"Second", L"Success"), 1);
    EXPECT_EQ(Stat(L"AtOnce", L"Success"), 1);
    EXPECT_EQ(CurrentStepPage, last->page);
    EXPECT_FLOAT_EQ(DoneWeight, 1.0f); // only Second weighs and ended by message
    EXPECT_EQ(FakeStep::deleted, 3);

    std::string text = log.Text();
    EXPECT_NE(text.find("Finished First ("), std::string::npos);
    EXPECT_NE(text.find("Finished Second ("), std::string::npos);
    EXPECT_NE(text.find("Finished AtOnce ("), std::string::npos);
    EXPECT_NE(text.find("Total time: "), std::string::npos);
}

TEST_F(StepMessagesTest, EmptiedQueuePostsQuit)
{
    FakeStep* only = Add(L"Only");
    Send(WM_STEP_NEXT);
    Send(WM_STEP_SUCCEEDED, 0, reinterpret_cast<LPARAM>(only->page));
    EXPECT_TRUE(window_test::QuitPosted);
    EXPECT_EQ(CurrentStepPage, nullptr);
}

TEST_F(StepMessagesTest, ProgressTimerShowsTheChainsPosition)
{
    FakeStep* download = Add(L"Binaries0", STEP_PROGRESS_LIGHT);
    Add(L"Binaries1", STEP_PROGRESS_HEAVY);
    Add(L"Binaries2", STEP_PROGRESS_HEAVY);
    for (const wchar_t* name : {L"CollectGarbage", L"Defrag0", L"Repair", L"Preprocess", L"Defrag1"})
        Add(name, STEP_PROGRESS_NORMAL);
    Send(WM_STEP_NEXT);
    download->progress = 0.5f;
    // The 33 ms timer brings the bar to 0.125 / 25.25 of its range.
    EXPECT_TRUE(PumpUntil([&] { return BarPosition() == 324; }, 2000)) << BarPosition();
    download->progress = 1.0f;
    EXPECT_TRUE(PumpUntil([&] { return BarPosition() == 648; }, 2000)) << BarPosition();
    EXPECT_TRUE(IsWindowVisible(window_.Item(IDC_PROGRESS)));

    download->kind = STEP_PROGRESS_HIDDEN;
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(window_.Item(IDC_PROGRESS)); }, 2000));
}

TEST_F(StepMessagesTest, FailureRebuildsTheChainAndSavesTheSettings)
{
    LogCapture log;
    window_test::UseFakeChainSteps();
    FakeStep* failing = Add(L"Failing");
    Add(L"Never");
    Send(WM_STEP_NEXT);
    HWND failingPage = failing->page;
    TotalStepTime = 5000;
    LanguageIndex = 3;
    WriteSettingString(SCOPE_LAUNCHER, L"Language", L"xx");

    PostStepFailed(window_.get(), failingPage, CHAIN_RETRY_PROMPT);
    PumpFor(50);
    EXPECT_FALSE(IsWindow(failingPage));
    EXPECT_EQ(Stat(L"Failing", L"Success"), 0);
    EXPECT_EQ(Stat(L"Never", L"Attempts"), -1);
    ASSERT_EQ(RequirementQueue.size(), 1u);
    EXPECT_STREQ(RequirementQueue.front()->name, L"RetryPrompt");
    ASSERT_TRUE(window_test::LastFakeStep);
    EXPECT_EQ(CurrentStepPage, window_test::LastFakeStep->page);
    EXPECT_GE(TotalStepTime, 5000u);
    wchar_t language[16] = {};
    ReadSettingString(SCOPE_LAUNCHER, language, 16, L"Language");
    EXPECT_STREQ(language, L"de");
    EXPECT_NE(log.Text().find("Finished Failing ("), std::string::npos);

    // A failure from the old page, posted before the rebuild, is dropped.
    Send(WM_STEP_FAILED, reinterpret_cast<WPARAM>(failingPage), CHAIN_SUPPORT);
    EXPECT_STREQ(RequirementQueue.front()->name, L"RetryPrompt");

    // The purge chain restarts the total time; a failure from elsewhere
    // (wParam 0) always counts.
    Send(WM_STEP_FAILED, 0, CHAIN_PURGE);
    EXPECT_EQ(TotalStepTime, 0u);
    EXPECT_STREQ(RequirementQueue.front()->name, L"PurgeCache");
    EXPECT_STREQ(RequirementQueue.back()->name, L"ReadyToPlay");
    LanguageIndex = 0;
}

// A step's Run that sits in a message box: the reports that arrive there
// wait until Run has returned, so the running step is not deleted under it.
TEST_F(StepMessagesTest, ReportsDuringRunWaitForIt)
{
    window_test::UseFakeChainSteps();
    FakeStep* modal = Add(L"Modal");
    int deletedDuringRun = -1;
    HWND window = window_.get();
    modal->duringRun = [&](FakeStep&, HWND parent) {
        PostMessageW(parent, WM_STEP_FAILED, 0, CHAIN_SUPPORT);
        PostMessageW(parent, WM_STEP_NEXT, 0, 0);
        // A real message box, answered by a timer once the posts were seen.
        SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            if (HWND box = FindWindowW(L"#32770", L"Modal step"))
                PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        MessageBoxW(window, L"Waiting", L"Modal step", MB_OK);
        deletedDuringRun = FakeStep::deleted;
    };
    Send(WM_STEP_NEXT);
    EXPECT_EQ(deletedDuringRun, 0);
    EXPECT_EQ(FakeStep::runs >= 1, true);
    // Then the failure was acted on: the support chain runs.
    EXPECT_TRUE(PumpUntil([] {
        return !RequirementQueue.empty() && wcscmp(RequirementQueue.front()->name, L"MakeLogDirectory") == 0;
    }));
    EXPECT_EQ(Stat(L"Modal", L"Success"), 0);
}

} // namespace
