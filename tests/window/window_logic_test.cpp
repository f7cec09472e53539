// The window's plain logic: UiScale, the layout table, the popups' rows,
// the step-message gate and the page HTML of the browser interface.
#include "main_window_layout.h"
#include "page_text.h"
#include "popups.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "ui_scale.h"

#include <gtest/gtest.h>

namespace {

class ScaleGuard {
public:
    explicit ScaleGuard(UiScaleFactor scale) { UiScale = scale; }
    ~ScaleGuard() { UiScale = {}; }
};

TEST(UiScaleTest, FactorFollowsTheScreenUnlessForcedBig)
{
    auto same = [](UiScaleFactor a, int num, int den) { return a.num == num && a.den == den; };
    EXPECT_TRUE(same(ComputeUiScale(72, false), 1, 1));
    EXPECT_TRUE(same(ComputeUiScale(96, false), 1, 1));
    EXPECT_TRUE(same(ComputeUiScale(120, false), 120, 96));
    EXPECT_TRUE(same(ComputeUiScale(144, false), 144, 96));
    EXPECT_TRUE(same(ComputeUiScale(96, true), 3, 2));
    EXPECT_TRUE(same(ComputeUiScale(192, true), 3, 2));
}

TEST(UiScaleTest, ScaleRoundsAndUnscaleInvertsForDesignSizes)
{
    UiScaleFactor dpi120 = {120, 96};
    EXPECT_EQ(ScaleLength(dpi120, 24), 30);
    EXPECT_EQ(ScaleLength(dpi120, 20), 25);
    EXPECT_EQ(ScaleLength(dpi120, 1024), 1280);
    EXPECT_EQ(ScaleLength({3, 2}, 1024), 1536);
    EXPECT_EQ(ScaleLength({3, 2}, 11), 17);
    // A scaled design length maps back onto the design length, so a
    // stretched bitmap is read exactly over its own size.
    for (UiScaleFactor scale : {UiScaleFactor{1, 1}, dpi120, UiScaleFactor{144, 96}, UiScaleFactor{3, 2},
                                UiScaleFactor{168, 96}}) {
        for (int v : {0, 1, 4, 13, 19, 20, 33, 64, 100, 132, 640, 1024})
            EXPECT_EQ(UnscaleLength(scale, ScaleLength(scale, v)), v) << scale.num << "/" << scale.den << " " << v;
    }
}

TEST(LayoutTest, DesignSizeMatchesTheDesign)
{
    ScaleGuard guard({1, 1});
    MainWindowLayout l = ComputeMainWindowLayout(1024, 640, {132, 33}, 17);
    EXPECT_EQ(l.close.x, 1000);
    EXPECT_EQ(l.close.y, 4);
    EXPECT_EQ(l.minimize.x, 976);
    EXPECT_EQ(l.settings.x, 952);
    EXPECT_EQ(l.language.x, 848);
    EXPECT_EQ(l.language.width, 100);
    EXPECT_EQ(l.cluster.x, 744);
    EXPECT_EQ(l.mainButton.x, 868);
    EXPECT_EQ(l.mainButton.y, 591);
    EXPECT_EQ(l.mainButton.width, 132);
    EXPECT_EQ(l.mainButton.height, 33);
    EXPECT_EQ(l.progress.x, 32);
    EXPECT_EQ(l.progress.y, 611);
    EXPECT_EQ(l.progress.width, 812);
    EXPECT_EQ(l.progress.height, 13);
    EXPECT_EQ(l.statusText.y, 592);
    EXPECT_EQ(l.statusText.width, 406);
    EXPECT_EQ(l.statusDetail.x, 438);
    EXPECT_EQ(l.textFrame.x, 32);
    EXPECT_EQ(l.textFrame.y, 120);
    EXPECT_EQ(l.textFrame.width, 970);
    EXPECT_EQ(l.textFrame.height, 456);
    EXPECT_EQ(l.textPane.x, 0);
    EXPECT_EQ(l.textPane.width, 970);
    EXPECT_EQ(l.textScrollBar.x, 1003);
    EXPECT_EQ(l.textScrollBar.width, 17);
}

TEST(LayoutTest, ScaledLayoutKeepsTheSystemScrollBarWidth)
{
    ScaleGuard guard({120, 96});
    MainWindowLayout l = ComputeMainWindowLayout(1280, 800, {132, 33}, 16);
    EXPECT_EQ(l.close.x, 1280 - 30);
    EXPECT_EQ(l.close.width, 25);
    EXPECT_EQ(l.mainButton.width, 165);
    EXPECT_EQ(l.mainButton.height, 41);
    EXPECT_EQ(l.textScrollBar.width, 16);
    EXPECT_EQ(l.textFrame.width + 1 + l.textFrame.x, l.textScrollBar.x);
}

TEST(PopupRowsTest, RowsEdgesAndStates)
{
    EXPECT_EQ(PopupRowAt(0, 0, 100, 20, 3), 0);
    EXPECT_EQ(PopupRowAt(100, 39, 100, 20, 3), 1);
    EXPECT_EQ(PopupRowAt(50, 60, 100, 20, 3), 2); // the bottom edge is the last row
    EXPECT_EQ(PopupRowAt(50, 61, 100, 20, 3), -1);
    EXPECT_EQ(PopupRowAt(101, 10, 100, 20, 3), -1);
    EXPECT_EQ(PopupRowAt(-1, 10, 100, 20, 3), -1);
    EXPECT_EQ(PopupRowAt(5, 20, 100, 20, 1), 0);

    EXPECT_EQ(NextPopupState(POPUP_JUST_OPENED, -1), POPUP_JUST_OPENED);
    EXPECT_EQ(NextPopupState(POPUP_NO_ROW, -1), POPUP_NO_ROW);
    EXPECT_EQ(NextPopupState(2, -1), POPUP_NO_ROW);
    EXPECT_EQ(NextPopupState(POPUP_JUST_OPENED, 1), 1);

    bool installed[LANGUAGE_COUNT] = {true, false, false, true, false, false, false, false, false, false, true};
    EXPECT_EQ(InstalledLanguageAtRow(installed, 0), 0);
    EXPECT_EQ(InstalledLanguageAtRow(installed, 1), 3);
    EXPECT_EQ(InstalledLanguageAtRow(installed, 2), 10);
    EXPECT_EQ(InstalledLanguageAtRow(installed, 3), -1);
    EXPECT_EQ(InstalledLanguageAtRow(installed, -1), -1);
}

TEST(StepMessageGateTest, ReportsOfOtherPagesAreDroppedAndRunDefersTheQueue)
{
    HWND current = reinterpret_cast<HWND>(0x1234);
    HWND stale = reinterpret_cast<HWND>(0x5678);
    auto page = [](HWND h) { return reinterpret_cast<LPARAM>(h); };
    using A = StepMessageAction;
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SUCCEEDED, 0, page(current), current, false), A::Handle);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SUCCEEDED, 0, page(stale), current, false), A::Ignore);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SUCCEEDED, 0, 0, current, false), A::Ignore);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SUCCEEDED, 0, 0, nullptr, false), A::Ignore);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_FAILED, 0, 2, current, false), A::Handle);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_FAILED, reinterpret_cast<WPARAM>(current), 2, current, false),
              A::Handle);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_FAILED, reinterpret_cast<WPARAM>(stale), 2, current, false), A::Ignore);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_FAILED, reinterpret_cast<WPARAM>(stale), 2, nullptr, false), A::Ignore);
    for (UINT message : {WM_STEP_NEXT, WM_STEP_SUCCEEDED, WM_STEP_FAILED})
        EXPECT_EQ(ClassifyStepMessage(message, 0, page(current), current, true), A::Defer);
    EXPECT_EQ(ClassifyStepMessage(WM_STEP_SHOW_TEXT, 0, 0, nullptr, true), A::Handle);
}

TEST(PageTextTest, LineBreaksLinksAndQuotes)
{
    EXPECT_EQ(PaneTextToPageHtml(L"plain \"quoted\" text"), L"plain &quot;quoted&quot; text");
    EXPECT_EQ(PaneTextToPageHtml(L"one\r\ntwo"), L"one<br><br>two");
    EXPECT_EQ(PaneTextToPageHtml(L"see HYPERLINK \"https://a.example/x\"here."),
              L"see <a target=_blank href=https://a.example/x>https://a.example/x</a>here.");
    EXPECT_EQ(PaneTextToPageHtml(L"(HYPERLINK \"http://b.example) and HYPERLINK \"http://c.example<"),
              L"(<a target=_blank href=http://b.example>http://b.example</a> and "
              L"<a target=_blank href=http://c.example>http://c.example</a>");
    // A link at the very end of the text ends there.
    EXPECT_EQ(PaneTextToPageHtml(L"HYPERLINK \"http://end.example"),
              L"<a target=_blank href=http://end.example>http://end.example</a>");
}

} // namespace
