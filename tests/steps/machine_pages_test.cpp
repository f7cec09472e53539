// The ready and retry pages on a parent with the main window's shared
// controls, with the countdown's clock and the rebuild delay injected.
#include "clusters.h"
#include "command_line.h"
#include "game_launch.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "machine/ready_to_play_step.h"
#include "machine/retry_prompt_step.h"
#include "machine_test_support.h"
#include "requirement_queue.h"
#include "step_error.h"
#include "step_messages.h"
#include "step_page.h"

#include <gtest/gtest.h>

namespace {

using machine_test::PageParent;
using machine_test::WaitForPosted;
using steps_test::Text;

DWORD FakeNow = 0;
int GetLogsAnswer = IDCANCEL;
int GetLogsAsked = 0;

int WINAPI AnswerGetLogs(HWND, LPCWSTR text, LPCWSTR, UINT, WORD)
{
    EXPECT_EQ(text, Text("GET_LOGS_WARNING"));
    ++GetLogsAsked;
    return GetLogsAnswer;
}

class RetryPageTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        RetryCount = 0;
        FakeNow = 1000;
        savedClock_ = RetryClock;
        RetryClock = [] { return FakeNow; };
        savedBox_ = MessageBoxExFunction;
        MessageBoxExFunction = AnswerGetLogs;
        SetStepError(L"The disk is full.", false);
    }
    void TearDown() override
    {
        if (page_)
            DestroyWindow(page_);
        MessageBoxExFunction = savedBox_;
        RetryClock = savedClock_;
        RetryCount = 0;
        SetStepError(L"", false);
        steps_test::TakeQuitMessage();
    }
    void Show()
    {
        if (page_)
            DestroyWindow(page_);
        step_ = std::make_unique<ReqRetryPrompt>();
        parent_.shownTexts.clear();
        page_ = step_->Run(parent_.get());
        ASSERT_NE(page_, nullptr);
    }
    // The chain asked for by a WM_STEP_FAILED from the page, or -1.
    int PostedChain(DWORD timeoutMs = 200)
    {
        MSG failed;
        if (!WaitForPosted(parent_.get(), WM_STEP_FAILED, &failed, timeoutMs))
            return -1;
        EXPECT_EQ(reinterpret_cast<HWND>(failed.wParam), page_);
        return static_cast<int>(failed.lParam);
    }

    PageParent parent_;
    std::unique_ptr<ReqRetryPrompt> step_;
    HWND page_ = nullptr;
    MessageBoxExProc savedBox_ = nullptr;
    DWORD (*savedClock_)() = nullptr;
};

TEST_F(RetryPageTest, CountdownsGrowAndTheSixthFailureWaits)
{
    const std::wstring failure = Text("UPDATE_FAILED") + L"\n\nThe disk is full.";
    const DWORD delays[] = {25000, 30000, 60000, 60000, 120000};
    for (DWORD delay : delays) {
        Show();
        EXPECT_EQ(step_->kind, STEP_PROGRESS_HEAVY);
        EXPECT_EQ(step_->countdownEnd - step_->countdownStart, delay);
        ASSERT_EQ(parent_.shownTexts.size(), 1u);
        EXPECT_EQ(parent_.shownTexts[0], failure + L"\n\n" + Text("AUTO_RETRY"));
        EXPECT_EQ(parent_.ItemText(IDC_MAIN_BUTTON), Text("RETRY"));
        EXPECT_EQ(parent_.ItemText(IDC_ALT_BUTTON), Text("GET_LOGS"));
        EXPECT_TRUE(IsWindowEnabled(parent_.Item(IDC_ALT_BUTTON)));

        EXPECT_EQ(step_->GetProgress(), 0.0f);
        FakeNow += delay / 4;
        EXPECT_FLOAT_EQ(step_->GetProgress(), 0.25f);
        EXPECT_EQ(PostedChain(0), -1);
        FakeNow += delay;
        EXPECT_EQ(step_->GetProgress(), 1.0f);
        EXPECT_EQ(PostedChain(), CHAIN_MAIN);
        EXPECT_EQ(parent_.shownTexts.back(), L"<none>");
        EXPECT_EQ(step_->GetProgress(), 0.0f); // fired once
    }
    Show();
    EXPECT_EQ(step_->kind, STEP_PROGRESS_HIDDEN);
    EXPECT_EQ(step_->GetProgress(), 0.0f);
    ASSERT_EQ(parent_.shownTexts.size(), 1u);
    EXPECT_EQ(parent_.shownTexts[0], failure);

    // RETRY starts the count again: the next failure waits 25 s.
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, 0), 0);
    EXPECT_EQ(PostedChain(), CHAIN_MAIN);
    EXPECT_EQ(RetryCount, 0u);
    Show();
    EXPECT_EQ(step_->countdownEnd - step_->countdownStart, 25000u);
}

