// The window's plain logic: UiScale, the popups' rows, the step-message gate
// and the page HTML of the browser interface.
#include "page_text.h"
#include "popups.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "ui_scale.h"

#include <gtest/gtest.h>

namespace {

TEST(UiScaleTest, FactorAndRounding)
{
    auto is = [](UiScaleFactor a, int num, int den) { return a.num == num && a.den == den; };
    EXPECT_TRUE(is(ComputeUiScale(96, false), 1, 1));
    EXPECT_TRUE(is(ComputeUiScale(72, false), 1, 1));
    EXPECT_TRUE(is(ComputeUiScale(120, false), 120, 96));
    EXPECT_TRUE(is(ComputeUiScale(192, true), 3, 2));
    EXPECT_EQ(ScaleLength({120, 96}, 24), 30);
    EXPECT_EQ(ScaleLength({120, 96}, 20), 25);
    EXPECT_EQ(ScaleLength({3, 2}, 11), 17);
    // A scaled design length maps back onto itself, so a stretched bitmap
    // is read exactly over its own size.
    for (UiScaleFactor scale : {UiScaleFactor{120, 96}, UiScaleFactor{144, 96}, UiScaleFactor{168, 96}}) {
        for (int v : {1, 4, 13, 19, 20, 33, 64, 100, 132, 640, 1024})
            EXPECT_EQ(UnscaleLength(scale, ScaleLength(scale, v)), v) << scale.num << " " << v;
    }
}

TEST(PopupRowsTest, RowsEdgesAndStates)
{
    EXPECT_EQ(PopupRowAt(0, 0, 100, 20, 3), 0);
    EXPECT_EQ(PopupRowAt(100, 39, 100, 20, 3), 1);
    EXPECT_EQ(PopupRowAt(50, 60, 100, 20, 3), 2); // the bottom edge is the last row
    EXPECT_EQ(PopupRowAt(50, 61, 100, 20, 3), -1);
    EXPECT_EQ(PopupRowAt(101, 10, 100, 20, 3), -1);
    EXPECT_EQ(PopupRowAt(-1, 10, 100, 20, 3), -1);

    EXPECT_EQ(NextPopupState(POPUP_JUST_OPENED, -1), POPUP_JUST_OPENED);
    EXPECT_EQ(NextPopupState(2, -1), POPUP_NO_ROW);
    EXPECT_EQ(NextPopupState(POPUP_JUST_OPENED, 1), 1);

    bool installed[LANGUAGE_COUNT] = {true,  false, false, true,  false, false,
                                      false, false, false, false, true};
    EXPECT_EQ(InstalledLanguageAtRow(installed, 1), 3);
    EXPECT_EQ(InstalledLanguageAtRow(installed, 2), 10);
    EXPECT_EQ(InstalledLanguageAtRow(installed, 3), -1);
}

TEST(StepMessageGateTest, ReportsOfOtherPagesAreDroppedAndRunDefersTheQueue)
{
    HWND current = reinterpret_cast<HWND>(0x1234);
    WPARAM stale = 0x5678;
    LPARAM page = reinterpret_cast<LPARAM>(current);
    using A = StepMessageAction;
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SUCCEEDED, 0, page, current, false), A::Handle);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SUCCEEDED, 0, stale, current, false), A::Ignore);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SUCCEEDED, 0, 0, nullptr, false), A::Ignore);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_FAILED, 0, 2, current, false), A::Handle);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_FAILED, page, 2, current, false), A::Handle);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_FAILED, stale, 2, current, false), A::Ignore);
    for (UINT message : {WM_STEP_NEXT, WM_STEP_SUCCEEDED, WM_STEP_FAILED})
        EXPECT_EQ(ClassifyStepMessage(message, 0, page, current, true), A::Defer);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SHOW_TEXT, 0, 0, nullptr, true), A::Handle);
}

TEST(PageTextTest, LineBreaksLinksAndQuotes)
{
    EXPECT_EQ(PaneTextToPageHtml(L"plain \"quoted\" text"), L"plain &quot;quoted&quot; text");
    EXPECT_EQ(PaneTextToPageHtml(L"one\r\ntwo"), L"one<br><br>two");
    // The field's closing quote goes with the link; a ")" or a line break
    // that ends the address stays in the text.
    EXPECT_EQ(PaneTextToPageHtml(L"(HYPERLINK \"http://b.example) and HYPERLINK \"https://c.example/x\"."),
              L"(<a target=_blank href=http://b.example>http://b.example</a>) and "
              L"<a target=_blank href=https://c.example/x>https://c.example/x</a>.");
    EXPECT_EQ(PaneTextToPageHtml(L"see HYPERLINK \"http://d.example\r\nnext"),
              L"see <a target=_blank href=http://d.example>http://d.example</a><br><br>next");
    // A link at the very end of the text ends there.
    EXPECT_EQ(PaneTextToPageHtml(L"HYPERLINK \"http://end.example"),
              L"<a target=_blank href=http://end.example>http://end.example</a>");
}

} // namespace
