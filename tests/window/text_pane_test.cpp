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
using window_test::PumpFor;
using window_test::ShellRecorder;

namespace {

class TextPaneTest : public ::testing::Test {
protected:
    void TearDown() override { MotdBuffer.clear(); }

    void Show(const std::wstring& text)
    {
        SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void ShowRtf(const std::string& rtf)
    {
        SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 1, reinterpret_cast<LPARAM>(rtf.c_str()));
    }
    std::wstring PaneText()
    {
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(w_.Pane())) + 1, L'\0');
        text.resize(
            static_cast<size_t>(GetWindowTextW(w_.Pane(), text.data(), static_cast<int>(text.size()))));
        return text;
    }
    bool PaneShown() { return IsWindowVisible(w_.Pane()) != FALSE; }
    bool BarShown() { return IsWindowVisible(w_.Item(IDC_TEXT_SCROLLBAR)) != FALSE; }
    SCROLLINFO Bar()
    {
        SCROLLINFO info = {sizeof(info), SIF_ALL};
        GetScrollInfo(w_.Item(IDC_TEXT_SCROLLBAR), SB_CTL, &info);
        return info;
    }
    CHARFORMAT2W Format(int first, int last)
    {
        CHARFORMAT2W format = {};
        format.cbSize = sizeof(format);
        SendMessageW(w_.Pane(), EM_SETSEL, first, last);
        SendMessageW(w_.Pane(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format;
    }
    static std::wstring Lines(int count)
    {
        std::wstring text;
        for (int i = 0; i < count; ++i)
            text += L"Line " + std::to_wstring(i) + L" of the notes\r\n";
        return text;
    }

    LauncherWindow w_;
};

TEST_F(TextPaneTest, TextsRtfAndTheirFormat)
{
    Show(L"Short text");
    EXPECT_TRUE(PaneShown());
    EXPECT_FALSE(BarShown());
    EXPECT_EQ(PaneText(), L"Short text");
    CHARFORMAT2W format = Format(0, -1);
    EXPECT_STREQ(format.szFaceName, L"Tahoma");
    EXPECT_EQ(format.yHeight, 220);
    EXPECT_EQ(format.crTextColor, TextColor);

    // An RTF keeps its own bold, and only there.
    ShowRtf("{\\rtf1\\ansi {\\b Bold} plain}");
    EXPECT_EQ(PaneText(), L"Bold plain");
    EXPECT_TRUE(Format(0, 4).dwEffects & CFE_BOLD);
    EXPECT_FALSE(Format(5, 10).dwEffects & CFE_BOLD);
    // The short RTF set a small text limit; a long text still comes whole.
    Show(Lines(40));
    EXPECT_NE(PaneText().find(L"Line 39 of the notes"), std::wstring::npos);

    SendMessageW(w_.get(), WM_STEP_SHOW_TEXT, 0, 0);
    EXPECT_FALSE(PaneShown());

    static const char key[] = "CONFIRM_QUIT";
    PostMessageW(w_.get(), WM_STEP_PAGE_SHOWN, 0, reinterpret_cast<LPARAM>(key));
    PumpFor(50);
    EXPECT_EQ(PaneText(), L"Abort update process and quit?");

    LauncherWindow big({96, L"-force:big"});
    std::wstring text = L"Big text";
    SendMessageW(big.get(), WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    format.cbSize = sizeof(format);
    SendMessageW(big.Pane(), EM_SETSEL, 0, -1);
    SendMessageW(big.Pane(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.yHeight, 17 * 20);
}

TEST_F(TextPaneTest, LongTextShowsTheBarAndTheWheelScrollsByTen)
{
    Show(Lines(120));
    ASSERT_TRUE(BarShown());
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
    EXPECT_GE(Bar().nPos, info.nMax - static_cast<int>(info.nPage)); // clamped by the bar
    EXPECT_GT(SendMessageW(w_.Pane(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    // Another long text brings its own range; a short one hides the bar.
    Show(Lines(60));
    ASSERT_TRUE(BarShown());
    EXPECT_LT(Bar().nMax, info.nMax);
    EXPECT_EQ(Bar().nPos, 0);
    Show(L"Short again");
    EXPECT_FALSE(BarShown());
}

TEST_F(TextPaneTest, MessageOfTheDayShowsOnceAndIsReadOnlyToItsSize)
{
    // The buffer carries no terminating zero; the bytes after it are not read.
    const std::string rtf = "{\\rtf1\\ansi Build notes";
    MotdBuffer.assign(64, 'X');
    MotdBuffer.assign(rtf.begin(), rtf.end());
    SendMessageW(w_.get(), WM_STEP_SHOW_MOTD, 0, 0);
    EXPECT_EQ(PaneText(), L"Build notes");
    EXPECT_TRUE(MotdShown);
    // Shown once: a new message waits until another text replaced it.
    const std::string newer = "{\\rtf1\\ansi Newer notes}";
    MotdBuffer.assign(newer.begin(), newer.end());
    SendMessageW(w_.get(), WM_STEP_SHOW_MOTD, 0, 0);
    EXPECT_EQ(PaneText(), L"Build notes");
    Show(L"Other text");
    SendMessageW(w_.get(), WM_STEP_SHOW_MOTD, 0, 0);
    EXPECT_EQ(PaneText(), L"Newer notes");

    MotdBuffer.clear();
    Show(L"Shown");
    SendMessageW(w_.get(), WM_STEP_SHOW_MOTD, 0, 0);
    EXPECT_FALSE(PaneShown());
    EXPECT_FALSE(MotdShown);
}

// A notification as the pane sends it for a click on a link.
LRESULT ClickLink(HWND frame, HWND pane, LONG first, LONG last, UINT mouseMessage = WM_LBUTTONDOWN)
{
    ENLINK link = {};
    link.nmhdr = {pane, static_cast<UINT_PTR>(GetDlgCtrlID(pane)), EN_LINK};
    link.msg = mouseMessage;
    link.chrg = {first, last};
    return SendMessageW(frame, WM_NOTIFY, link.nmhdr.idFrom, reinterpret_cast<LPARAM>(&link));
}

TEST_F(TextPaneTest, LinkClicksOpenTheUrlThroughTheShell)
{
    const std::wstring url = L"https://www.example.com/notes";
    Show(L"Notes: " + url);
    HWND frame = w_.Item(IDC_TEXT_FRAME);
    const LONG end = 7 + static_cast<LONG>(url.size());
    {
        // A real click on the bare URL, which the pane detects.
        ShellRecorder shell;
        LRESULT at = SendMessageW(w_.Pane(), EM_POSFROMCHAR, 7 + 10, 0);
        POINT point = {static_cast<short>(LOWORD(at)) + 2, static_cast<short>(HIWORD(at)) + 6};
        ClientToScreen(w_.Pane(), &point);
        SetForegroundWindow(w_.get());
        window_test::MovePointer(point);
        PumpFor(100);
        window_test::PressLeft();
        window_test::ReleaseLeft();
        EXPECT_TRUE(window_test::PumpUntil([&] { return !shell.opened.empty(); }, 3000));
        EXPECT_EQ(shell.opened, std::vector<std::wstring>{url});

        EXPECT_EQ(ClickLink(frame, w_.Pane(), 7, end, WM_MOUSEMOVE), 0);
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 7, 7), 0);
        EXPECT_EQ(shell.opened.size(), 1u);
    }
    {
        window_test::LogCapture log;
        ShellRecorder failing(2);
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 7, end), 1);
        EXPECT_NE(log.Text().find("Could not open https://www.example.com/notes\r\n"), std::string::npos);
    }
    {
        // The pane detects "file:" links too; such a link runs nothing.
        const std::wstring share = L"file://host/share/x.exe";
        Show(L"Notes: " + share);
        window_test::LogCapture log;
        ShellRecorder shell;
        EXPECT_EQ(ClickLink(frame, w_.Pane(), 7, 7 + static_cast<LONG>(share.size())), 1);
        EXPECT_TRUE(shell.opened.empty());
        EXPECT_NE(log.Text().find("Link not opened (only http, https and mailto are): file://host/share/x.exe"),
                  std::string::npos);
    }
    // A link longer than the buffer is cut, not overrun.
    std::wstring longUrl = L"https://example.com/" + std::wstring(400, L'a');
    Show(longUrl);
    ShellRecorder shell;
    EXPECT_EQ(ClickLink(frame, w_.Pane(), 0, static_cast<LONG>(longUrl.size())), 1);
    EXPECT_EQ(shell.opened, std::vector<std::wstring>{longUrl.substr(0, 255)});
}

} // namespace
