// The step page template and the QUIT and OK pages.
#include "localization.h"
#include "log.h"
#include "step_messages.h"
#include "step_page.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class StepPageTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        steps_test::TakeQuitMessage();
        button_ = CreateWindowExW(0, L"Button", L"", WS_CHILD | WS_DISABLED, 0, 0, 10, 10, parent_.get(),
                                  reinterpret_cast<HMENU>(IDC_MAIN_BUTTON), nullptr, nullptr);
    }
    void TearDown() override
    {
        if (page_)
            DestroyWindow(page_);
        HeadlessMode = false;
        steps_test::TakeQuitMessage();
    }
    // Takes the first posted message of the parent in [first, last].
    bool TakePosted(UINT message, LPARAM* lParam = nullptr)
    {
        MSG msg;
        if (!PeekMessageW(&msg, parent_.get(), message, message, PM_REMOVE))
            return false;
        if (lParam)
            *lParam = msg.lParam;
        return true;
    }
    std::wstring Caption()
    {
        wchar_t text[64] = {};
        GetWindowTextW(button_, text, 64);
        return text;
    }

    steps_test::PlainWindow parent_;
    HWND button_ = nullptr;
    HWND page_ = nullptr;
};

TEST_F(StepPageTest, QuitPageOffersQuitAndEndsTheLauncher)
{
    static const char key[] = "UPDATE_FAILED";
    page_ = ShowStepPage(parent_.get(), QuitPageProc, reinterpret_cast<LPARAM>(key));
    ASSERT_NE(page_, nullptr);
    EXPECT_TRUE(IsWindowEnabled(button_));
    EXPECT_EQ(Caption(), steps_test::Text("QUIT"));
    LPARAM shown = 0;
    ASSERT_TRUE(TakePosted(WM_STEP_PAGE_SHOWN, &shown));
    EXPECT_EQ(reinterpret_cast<const char*>(shown), key);
    EXPECT_FALSE(steps_test::TakeQuitMessage());

    // Only a plain click of the main button counts.
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_ALT_BUTTON, 0), 0);
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, 1), 0);
    EXPECT_FALSE(steps_test::TakeQuitMessage());
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, 0), 0);
    EXPECT_TRUE(steps_test::TakeQuitMessage());
}

TEST_F(StepPageTest, OkPageFinishesTheStep)
{
    static const char key[] = "WARNING_DX11_UNSUPPORTED";
    page_ = ShowStepPage(parent_.get(), OkPageProc, reinterpret_cast<LPARAM>(key));
    EXPECT_EQ(Caption(), steps_test::Text("OK"));
    EXPECT_TRUE(TakePosted(WM_STEP_PAGE_SHOWN));
    EXPECT_FALSE(TakePosted(WM_STEP_SUCCEEDED));
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, 0), 0);
    EXPECT_TRUE(TakePosted(WM_STEP_SUCCEEDED));
    EXPECT_FALSE(steps_test::TakeQuitMessage());
}

TEST_F(StepPageTest, HeadlessPagesActAfterShowingTheirMessage)
{
    HeadlessMode = true;
    static const char key[] = "UNSUPPORTED_OS";
    page_ = ShowStepPage(parent_.get(), OkPageProc, reinterpret_cast<LPARAM>(key));
    EXPECT_TRUE(TakePosted(WM_STEP_PAGE_SHOWN));
    EXPECT_TRUE(TakePosted(WM_STEP_SUCCEEDED));
    // A QUIT page ends the run as failed: the machine's own shortcomings
    // with a code of their own.
    for (const char* quitKey : {"UNSUPPORTED_OS", "UPDATE_FAILED"}) {
        DestroyWindow(page_);
        page_ = ShowStepPage(parent_.get(), QuitPageProc, reinterpret_cast<LPARAM>(quitKey));
        EXPECT_TRUE(TakePosted(WM_STEP_PAGE_SHOWN));
        MSG quit;
        ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << quitKey;
        EXPECT_EQ(quit.wParam, static_cast<WPARAM>(strcmp(quitKey, key) == 0 ? EXIT_MACHINE_UNSUPPORTED
                                                                             : EXIT_RUN_FAILED));
    }
}

} // namespace
