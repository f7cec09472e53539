// The user's input on the real window: closing (with its StepStatistics
// records and question), minimising, the settings button's test keys, the
// buttons' hover and press (by the pointer and by the space bar), and
// window dragging.
#include "button_subclass.h"
#include "dialog_driver.h"
#include "dialogs/dialog_ids.h"
#include "errorhandler.h"
#include "launcher.h"
#include "machine/retry_prompt_step.h"
#include "requirement_queue.h"
#include "step_error.h"
#include "step_messages.h"
#include "step_page.h"
#include "step_statistics.h"
#include "support/req_ready_for_support.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

using window_test::FakeStep;
using window_test::LauncherWindow;
using window_test::MessageBoxAnswer;
using window_test::PumpFor;
using window_test::PumpUntil;

namespace {

class WindowInputTest : public ::testing::Test {
  protected:
    void SetUp() override { StepStatistics.clear(); }
    void TearDown() override { StepStatistics.clear(); }

    bool Recorded(const wchar_t* key) { return StepStatistics[L"Exit"].count(key) != 0; }
    void AddSteps(int count)
    {
        for (int i = 0; i < count; ++i)
            AppendStep(new FakeStep(STEP_PROGRESS_HIDDEN, true), L"Step");
    }
    void Command(int id) { SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // Screen point of a client point of the main window.
    POINT Screen(int x, int y)
    {
        POINT point = {x, y};
        ClientToScreen(w_.get(), &point);
        return point;
    }
    RECT Place()
    {
        RECT r = {};
        GetWindowRect(w_.get(), &r);
        return r;
    }

    LauncherWindow w_;
};

TEST_F(WindowInputTest, ClosingAsksOnlyWithStepsLeft)
{
    AddSteps(2);
    {
        MessageBoxAnswer answer(IDCANCEL);
        SendMessageW(w_.get(), WM_CLOSE, 0, 0); // Alt+F4
        PumpFor(20);
        EXPECT_FALSE(window_test::QuitPosted);
        ASSERT_EQ(answer.shown.size(), 1u);
        EXPECT_EQ(answer.shown[0].text, L"Abort update process and quit?");
        EXPECT_EQ(answer.shown[0].caption, L"Quit");
        EXPECT_EQ(answer.shown[0].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2));
        EXPECT_TRUE(Recorded(L"AltF4")); // kept although the user stayed
        EXPECT_FALSE(Recorded(L"CloseButton"));
    }
    {
        MessageBoxAnswer answer(IDOK);
        Command(IDC_CLOSE);
        PumpFor(20);
        EXPECT_TRUE(window_test::QuitPosted);
        EXPECT_TRUE(Recorded(L"CloseButton"));
    }
    // With one step left (the ready page) there is no question.
    window_test::QuitPosted = false;
    ClearQueue();
    AddSteps(1);
    MessageBoxAnswer answer(IDCANCEL);
    Command(IDC_CLOSE);
    PumpFor(20);
    EXPECT_TRUE(window_test::QuitPosted);
    EXPECT_TRUE(answer.shown.empty());

    Command(IDC_MINIMIZE);
    EXPECT_TRUE(PumpUntil([&] { return IsIconic(w_.get()) != FALSE; }, 3000));
}

TEST_F(WindowInputTest, HoverAndARealClickOnTheCloseButton)
{
    AddSteps(1);
    HWND close = w_.Item(IDC_CLOSE);
    RECT r = {};
    GetWindowRect(close, &r);
    SetForegroundWindow(w_.get());
    window_test::MovePointer({r.left + 10, r.top + 10});
    ASSERT_TRUE(PumpUntil([&] { return IsButtonHovered(close); }, 3000));
    PumpFor(100);
    // Hovered, the close button shows its red hover bitmap.
    EXPECT_EQ(window_test::CaptureWindow(close).At(3, 10), 0xC83A32u);

    window_test::MovePointer(Screen(500, 300));
    EXPECT_TRUE(PumpUntil([&] { return !IsButtonHovered(close); }, 3000));

    window_test::MovePointer({r.left + 10, r.top + 10});
    PumpUntil([&] { return IsButtonHovered(close); }, 3000);
    window_test::PressLeft();
    window_test::ReleaseLeft();
    EXPECT_TRUE(PumpUntil([] { return window_test::QuitPosted; }, 3000));
    EXPECT_TRUE(Recorded(L"CloseButton"));
}

// The space bar of the real keyboard (a second key-down while it is down is
// the keyboard's repeat).
void SpaceBar(bool down)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_SPACE;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(VK_SPACE, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &input, sizeof(input));
    PumpFor(50);
}

