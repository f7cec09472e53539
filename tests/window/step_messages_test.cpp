// The step messages against the real main window: the queue moves through
// WM_STEP_NEXT, WM_STEP_SUCCEEDED and WM_STEP_FAILED as StepStatistics, the
// log, the footer and the progress bar show; late reports of an old chain
// and reports made while a step's Run sits in a message box.
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

FakeStep* Add(const wchar_t* name, StepKind kind = STEP_PROGRESS_HIDDEN, bool page = true)
{
    auto* step = new FakeStep(kind, page);
    AppendStep(step, name);
    return step;
}

int64_t Stat(const wchar_t* category, const wchar_t* key)
{
    auto found = StepStatistics.find(category);
    return found == StepStatistics.end() || !found->second.count(key) ? -1 : found->second.at(key);
}

class StepMessagesTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        StepStatistics.clear();
        FakeStep::deleted = FakeStep::runs = 0;
    }
    void TearDown() override { StepStatistics.clear(); }
    void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        PostMessageW(w_.get(), message, wParam, lParam);
        PumpFor(50);
    }

    LauncherWindow w_;
};

TEST_F(StepMessagesTest, ChainRunsThroughPagesAndIgnoresLateReports)
{
    LogCapture log;
    FakeStep* first = Add(L"First");
    FakeStep* second = Add(L"Second", STEP_PROGRESS_NORMAL);
    Add(L"AtOnce", STEP_PROGRESS_NORMAL, false);
    FakeStep* last = Add(L"Last");
    SetWindowTextW(w_.Item(IDC_STATUS_TEXT), L"old status");

    Post(WM_STEP_NEXT);
    EXPECT_EQ(CurrentStepPage, first->page);
    EXPECT_EQ(w_.Text(IDC_MAIN_BUTTON), L"PLAY");
    EXPECT_EQ(w_.Text(IDC_STATUS_TEXT), L"");
    Post(WM_STEP_NEXT); // a page is up: nothing runs
    EXPECT_EQ(FakeStep::runs, 1);

    HWND firstPage = first->page;
    PostStepSucceeded(firstPage);
    PumpFor(50);
    EXPECT_FALSE(IsWindow(firstPage));
    EXPECT_EQ(Stat(L"First", L"Success"), 1);
    EXPECT_EQ(CurrentStepPage, second->page);

    // The first page's report arrives again, late: the second step stays.
    Post(WM_STEP_SUCCEEDED, 0, reinterpret_cast<LPARAM>(firstPage));
    Post(WM_STEP_SUCCEEDED, 0, 0);
    EXPECT_EQ(CurrentStepPage, second->page);
    EXPECT_EQ(RequirementQueue.size(), 3u);

    // The action buttons' commands reach the page first.
    SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, BN_CLICKED), 0);
    EXPECT_EQ(window_test::PageCommands(second->page).back(), MAKEWPARAM(IDC_MAIN_BUTTON, BN_CLICKED));

    Post(WM_STEP_SUCCEEDED, 0, reinterpret_cast<LPARAM>(second->page));
    EXPECT_EQ(Stat(L"Second", L"Attempts"), 1);
    EXPECT_EQ(Stat(L"AtOnce", L"Success"), 1);
    EXPECT_EQ(CurrentStepPage, last->page);
    EXPECT_FLOAT_EQ(DoneWeight, 1.0f); // only Second weighs and ended by message
    EXPECT_EQ(FakeStep::deleted, 3);
    Post(WM_STEP_SUCCEEDED, 0, reinterpret_cast<LPARAM>(last->page));
    EXPECT_TRUE(window_test::QuitPosted);

    std::string text = log.Text();
    for (const char* line : {"Finished First (", "Finished Second (", "Finished AtOnce (", "Total time: "})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(StepMessagesStartTest, CreationStartsTheQueue)
{
    StepStatistics.clear();
    window_test::WindowOptions options;
    options.startQueue = true;
    LauncherWindow w(options);
    FakeStep* step = Add(L"Early");
    EXPECT_TRUE(PumpUntil([&] { return step->page != nullptr; }));
    EXPECT_EQ(CurrentStepPage, step->page);
}

TEST_F(StepMessagesTest, ProgressTimerShowsTheChainsPosition)
{
    FakeStep* download = Add(L"Binaries0", STEP_PROGRESS_LIGHT);
    Add(L"Binaries1", STEP_PROGRESS_HEAVY);
    Add(L"Binaries2", STEP_PROGRESS_HEAVY);
    for (const wchar_t* name : {L"CollectGarbage", L"Defrag0", L"Repair", L"Preprocess", L"Defrag1"})
        Add(name, STEP_PROGRESS_NORMAL);
    Post(WM_STEP_NEXT);
    HWND bar = w_.Item(IDC_PROGRESS);
    auto position = [&] { return SendMessageW(bar, PBM_GETPOS, 0, 0); };
    // The 33 ms timer brings the bar to 0.125 / 25.25 of its range.
    download->progress = 0.5f;
    EXPECT_TRUE(PumpUntil([&] { return position() == 324; }, 2000)) << position();
    download->progress = 1.0f;
    EXPECT_TRUE(PumpUntil([&] { return position() == 648; }, 2000)) << position();
    download->kind = STEP_PROGRESS_HIDDEN;
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(bar); }, 2000));
}

