// The text pane: texts and RTF shown through WM_STEP_SHOW_TEXT, the message
// of the day, page texts, the separate scroll bar with the wheel, and link
// clicks opened through the shell.
#include "launcher.h"
#include "motd_buffer.h"
#include "step_messages.h"
#include "text_pane.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <richedit.h>

#include <string>

using window_test::LauncherWindow;
using window_test::LogCapture;
using window_test::PumpFor;
using window_test::ShellRecorder;

namespace {

class TextPaneTest : public ::testing::Test {
protected:
    void TearDown() override { MotdBuffer.clear(); }

    void ShowWide(const std::wstring& text)
    {
        SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void ShowRtf(const std::string& rtf)
    {
        SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 1, reinterpret_cast<LPARAM>(rtf.c_str()));
    }
    std::wstring PaneText()
    {
        int length = GetWindowTextLengthW(w_.Pane());
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        GetWindowTextW(w_.Pane(), text.data(), length + 1);
        text.resize(static_cast<size_t>(length));
        return text;
    }
    bool PaneVisible() { return IsWindowVisible(w_.Pane()) != FALSE; }
    bool BarVisible() { return IsWindowVisible(w_.Item(IDC_TEXT_SCROLLBAR)) != FALSE; }
    SCROLLINFO Bar()
    {
        SCROLLINFO info = {sizeof(info), SIF_ALL};
        GetScrollInfo(w_.Item(IDC_TEXT_SCROLLBAR), SB_CTL, &info);
        return info;
    }
    CHARFORMAT2W Format()
    {
        CHARFORMAT2W format = {};
        format.cbSize = sizeof(format);
        SendMessageW(w_.Pane(), EM_SETSEL, 0, -1);
        SendMessageW(w_.Pane(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format;
    }
    static std::wstring LongText(int lines)
    {
        std::wstring text;
        for (int i = 0; i < lines; ++i)
            text += L"Line " + std::to_wstring(i) + L" of the notes\r\n";
        return text;
    }

    LauncherWindow w_;
};

TEST_F(TextPaneTest, ShortTextShowsWithoutTheScrollBarAndNullHides)
{
    ShowWide(L"Short text");
    EXPECT_TRUE(PaneVisible());
    EXPECT_FALSE(BarVisible());
    EXPECT_EQ(PaneText(), L"Short text");
    CHARFORMAT2W format = Format();
    EXPECT_STREQ(format.szFaceName, L"Tahoma");
    EXPECT_EQ(format.yHeight, 220);
    EXPECT_EQ(format.crTextColor, TextColor);
    EXPECT_FALSE(format.dwEffects & (CFE_BOLD | CFE_ITALIC));
    EXPECT_EQ(GetFocus(), nullptr);

    SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, 0);
    EXPECT_FALSE(PaneVisible());
    EXPECT_FALSE(BarVisible());
}

TEST_F(TextPaneTest, LongTextShowsTheBarAndTheWheelScrollsByTen)
{
    ShowWide(LongText(120));
    ASSERT_TRUE(BarVisible());
    SCROLLINFO info = Bar();
    EXPECT_GT(info.nMax, static_cast<int>(info.nPage));
    EXPECT_EQ(info.nPos, 0);

    SendMessageW(w_.get(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA * 3)), 0);
    EXPECT_EQ(Bar().nPos, 10);
    SendMessageW(w_.Pane(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_EQ(Bar().nPos, 20);
    SendMessageW(w_.get(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(Bar().nPos, 10);
    SendMessageW(w_.get(), WM_VSCROLL, SB_BOTTOM, 0);
    info = Bar();
    EXPECT_GE(info.nPos, info.nMax - static_cast<int>(info.nPage)); // clamped by the bar
    EXPECT_GT(SendMessageW(w_.Pane(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    SendMessageW(w_.get(), WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(Bar().nPos, 0);

    // Another long text brings its own range; a short one hides the bar.
    ShowWide(LongText(60));
    ASSERT_TRUE(BarVisible());
    EXPECT_LT(Bar().nMax, info.nMax);
    EXPECT_GT(Bar().nMax, static_cast<int>(Bar().nPage));
    ShowWide(L"Short again");
    EXPECT_FALSE(BarVisible());
}

TEST_F(TextPaneTest, RtfKeepsItsStylesAndALongerTextIsNotCut)
{
    ShowRtf("{\\rtf1\\ansi {\\b Bold} plain}");
    EXPECT_EQ(PaneText(), L"Bold plain");
    SendMessageW(w_.Pane(), EM_SETSEL, 0, 4);
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    SendMessageW(w_.Pane(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_TRUE(format.dwEffects & CFE_BOLD);
    EXPECT_STREQ(format.szFaceName, L"Tahoma");
    SendMessageW(w_.Pane(), EM_SETSEL, 5, 10);
    SendMessageW(w_.Pane(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_FALSE(format.dwEffects & CFE_BOLD);

    // The short RTF set a small text limit; a long wide text must come whole.
    std::wstring text = LongText(40);
    ShowWide(text);
    EXPECT_NE(PaneText().find(L"Line 39 of the notes"), std::wstring::npos);
}

TEST_F(TextPaneTest, MessageOfTheDayShowsOnceAndIsReadOnlyToItsSize)
{
    // The buffer carries no terminating zero; bytes after it are not read.
    const std::string rtf = "{\\rtf1\\ansi Build notes";
    MotdBuffer.assign(64, 'X');
    MotdBuffer.assign(rtf.begin(), rtf.end());
    SendMessageW(w_.get(), WM_STEP_SHOW_MOTD, 0, 0);
    EXPECT_TRUE(PaneVisible());
    EXPECT_EQ(PaneText(), L"Build notes");
    EXPECT_TRUE(MotdShown);

    ShowWide(L"Hidden under");
    SendMessageW(w_.get(), WM_STEP_SHOW_MOTD, 0, 0);
    EXPECT_EQ(PaneText(), L"Build notes");
    ShowWide(L"Not replaced");
    SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, 0);
    EXPECT_FALSE(MotdShown);

    MotdBuffer.clear();
    ShowWide(L"Shown");
    SendMessageW(w_.get(), WM_STEP_SHOW_MOTD, 0, 0);
    EXPECT_FALSE(PaneVisible());
    EXPECT_FALSE(MotdShown);
}

TEST_F(TextPaneTest, PageShownLooksTheKeyUp)
{
    static const char key[] = "CONFIRM_QUIT";
    PostMessageW(w_.get(), WM_STEP_PAGE_SHOWN, 0, reinterpret_cast<LPARAM>(key));
    PumpFor(50);
    EXPECT_TRUE(PaneVisible());
    EXPECT_EQ(PaneText(), L"Abort update process and quit?");
}

TEST_F(TextPaneTest, ForceBigScalesTheTextHeight)
{
    LauncherWindow big({96, L"-force:big"});
    std::wstring text = L"Big text";
    SendMessageW(big.get(), WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    SendMessageW(big.Pane(), EM_SETSEL, 0, -1);
    SendMessageW(big.Pane(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.yHeight, 17 * 20);
}

// A notification as the pane sends it for a click on a link.
LRESULT ClickLink(HWND frame, HWND pane, LONG first, LONG last, UINT mouseMessage = WM_LBUTTONDOWN)
{
    ENLINK link = {};
    link.nmhdr.hwndFrom = pane;
    link.nmhdr.idFrom = GetDlgCtrlID(pane);
    link.nmhdr.code = EN_LINK;
    link.msg = mouseMessage;
    link.chrg = {first, last};
    return SendMessageW(frame, WM_NOTIFY, link.nmhdr.idFrom, reinterpret_cast<LPARAM>(&link));
}

TEST_F(TextPaneTest, LinkClicksOpenTheUrlThroughTheShell)
{
    const std::wstring url = L"https://news.example.com/patch";
    ShowWide(L"Read " + url + L" today");
    HWND frame = w_.Item(IDC_TEXT_FRAME);
    {
        ShellRecorder shell;
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 5, 5 + static_cast<LONG>(url.size())), 1);
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 5, 5 + static_cast<LONG>(url.size()), WM_MOUSEMOVE), 0);
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 5, 5), 0);
        ASSERT_EQ(shell.opened.size(), 1u);
        EXPECT_EQ(shell.opened[0], url);
    }
    {
        LogCapture log;
        ShellRecorder failing(2);
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 5, 5 + static_cast<LONG>(url.size())), 1);
        EXPECT_NE(log.Text().find("Could not open https://news.example.com/patch\r\n"), std::string::npos);
    }
    {
        // A link longer than the buffer is cut, not overrun.
        std::wstring longUrl = L"https://example.com/" + std::wstring(400, L'a');
        ShowWide(longUrl);
        ShellRecorder shell;
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 0, static_cast<LONG>(longUrl.size())), 1);
        ASSERT_EQ(shell.opened.size(), 1u);
        EXPECT_EQ(shell.opened[0], longUrl.substr(0, 255));
    }
}

TEST_F(TextPaneTest, RealClickOnABareUrl)
{
    const std::wstring url = L"https://www.example.com/notes";
    ShowWide(L"Notes: " + url);
    PumpFor(100);
    // The pointer goes onto the middle of the URL and clicks there.
    LRESULT at = SendMessageW(w_.Pane(), EM_POSFROMCHAR, 7 + 10, 0);
    POINT point = {static_cast<short>(LOWORD(at)) + 2, static_cast<short>(HIWORD(at)) + 6};
    ClientToScreen(w_.Pane(), &point);
    ShellRecorder shell;
    SetForegroundWindow(w_.get());
    window_test::MovePointer(point);
    PumpFor(100);
    window_test::PressLeft();
    window_test::ReleaseLeft();
    EXPECT_TRUE(window_test::PumpUntil([&] { return !shell.opened.empty(); }, 3000));
    ASSERT_FALSE(shell.opened.empty());
    EXPECT_EQ(shell.opened[0], url);
}

} // namespace