// The space bar went down before the support chain's last page came (on
// another window), and the page gave its OPEN button the focus: held on for
// a while and released there, it is still a press that began before the
// page, and opens nothing. A press of its own opens the folder.
TEST_F(WindowInputTest, SpaceHeldFromBeforeItsPageDoesNotPressThePageButton)
{
    window_test::LogCapture log;
    window_test::ShellRecorder shell;
    AppendStep(new ReqReadyForSupport(), L"ReadyForSupport");
    SetForegroundWindow(w_.get());
    SetFocus(w_.get());
    PumpFor(300);
    SpaceBar(true);
    RunQueue(w_.get());
    ASSERT_EQ(GetFocus(), w_.Item(IDC_MAIN_BUTTON));
    PumpFor(PAGE_SETTLE_MS + 200);
    SpaceBar(true);
    SpaceBar(false);
    PumpFor(100);
    EXPECT_TRUE(shell.opened.empty());
    EXPECT_FALSE(window_test::QuitPosted);
    EXPECT_TRUE(log.Contains("Ignored a click on button 1044")) << log.Text();

    SpaceBar(true);
    SpaceBar(false);
    EXPECT_TRUE(PumpUntil([] { return window_test::QuitPosted; }, 3000)) << log.Text();
    EXPECT_EQ(shell.opened.size(), 1u);
}

// The sixth retry page in a row waits for the player, with RETRY on the
// main button; GET_LOGS has no button on screen in either interface. The
// space bar, pressed once the page has settled, must not ask for the logs
// through that hidden button: it has not got the keyboard focus. The window
// is the browser interface's model here (its texts go the page's way, and
// no page is loaded without a browser), where no text pane takes the focus
// away.
TEST_F(WindowInputTest, SpaceOnTheLastRetryPageDoesNotAskForTheLogs)
{
    MessageBoxAnswer answer(IDCANCEL);
    CefEnabled = true;
    SetStepError(L"The content server did not answer", false);
    RetryCount = 5;
    AppendStep(new ReqRetryPrompt(), L"RetryPrompt");
    SetForegroundWindow(w_.get());
    SetFocus(w_.get());
    PumpFor(300);
    RunQueue(w_.get());
    HWND alt = w_.Item(IDC_ALT_BUTTON);
    ASSERT_FALSE(IsWindowVisible(alt));
    EXPECT_NE(GetFocus(), alt);
    PumpFor(PAGE_SETTLE_MS + 200);
    SpaceBar(true);
    SpaceBar(false);
    PumpFor(200);
    EXPECT_TRUE(answer.shown.empty())
        << "the space bar asked: " << std::string(answer.shown[0].text.begin(), answer.shown[0].text.end());
    ClearQueue();
    CefEnabled = false;
    RetryCount = 0;
    SetStepError(L"", false);
}

AssertInfo LastAssert = {};
int AssertCount = 0;

int RecordAssert(const AssertInfo* info)
{
    LastAssert = *info;
    ++AssertCount;
    return 0;
}

TEST_F(WindowInputTest, ControlAltAOnSettingsRaisesTheForcedAssertion)
{
    AssertHookFunction previous = AssertHook;
    AssertHook = RecordAssert;
    AssertCount = 0;
    {
        window_test::HeldKeys keys({VK_CONTROL, VK_MENU, 'A'});
        Command(IDC_SETTINGS);
    }
    EXPECT_EQ(AssertCount, 1);
    EXPECT_STREQ(LastAssert.expression, "Forced assert failure");
    EXPECT_STREQ(LastAssert.function, "TestAssert");
    EXPECT_EQ(LastAssert.line, 1943u);
    // Without those keys, or with C and no browser, the settings dialog opens.
    auto opensSettings = [this] {
        bool opened = false;
        window_test::DialogDriver driver;
        driver.Then([&](HWND dialog) {
            opened = GetDlgItem(dialog, IDC_VERIFY) != nullptr;
            window_test::Click(dialog, IDC_DIALOG_CANCEL);
        });
        return driver.Run([this] { Command(IDC_SETTINGS); }) && opened;
    };
    EXPECT_TRUE(opensSettings());
    {
        window_test::HeldKeys keys({VK_CONTROL, VK_MENU, 'C'});
        EXPECT_TRUE(opensSettings());
    }
    AssertHook = previous;
    EXPECT_EQ(AssertCount, 1);
}

TEST(WindowCrashKeyTest, ControlAltGOnSettingsIsAnAccessViolation)
{
    std::wstring self =
        L"\"" + testing_support::ExecutableFolder() + L"\\window_tests.exe\" --press-crash-keys";
    EXPECT_EQ(testing_support::RunProcess(self, nullptr, 60000),
              static_cast<int>(EXCEPTION_ACCESS_VIOLATION));
}

TEST_F(WindowInputTest, DraggingTheTopEdgeMovesTheWindow)
{
    SetForegroundWindow(w_.get());
    auto drag = [&](POINT from, int dx, int dy) {
        window_test::MovePointer(from);
        PumpFor(50);
        window_test::PressLeft();
        PumpFor(50);
        window_test::MovePointer({from.x + dx / 2, from.y + dy / 2});
        PumpFor(50);
        window_test::MovePointer({from.x + dx, from.y + dy});
        PumpFor(150);
        window_test::ReleaseLeft();
        PumpFor(50);
    };
    RECT before = Place();
    drag(Screen(300, 10), 60, 30);
    RECT after = Place();
    EXPECT_EQ(after.left, before.left + 60);
    EXPECT_EQ(after.top, before.top + 30);
    EXPECT_EQ(GetCapture(), nullptr);

    // A press at y 29 is below the drag zone.
    drag(Screen(300, 29), 40, 40);
    EXPECT_EQ(Place().left, after.left);
    EXPECT_EQ(Place().top, after.top);
}

} // namespace