TEST_F(StepMessagesTest, FailureRebuildsTheChainAndSavesTheSettings)
{
    LogCapture log;
    window_test::UseFakeChainSteps();
    FakeStep* failing = Add(L"Failing");
    Add(L"Never");
    Post(WM_STEP_NEXT);
    HWND failingPage = failing->page;
    TotalStepTime = 5000;
    LanguageIndex = 3;
    WriteSettingString(SCOPE_LAUNCHER, L"Language", L"xx");

    PostStepFailed(w_.get(), failingPage, CHAIN_RETRY_PROMPT);
    PumpFor(50);
    EXPECT_FALSE(IsWindow(failingPage));
    EXPECT_EQ(Stat(L"Failing", L"Success"), 0);
    EXPECT_EQ(Stat(L"Never", L"Attempts"), -1);
    ASSERT_EQ(RequirementQueue.size(), 1u);
    EXPECT_STREQ(RequirementQueue.front()->name, L"RetryPrompt");
    EXPECT_EQ(CurrentStepPage, window_test::LastFakeStep->page);
    EXPECT_GE(TotalStepTime, 5000u);
    wchar_t language[16] = {};
    ReadSettingString(SCOPE_LAUNCHER, language, 16, L"Language");
    EXPECT_STREQ(language, L"de");
    LanguageIndex = 0;
    EXPECT_NE(log.Text().find("Finished Failing ("), std::string::npos);

    // A failure from the old page, posted before the rebuild, is dropped.
    Post(WM_STEP_FAILED, reinterpret_cast<WPARAM>(failingPage), CHAIN_SUPPORT);
    EXPECT_STREQ(RequirementQueue.front()->name, L"RetryPrompt");
    // One from elsewhere (wParam 0) counts; the purge chain restarts the time.
    Post(WM_STEP_FAILED, 0, CHAIN_PURGE);
    EXPECT_EQ(TotalStepTime, 0u);
    EXPECT_STREQ(RequirementQueue.front()->name, L"PurgeCache");
    EXPECT_STREQ(RequirementQueue.back()->name, L"ReadyToPlay");
}

// A step's Run that sits in a real message box: the reports that arrive
// there wait until Run has returned, so the running step is not deleted
// under it, and are acted on afterwards.
TEST_F(StepMessagesTest, ReportsDuringRunWaitForIt)
{
    window_test::UseFakeChainSteps();
    FakeStep* modal = Add(L"Modal");
    int deletedDuringRun = -1;
    modal->duringRun = [&](FakeStep&, HWND parent) {
        PostMessageW(parent, WM_STEP_FAILED, 0, CHAIN_SUPPORT);
        PostMessageW(parent, WM_STEP_NEXT, 0, 0);
        // OK is pressed on every tick while the box is up: a press that
        // found no box, or that the box missed, is made again.
        UINT_PTR answer = SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR, DWORD) {
            if (HWND box = FindWindowW(L"#32770", L"Modal step"))
                PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
        MessageBoxW(parent, L"Waiting", L"Modal step", MB_OK);
        KillTimer(nullptr, answer);
        deletedDuringRun = FakeStep::deleted;
    };
    Post(WM_STEP_NEXT);
    EXPECT_EQ(deletedDuringRun, 0);
    EXPECT_TRUE(PumpUntil([] {
        return !RequirementQueue.empty() && wcscmp(RequirementQueue.front()->name, L"MakeLogDirectory") == 0;
    }));
    EXPECT_EQ(Stat(L"Modal", L"Success"), 0);
}

// A page that runs a message loop while it is destroyed (as a page with a
// modal dialog of its own would), and receives a failure from elsewhere
// there: the chain being replaced is not replaced again under it.
int DeletedWhenDestroyed = -1;
HWND MainWindowForPage = nullptr;
WNDPROC TestPageProc = nullptr;

LRESULT CALLBACK PumpingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostMessageW(MainWindowForPage, WM_STEP_FAILED, 0, CHAIN_SUPPORT);
        PumpFor(100);
        DeletedWhenDestroyed = FakeStep::deleted;
    }
    return CallWindowProcW(TestPageProc, page, message, wParam, lParam);
}

int CountPages(HWND window)
{
    int pages = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        pages += wcscmp(name, L"WindowTestPage") == 0;
    }
    return pages;
}

TEST_F(StepMessagesTest, MessagesWhileAPageIsDestroyedWaitForTheChange)
{
    window_test::UseFakeChainSteps();
    FakeStep* pumping = Add(L"Pumping");
    Post(WM_STEP_NEXT);
    ASSERT_NE(pumping->page, nullptr);
    MainWindowForPage = w_.get();
    TestPageProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(pumping->page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PumpingPageProc)));

    PostStepFailed(w_.get(), pumping->page, CHAIN_RETRY_PROMPT);
    EXPECT_TRUE(PumpUntil([] {
        return !RequirementQueue.empty() && wcscmp(RequirementQueue.front()->name, L"MakeLogDirectory") == 0;
    }));
    EXPECT_EQ(DeletedWhenDestroyed, 0) << "the page's step was deleted while the page was destroyed";
    EXPECT_EQ(Stat(L"Pumping", L"Success"), 0);
    EXPECT_EQ(Stat(L"RetryPrompt", L"Success"), 0); // built, shown, then replaced by the later failure
    EXPECT_EQ(CountPages(w_.get()), 1);
    EXPECT_TRUE(IsWindow(CurrentStepPage));
}

} // namespace
