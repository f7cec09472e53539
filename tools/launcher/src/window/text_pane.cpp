#include "text_pane.h"

#include "command_line.h"
#include "drawing_resources.h"
#include "launcher.h"
#include "log.h"
#include "motd_buffer.h"
#include "painters.h"
#include "shell_open.h"
#include "step_messages.h"
#include "strings.h"
#include "ui_scale.h"

#include <richedit.h>

#include <cstring>
#include <cwchar>

bool MotdShown = false;

namespace {

constexpr int LINK_CAPACITY = 256;
constexpr int LINE_STEP = 10;
constexpr int PANE_RIGHT_MARGIN = 160;
constexpr LONG TEXT_HEIGHT_TWIPS = 220;

WNDPROC RichEditProc = nullptr;

struct RtfSource {
    const char* next;
    size_t left;
};

DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG capacity, LONG* read)
{
    auto* source = reinterpret_cast<RtfSource*>(cookie);
    size_t count =
        source->left < static_cast<size_t>(capacity) ? source->left : static_cast<size_t>(capacity);
    memcpy(buffer, source->next, count);
    source->next += count;
    source->left -= count;
    *read = static_cast<LONG>(count);
    return 0;
}

HWND TextPaneOf(HWND window)
{
    return GetDlgItem(GetDlgItem(window, IDC_TEXT_FRAME), IDC_TEXT_PANE);
}

// The format of the text (which = SCF_ALL) or of what a load does not
// format itself (SCF_DEFAULT); with plain, bold, italic, underline and
// strikeout are switched off too.
void SetPaneCharacterFormat(HWND pane, WPARAM which, bool plain)
{
    CHARFORMAT2W format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR | CFM_FACE | CFM_SIZE;
    if (plain)
        format.dwMask |= CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.crTextColor = TextColor;
    format.yHeight = HasOption(L"-force:big") ? S(11) * 20 : TEXT_HEIGHT_TWIPS;
    CopyString(format.szFaceName, LF_FACESIZE, L"Tahoma");
    SendMessageW(pane, EM_SETCHARFORMAT, which, reinterpret_cast<LPARAM>(&format));
}

// Whether the pane's own vertical bar is on screen.
bool PaneBarShown(HWND pane)
{
    SCROLLBARINFO info = {sizeof(info)};
    return GetScrollBarInfo(pane, OBJID_VSCROLL, &info) && !(info.rgstate[0] & STATE_SYSTEM_INVISIBLE);
}

// Shows IDC_TEXT_SCROLLBAR with the pane's range when the text is longer
// than the pane. The pane's own bar is shown only while it is read. Wine's
// rich edit leaves a stale range behind when a text fits, but then keeps
// its bar off, so a range counts only while the pane's bar is shown.
void MirrorScrollRange(HWND pane, HWND bar)
{
    SendMessageW(pane, EM_SHOWSCROLLBAR, SB_VERT, TRUE);
    SendMessageW(pane, WM_VSCROLL, SB_TOP, 0);
    SCROLLINFO info = {sizeof(info), SIF_ALL};
    if (GetScrollInfo(pane, SB_VERT, &info) && info.nMax > static_cast<int>(info.nPage) &&
        PaneBarShown(pane)) {
        ShowWindow(bar, SW_SHOW);
        SCROLLINFO mirrored = {sizeof(mirrored), SIF_RANGE | SIF_PAGE | SIF_POS};
        mirrored.nMin = info.nMin;
        mirrored.nMax = info.nMax;
        mirrored.nPage = info.nPage;
        mirrored.nPos = info.nPos;
        SetScrollInfo(bar, SB_CTL, &mirrored, FALSE);
    }
    SendMessageW(pane, EM_SHOWSCROLLBAR, SB_VERT, FALSE);
}

} // namespace

HWND ReplaceWithRichEdit(HWND control, HWND parent)
{
    if (GetModuleHandleW(L"Msftedit.dll")) {
        RECT place = {};
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
        LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
        LONG_PTR exStyle = GetWindowLongPtrW(control, GWL_EXSTYLE);
        int id = GetDlgCtrlID(control);
        auto font = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0));
        // The old control goes only once its replacement exists.
        HWND upgraded = CreateWindowExW(
            static_cast<DWORD>(exStyle), MSFTEDIT_CLASS, L"", static_cast<DWORD>(style), place.left,
            place.top, place.right - place.left, place.bottom - place.top, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
        if (upgraded) {
            DestroyWindow(control);
            control = upgraded;
            if (font)
                SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
    SendMessageW(control, EM_SETEVENTMASK, 0, ENM_LINK);
    SendMessageW(control, EM_AUTOURLDETECT, 1, 0);
    SendMessageW(control, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(4, 4));
    RichEditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextPaneSubclassProc)));
    return control;
}

LRESULT CALLBACK TextPaneSubclassProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        PaintScaledBackground(pane, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_KEYDOWN:
        return 0;
    case WM_MOUSEWHEEL:
        SendMessageW(GetDlgItem(SharedMainWindow, IDC_TEXT_SCROLLBAR), WM_MOUSEWHEEL, wParam, lParam);
        return 0;
    default:
        return CallWindowProcW(RichEditProc, pane, message, wParam, lParam);
    }
}

