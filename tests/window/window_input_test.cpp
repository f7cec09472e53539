// The user's input on the real window: closing (with its StepStatistics
// records and question), minimising, the settings button's test keys, the
// buttons' hover, window dragging and the commands a page receives.
#include "button_subclass.h"
#include "errorhandler.h"
#include "requirement_queue.h"
#include "step_messages.h"
#include "step_statistics.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using window_test::FakeStep;
using window_test::HeldKeys;
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
    POINT ScreenCentre(HWND item)
    {
        RECT r = {};
        GetWindowRect(item, &r);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    LauncherWindow w_;
};

TEST_F(WindowInputTest, CloseButtonQuitsAtOnceWithOneStepLeft)
{
    AddSteps(1);
    MessageBoxAnswer answer(IDCANCEL);
    SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_CLOSE, 0), 0);
    PumpFor(20);
    EXPECT_TRUE(window_test::QuitPosted);
    EXPECT_TRUE(answer.shown.empty());
    EXPECT_TRUE(Recorded(L"CloseButton"));
    EXPECT_FALSE(Recorded(L"AltF4"));
}

TEST_F(WindowInputTest, ClosingWithStepsLeftAsksFirst)
{
    AddSteps(2);
    {
        MessageBoxAnswer answer(IDCANCEL);
        SendMessageW(w_.get(), WM_CLOSE, 0, 0);
        PumpFor(20);
        EXPECT_FALSE(window_test::QuitPosted);
        ASSERT_EQ(answer.shown.size(), 1u);
        EXPECT_EQ(answer.shown[0].text, L"Abort update process and quit?");
        EXPECT_EQ(answer.shown[0].caption, L"Quit");
        EXPECT_EQ(answer.shown[0].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2));
        // Alt+F4 records only its own key, and the record stays.
        EXPECT_TRUE(Recorded(L"AltF4"));
        EXPECT_FALSE(Recorded(L"CloseButton"));
    }
    MessageBoxAnswer answer(IDOK);
    SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_CLOSE, 0), 0);
    PumpFor(20);
    EXPECT_TRUE(window_test::QuitPosted);
    EXPECT_TRUE(Recorded(L"CloseButton"));
}

TEST_F(WindowInputTest, RealClickOnTheCloseButtonWithHover)
{
    AddSteps(1);
    HWND close = w_.Item(IDC_CLOSE);
    SetForegroundWindow(w_.get());
    window_test::MovePointer(ScreenCentre(close));
    ASSERT_TRUE(PumpUntil([&] { return IsButtonHovered(close); }, 3000));

    // Hover shows the hover bitmap: the close button turns red.
    PumpFor(100);
    window_test::Picture picture = window_test::CaptureWindow(close);
    EXPECT_EQ(picture.At(3, 10), 0xC83A32u) << std::hex << picture.At(3, 10);

    // Leaving clears the flag (the leave notification).
    window_test::MovePointer(ScreenCentre(w_.Item(IDC_TEXT_FRAME)));
    EXPECT_TRUE(PumpUntil([&] { return !IsButtonHovered(close); }, 3000));

    window_test::MovePointer(ScreenCentre(close));
    PumpUntil([&] { return IsButtonHovered(close); }, 3000);
    window_test::PressLeft();
    window_test::ReleaseLeft();
    EXPECT_TRUE(PumpUntil([] { return window_test::QuitPosted; }, 3000));
    EXPECT_TRUE(Recorded(L"CloseButton"));
}

TEST_F(WindowInputTest, MinimiseButton)
{
    SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, 0), 0);
    EXPECT_TRUE(PumpUntil([&] { return IsIconic(w_.get()) != FALSE; }, 3000));
    ShowWindow(w_.get(), SW_RESTORE);
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
        HeldKeys keys({VK_CONTROL, VK_MENU, 'A'});
        SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, 0), 0);
    }
    AssertHook = previous;
    ASSERT_EQ(AssertCount, 1);
    EXPECT_STREQ(LastAssert.expression, "Forced assert failure");
    EXPECT_STREQ(LastAssert.function, "TestAssert");
    EXPECT_EQ(LastAssert.line, 1943u);

    // Without the keys the settings dialog opens (and is closed again);
    // the hook is not reached.
    AssertHook = RecordAssert;
    SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, 0), 0);
    {
        HeldKeys keys({VK_CONTROL, VK_MENU, 'C'});
        SendMessageW(w_.get(), WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, 0), 0);
    }
    AssertHook = previous;
    EXPECT_EQ(AssertCount, 1);
}

TEST_F(WindowInputTest, DraggingTheTopEdgeMovesTheWindow)
{
    HWND window = w_.get();
    SetForegroundWindow(window);
    RECT before = {};
    GetWindowRect(window, &before);
    POINT grab = {300, 10};
    ClientToScreen(window, &grab);
    window_test::MovePointer(grab);
    PumpFor(50);
    window_test::PressLeft();
    PumpFor(50);
    window_test::MovePointer({grab.x + 40, grab.y + 25});
    PumpFor(50);
    window_test::MovePointer({grab.x + 60, grab.y + 30});
    EXPECT_TRUE(PumpUntil([&] {
        RECT now = {};
        GetWindowRect(window, &now);
        return now.left == before.left + 60 && now.top == before.top + 30;
    }, 3000));
    window_test::ReleaseLeft();
    PumpFor(50);
    EXPECT_EQ(GetCapture(), nullptr);

    // A press below the top 29 pixels does not grab the window.
    GetWindowRect(window, &before);
    POINT below = {300, 29};
    ClientToScreen(window, &below);
    window_test::MovePointer(below);
    PumpFor(50);
    window_test::PressLeft();
    PumpFor(50);
    window_test::MovePointer({below.x + 40, below.y + 40});
    PumpFor(100);
    window_test::ReleaseLeft();
    PumpFor(50);
    RECT after = {};
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
}

TEST_F(WindowInputTest, CommandsReachTheCurrentPageFirst)
{
    auto* step = new FakeStep(STEP_PROGRESS_HIDDEN, true);
    AppendStep(step, L"Paged");
    PostMessageW(w_.get(), WM_STEP_NEXT, 0, 0);
    PumpFor(50);
    ASSERT_TRUE(step->page);
    EnableWindow(w_.Item(IDC_MAIN_BUTTON), TRUE);
    SendMessageW(w_.Item(IDC_MAIN_BUTTON), BM_CLICK, 0, 0);
    PumpFor(50);
    // The click, and the press as a button-down notification.
    const std::vector<WPARAM>& commands = window_test::PageCommands(step->page);
    auto received = [&](WORD code) {
        return std::find(commands.begin(), commands.end(), MAKEWPARAM(IDC_MAIN_BUTTON, code)) != commands.end();
    };
    EXPECT_TRUE(received(BN_CLICKED));
    EXPECT_TRUE(received(NOTIFY_BUTTON_DOWN));
}

} // namespace
