#include "main_window_layout.h"

#include "button_subclass.h"
#include "drawing_resources.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "motd_frame.h"
#include "step_messages.h"
#include "text_pane.h"
#include "ui_scale.h"

#include <commctrl.h>
#include <uxtheme.h>

namespace {

constexpr COLORREF PROGRESS_BAR_COLOUR = 0xCF8B24;
constexpr int PROGRESS_MAXIMUM = 0x10000;

HWND CreateChild(HWND parent, const wchar_t* windowClass, const wchar_t* text, DWORD style, DWORD exStyle,
                 const ItemPlace& place, int id)
{
    return CreateWindowExW(exStyle, windowClass, text, WS_CHILD | style, place.x, place.y, place.width,
                           place.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

// An owner-drawn launcher button: hover flag 0, LauncherButtonProc.
HWND CreateLauncherButton(HWND parent, const wchar_t* caption, DWORD style, const ItemPlace& place, int id)
{
    HWND button = CreateChild(parent, L"Button", caption, BS_OWNERDRAW | style, 0, place, id);
    if (button) {
        SetWindowLongPtrW(button, GWLP_USERDATA, 0);
        SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LauncherButtonProc));
    }
    return button;
}

MainWindowLayout LayoutOf(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    return ComputeMainWindowLayout(client.right, client.bottom, MainButtonSize,
                                   GetSystemMetrics(SM_CXVSCROLL));
}

DWORD VisibleWithoutBrowser()
{
    return CefEnabled ? 0 : WS_VISIBLE;
}

} // namespace

MainWindowLayout ComputeMainWindowLayout(int width, int height, SIZE mainButtonBitmap, int scrollBarWidth)
{
    MainWindowLayout layout;
    const int top = S(4);
    layout.close = {width - S(24), top, S(20), S(20)};
    layout.minimize = {layout.close.x - S(24), top, S(20), S(20)};
    layout.settings = {layout.minimize.x - S(24), top, S(20), S(20)};
    layout.language = {layout.settings.x - S(104), top, S(100), S(20)};
    layout.cluster = {layout.language.x - S(104), top, S(100), S(20)};

    const int footer = height - S(64);
    const int bw = S(mainButtonBitmap.cx);
    const int bh = S(mainButtonBitmap.cy);
    layout.mainButton = {width - S(24) - bw, footer + (S(64) - bh) / 2, bw, bh};

    const int m = (S(64) - S(19) - S(13)) / 2;
    const int pw = layout.mainButton.x - S(24) - S(32);
    layout.progress = {S(32), height - S(13) - m, pw, S(13)};
    layout.statusText = {S(32), footer + m, pw / 2, S(19)};
    layout.statusDetail = {S(32) + pw / 2, footer + m, pw / 2, S(19)};

    const int fw = width - S(4) - S(32) - scrollBarWidth;
    const int fh = height - S(120) - S(64);
    layout.textFrame = {S(32), S(120), fw - 1, fh};
    layout.textPane = {0, 0, fw - 1, fh};
    layout.textScrollBar = {S(32) + fw, S(120), scrollBarWidth, fh};
    return layout;
}

void CreateTitleButtons(HWND window)
{
    MainWindowLayout layout = LayoutOf(window);
    StoreSystemButtonProc();
    CreateLauncherButton(window, L"", WS_VISIBLE, layout.close, IDC_CLOSE);
    CreateLauncherButton(window, L"", WS_VISIBLE, layout.minimize, IDC_MINIMIZE);
    CreateLauncherButton(window, L"", WS_VISIBLE, layout.settings, IDC_SETTINGS);
    CreateLauncherButton(window, LanguageName(LanguageIndex), WS_VISIBLE, layout.language, IDC_LANGUAGE);
    CreateLauncherButton(window, ClusterDisplayName(ServerCluster), ClusterAccessLevel > 0 ? WS_VISIBLE : 0,
                         layout.cluster, IDC_CLUSTER);
    SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
}

void CreateFooterControls(HWND window)
{
    MainWindowLayout layout = LayoutOf(window);
    HWND mainButton = CreateLauncherButton(window, L"", VisibleWithoutBrowser() | WS_DISABLED,
                                           layout.mainButton, IDC_MAIN_BUTTON);
    SetWindowTextByKey(mainButton, "QUIT", false);
    CreateLauncherButton(window, L"", WS_DISABLED, layout.mainButton, IDC_ALT_BUTTON);

    HWND bar = CreateChild(window, PROGRESS_CLASSW, L"", PBS_SMOOTH | VisibleWithoutBrowser(), 0,
                           layout.progress, IDC_PROGRESS);
    SendMessageW(bar, PBM_SETRANGE32, 0, PROGRESS_MAXIMUM);
    if (FAILED(SetWindowTheme(bar, L" ", L" ")))
        LogWrite(L"Failed to disable theme on progress-bar\n");
    SendMessageW(bar, PBM_SETBARCOLOR, 0, PROGRESS_BAR_COLOUR);
    SendMessageW(bar, PBM_SETBKCOLOR, 0, 0);

    HWND status = CreateChild(window, L"Static", L"", SS_LEFT | VisibleWithoutBrowser(), 0, layout.statusText,
                              IDC_STATUS_TEXT);
    HWND detail = CreateChild(window, L"Static", L"", SS_RIGHT | VisibleWithoutBrowser(), 0,
                              layout.statusDetail, IDC_STATUS_DETAIL);
    SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(StatusFont), FALSE);
    SendMessageW(detail, WM_SETFONT, reinterpret_cast<WPARAM>(StatusFont), FALSE);
}

void CreateTextPane(HWND window)
{
    MainWindowLayout layout = LayoutOf(window);
    HWND frame = CreateChild(window, MOTD_FRAME_CLASS, L"", VisibleWithoutBrowser(), WS_EX_COMPOSITED,
                             layout.textFrame, IDC_TEXT_FRAME);
    HWND pane = CreateChild(frame, L"RichEdit20W", L"", TEXT_PANE_STYLE, WS_EX_TRANSPARENT, layout.textPane,
                            IDC_TEXT_PANE);
    ReplaceWithRichEdit(pane, frame);
    CreateChild(window, L"ScrollBar", L"", SBS_VERT, 0, layout.textScrollBar, IDC_TEXT_SCROLLBAR);
}