size_t ShownRtfLength(const char* rtf)
{
    if (!MotdBuffer.empty() && rtf == MotdBuffer.data())
        return strnlen(rtf, MotdBuffer.size());
    return strlen(rtf);
}

void LoadPaneText(HWND pane, WPARAM wParam, LPARAM lParam)
{
    if (wParam == 1) {
        RtfSource source = {reinterpret_cast<const char*>(lParam),
                            ShownRtfLength(reinterpret_cast<const char*>(lParam))};
        SendMessageW(pane, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(source.left + 1));
        EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, ReadRtf};
        SendMessageW(pane, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    } else {
        // A wide text raises the limit too: an earlier short RTF must not
        // cut a longer text.
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        SendMessageW(pane, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(wcslen(text) + 1));
        SetWindowTextW(pane, text);
    }
    SendMessageW(pane, EM_SETSEL, 0, 0);
}

LRESULT ShowTextInPane(HWND window, WPARAM wParam, LPARAM lParam)
{
    MotdShown = false;
    HWND pane = TextPaneOf(window);
    HWND bar = GetDlgItem(window, IDC_TEXT_SCROLLBAR);
    bool wasVisible = ShowWindow(pane, SW_HIDE) != FALSE;
    ShowWindow(bar, SW_HIDE);
    if (!lParam) {
        if (wasVisible)
            InvalidateRect(window, nullptr, TRUE);
        return 0;
    }

    SendMessageW(window, WM_SETREDRAW, FALSE, 0);
    SetFocus(nullptr);
    SendMessageW(pane, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, PANE_RIGHT_MARGIN));
    // Wine's rich edit keeps its scroll range current only while its own bar
    // is on, so the bar is on while the text is loaded and formatted.
    SendMessageW(pane, EM_SHOWSCROLLBAR, SB_VERT, TRUE);
    // What an RTF leaves unformatted is plain text, not the control's
    // default font (a bold one under Wine).
    SetPaneCharacterFormat(pane, SCF_DEFAULT, true);
    LoadPaneText(pane, wParam, lParam);
    SetPaneCharacterFormat(pane, SCF_ALL, wParam != 1);
    // Where the control cannot draw transparently (Wine) it fills with the
    // background's own colour.
    SendMessageW(pane, EM_SETBKGNDCOLOR, 0, BackgroundColor);
    ShowWindow(pane, SW_SHOW);
    MirrorScrollRange(pane, bar);
    SendMessageW(window, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(window, nullptr, TRUE);
    return 0;
}

LRESULT ScrollTextPane(HWND window, WPARAM wParam)
{
    HWND frame = GetDlgItem(window, IDC_TEXT_FRAME);
    if (!frame)
        return 0;
    HWND pane = GetDlgItem(frame, IDC_TEXT_PANE);
    HWND bar = GetDlgItem(window, IDC_TEXT_SCROLLBAR);

    SCROLLINFO info = {sizeof(info), SIF_ALL};
    GetScrollInfo(bar, SB_CTL, &info);
    switch (LOWORD(wParam)) {
    case SB_LINEUP:
        info.nPos -= LINE_STEP;
        break;
    case SB_LINEDOWN:
        info.nPos += LINE_STEP;
        break;
    case SB_PAGEUP:
        info.nPos -= static_cast<int>(info.nPage);
        break;
    case SB_PAGEDOWN:
        info.nPos += static_cast<int>(info.nPage);
        break;
    case SB_THUMBTRACK:
        info.nPos = info.nTrackPos;
        break;
    case SB_TOP:
        info.nPos = info.nMin;
        break;
    case SB_BOTTOM:
        info.nPos = info.nMax;
        break;
    default:
        break;
    }
    info.fMask = SIF_ALL;
    SetScrollInfo(bar, SB_CTL, &info, FALSE);
    info.fMask = SIF_POS;
    GetScrollInfo(bar, SB_CTL, &info);
    SendMessageW(pane, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, info.nPos & 0xFFFF), 0);
    return 0;
}

LRESULT OpenClickedLink(LPARAM lParam)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code != EN_LINK)
        return 0;
    const auto* link = reinterpret_cast<const ENLINK*>(lParam);
    if (link->msg != WM_LBUTTONDOWN)
        return 0;

    wchar_t text[LINK_CAPACITY] = {};
    TEXTRANGEW range = {link->chrg, text};
    // A longer link is cut to what the buffer holds.
    if (range.chrg.cpMin < 0 || range.chrg.cpMax <= range.chrg.cpMin)
        return 0;
    if (range.chrg.cpMax - range.chrg.cpMin > LINK_CAPACITY - 1)
        range.chrg.cpMax = range.chrg.cpMin + LINK_CAPACITY - 1;
    SendMessageW(header->hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    if (!text[0])
        return 0;
    // The pane detects "file:" links too, which would run what they name.
    if (!IsUrlForTheShell(text)) {
        LogPrintf(L"Link not opened (only http, https and mailto are): %s\n", text);
        return 1;
    }
    HINSTANCE result = ShellExecuteFunction(nullptr, L"open", text, L"", L"", SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        LogPrintf(L"Could not open %s\n", text);
    return 1;
}