TEST_F(RetryPageTest, GetLogsAsksFirstAndAFatalFailureNeverRetriesByItself)
{
    Show();
    GetLogsAnswer = IDCANCEL;
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_ALT_BUTTON, 0), 0);
    EXPECT_EQ(GetLogsAsked, 1);
    EXPECT_EQ(PostedChain(), -1);
    EXPECT_NE(step_->countdownEnd, 0u); // the countdown runs on
    GetLogsAnswer = IDOK;
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_ALT_BUTTON, 0), 0);
    EXPECT_EQ(PostedChain(), CHAIN_SUPPORT);
    EXPECT_EQ(RetryCount, 0u);

    SetStepError(L"", true);
    Show();
    EXPECT_EQ(step_->countdownEnd, 0u);
    EXPECT_EQ(parent_.shownTexts.at(0), Text("UPDATE_FAILED") + L"\n\n");
    SetStepError(L"", false);
    Show();
    EXPECT_EQ(parent_.shownTexts.at(0),
              Text("UPDATE_FAILED") + L"\n\n" + Text("RETRY_LATER") + L"\n\n" + Text("AUTO_RETRY"));

    // Headless, a page without a countdown shows its text (on the console)
    // and ends the launcher as failed.
    HeadlessMode = true;
    RetryCount = 5;
    Show();
    HeadlessMode = false;
    ASSERT_EQ(parent_.shownTexts.size(), 1u);
    EXPECT_EQ(parent_.shownTexts[0], Text("UPDATE_FAILED") + L"\n\n" + Text("RETRY_LATER"));
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, static_cast<WPARAM>(EXIT_RUN_FAILED));
}

class ReadyPageTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ResetGameLaunchForTest();
        ReadyToPlayShown = false;
        DownloadFolder = dir_.path();
        ResetClusterInstallDirsForTest();
        SetCommandLineForTest(L"Launcher.exe -nocef");
    }
    void TearDown() override
    {
        if (page_)
            DestroyWindow(page_);
        CurrentStepPage = nullptr;
        ReadyPageRebuildMs = 30 * 60 * 1000;
        IsRemoteSession = savedRemote_;
        DownloadFolder.clear();
        ResetClusterInstallDirsForTest();
        ResetGameLaunchForTest();
        SetCommandLineForTest(nullptr);
        SetStepError(L"", false);
        steps_test::TakeQuitMessage();
    }

    testing_support::TempDir dir_;
    PageParent parent_;
    HWND page_ = nullptr;
    bool (*savedRemote_)() = IsRemoteSession;
};

TEST_F(ReadyPageTest, OffersPlayAndRebuildsTheChainWhenLeftAlone)
{
    ReadyPageRebuildMs = 100;
    ReqReadyToPlay step;
    page_ = step.Run(parent_.get());
    ASSERT_NE(page_, nullptr);
    EXPECT_TRUE(ReadyToPlayShown);
    EXPECT_EQ(parent_.ItemText(IDC_STATUS_TEXT), Text("READY_TO_PLAY"));
    EXPECT_EQ(parent_.ItemText(IDC_MAIN_BUTTON), Text("PLAY"));
    EXPECT_TRUE(IsWindowEnabled(parent_.Item(IDC_MAIN_BUTTON)));

    // Only the current ready page takes the joystick's button.
    EXPECT_FALSE(IsReadyPageCurrent());
    CurrentStepPage = page_;
    EXPECT_TRUE(IsReadyPageCurrent());

    MSG failed;
    ASSERT_TRUE(WaitForPosted(parent_.get(), WM_STEP_FAILED, &failed, 5000));
    EXPECT_EQ(reinterpret_cast<HWND>(failed.wParam), page_);
    EXPECT_EQ(failed.lParam, CHAIN_MAIN);
    EXPECT_FALSE(WaitForPosted(parent_.get(), WM_STEP_FAILED, nullptr, 400)); // once
    DestroyWindow(page_);
    page_ = nullptr;
    EXPECT_FALSE(IsReadyPageCurrent());
}

TEST_F(ReadyPageTest, PlayWithoutTheGameGoesToTheRetryPage)
{
    ReqReadyToPlay step;
    page_ = step.Run(parent_.get());
    ASSERT_NE(page_, nullptr);
    steps_test::LogCapture log;
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, 0), 0);
    EXPECT_FALSE(IsWindowEnabled(parent_.Item(IDC_MAIN_BUTTON)));
    MSG failed;
    ASSERT_TRUE(WaitForPosted(parent_.get(), WM_STEP_FAILED, &failed, 2000));
    EXPECT_EQ(failed.lParam, CHAIN_RETRY_PROMPT);
    EXPECT_EQ(reinterpret_cast<HWND>(failed.wParam), page_);
    std::wstring error;
    bool fatal = true;
    GetStepError(error, fatal);
    EXPECT_EQ(error, Text("NO_EXECUTABLE"));
    EXPECT_FALSE(fatal);
    EXPECT_FALSE(LaunchedModes[LAUNCH_GAME]);
    EXPECT_FALSE(steps_test::TakeQuitMessage());
    EXPECT_TRUE(log.Contains("Vantorel.x64.exe")) << log.Text();
}

TEST_F(ReadyPageTest, ARemoteSessionEndsTheLauncherInstead)
{
    IsRemoteSession = [] { return true; };
    ReqReadyToPlay step;
    page_ = step.Run(parent_.get());
    ASSERT_NE(page_, nullptr);
    EXPECT_EQ(step.kind, STEP_PROGRESS_HIDDEN);
    MSG shown;
    ASSERT_TRUE(WaitForPosted(parent_.get(), WM_STEP_PAGE_SHOWN, &shown, 2000));
    EXPECT_STREQ(reinterpret_cast<const char*>(shown.lParam), "NO_REMOTE");
    EXPECT_FALSE(ReadyToPlayShown);
}

} // namespace
