// The headless console dialog in place of the main window: the queue moves
// on the steps' reports without statistics for page-ended steps, texts go to
// the log (an RTF as "RTF", the message of the day not at all), and reports
// made while the first run of the queue was on the stack are not lost.
#include "chains.h"
#include "dialogs/headless_console.h"
#include "launcher.h"
#include "log.h"
#include "requirement_queue.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_statistics.h"
#include "text_pane.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

using window_test::FakeStep;
using window_test::LogCapture;
using window_test::PumpUntil;

namespace {

class HeadlessConsoleTest : public ::testing::Test {
  protected:
    HeadlessConsoleTest()
    {
        ClearQueue();
        StepStatistics.clear();
        HeadlessMode = true;
        SharedMainWindow = nullptr;
    }
    ~HeadlessConsoleTest() override
    {
        ClearQueue();
        if (IsWindow(console_))
            DestroyWindow(console_);
        StepFactoryForTest = nullptr;
        StepStatistics.clear();
        HeadlessMode = false;
        window_test::PumpFor(0);
        window_test::QuitPosted = false;
    }
    static FakeStep* Add(const wchar_t* name, bool page)
    {
        auto* step = new FakeStep(STEP_PROGRESS_NORMAL, page);
        AppendStep(step, name);
        return step;
    }

    HWND console_ = nullptr;
};

TEST_F(HeadlessConsoleTest, PlaysTheMainWindowAndLogsWhatItWouldShow)
{
    LogCapture log;
    FakeStep* paged = Add(L"Paged", true);
    Add(L"AtOnce", false);
    Add(L"Last", true);
    console_ = StartHeadlessConsole(HWND_MESSAGE);
    ASSERT_TRUE(console_);
    EXPECT_EQ(SharedMainWindow, console_);
    EXPECT_FALSE(IsWindowVisible(console_));
    ASSERT_EQ(CurrentStepPage, paged->page);
    EXPECT_EQ(GetParent(paged->page), console_);

    MotdShown = true;
    const char rtf[] = "{\\rtf1 An agreement}";
    SendMessageW(console_, WM_STEP_SHOW_TEXT, 1, reinterpret_cast<LPARAM>(rtf));
    EXPECT_FALSE(MotdShown);
    SendMessageW(console_, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(L"Update failed!\n"));
    SendMessageW(console_, WM_STEP_SHOW_TEXT, 0, 0);
    SendMessageW(console_, WM_STEP_SHOW_MOTD, 0, 0);
    SendMessageW(console_, WM_STEP_PAGE_SHOWN, 0, reinterpret_cast<LPARAM>("RETRY_LATER"));

    PostStepSucceeded(paged->page);
    ASSERT_TRUE(PumpUntil([] { return RequirementQueue.size() == 1; }));
    std::string text = log.Text();
    size_t rtfLine = text.find("RTF\r\nUpdate failed!\r\nPlease try again later.");
    EXPECT_NE(rtfLine, std::string::npos) << text;
    EXPECT_EQ(text.find("An agreement"), std::string::npos);
    EXPECT_NE(text.find("Finished Paged ("), std::string::npos);
    EXPECT_NE(text.find("Finished AtOnce ("), std::string::npos);
    // The page-ended step leaves no statistics; the one that finished at
    // once inside the queue does.
    EXPECT_EQ(StepStatistics.count(L"Paged"), 0u);
    EXPECT_EQ(StepStatistics[L"AtOnce"].at(L"Success"), 1);

    DestroyWindow(console_);
    EXPECT_EQ(SharedMainWindow, nullptr);
}

TEST_F(HeadlessConsoleTest, ReportsMadeDuringTheFirstRunAreReplayed)
{
    // A step that reports a failure from inside its Run (as one does from a
    // message box's loop): the report waits for the queue and is then acted
    // on, so the retry chain replaces the main chain.
    window_test::UseFakeChainSteps();
    FakeStep* first = Add(L"First", true);
    first->duringRun = [](FakeStep&, HWND parent) { PostStepFailed(parent, nullptr, CHAIN_RETRY_PROMPT); };
    console_ = StartHeadlessConsole(HWND_MESSAGE);
    ASSERT_TRUE(console_);
    ASSERT_TRUE(PumpUntil([] {
        return !RequirementQueue.empty() && wcscmp(RequirementQueue.front()->name, L"RetryPrompt") == 0;
    }));
}

} // namespace
