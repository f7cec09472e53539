#include "main_window.h"

#include "browser_runtime.h"
#include "gdi_objects.h"
#include "log.h"
#include "main_window_commands.h"
#include "main_window_layout.h"
#include "launcher.h"
#include "motd_frame.h"
#include "painters.h"
#include "popups.h"
#include "progress.h"
#include "step_message_handlers.h"
#include "step_messages.h"
#include "text_pane.h"
#include "ui_scale.h"
#include "window_drag.h"

namespace {

constexpr int LAUNCHER_ICON = 525;
constexpr DWORD WINDOW_STYLE = WS_POPUP | WS_BORDER;
constexpr DWORD WINDOW_EX_STYLE = WS_EX_CONTROLPARENT;

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, bool arrow)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = arrow ? LoadCursorW(nullptr, IDC_ARROW) : nullptr;
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

SIZE ClientSize()
{
    SIZE design = {DESIGN_WIDTH, DESIGN_HEIGHT};
    if (!CefEnabled && BackgroundSize.cx > 0 && BackgroundSize.cy > 0)
        design = BackgroundSize;
    return {S(design.cx), S(design.cy)};
}

// A relaunched launcher is placed where its predecessor was; otherwise the
// window is centred in the work area.
POINT WindowPosition(SIZE windowSize)
{
    STARTUPINFOW startup = {sizeof(startup)};
    GetStartupInfoW(&startup);
    if (startup.dwFlags & STARTF_USEPOSITION)
        return {static_cast<LONG>(startup.dwX), static_cast<LONG>(startup.dwY)};
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {work.left + (work.right - work.left - windowSize.cx) / 2,
            work.top + (work.bottom - work.top - windowSize.cy) / 2};
}

void SetWindowIcons(HWND window)
{
    HINSTANCE module = GetModuleHandleW(nullptr);
    auto load = [module](int width, int height) {
        return LoadImageW(module, MAKEINTRESOURCEW(LAUNCHER_ICON), IMAGE_ICON, width, height, LR_SHARED);
    };
    HANDLE big = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    HANDLE small = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

// The browser cannot show the interface: the Win32 controls become the
// interface, on a white background (the texts are black for the browser).
void FallBackToWin32(HWND window)
{
    CefEnabled = false;
    ReplaceBackground(SharedMainWindow, RGB(255, 255, 255));
    for (int id : {IDC_TEXT_FRAME, IDC_TEXT_SCROLLBAR, IDC_MAIN_BUTTON, IDC_STATUS_TEXT, IDC_STATUS_DETAIL})
        ShowWindow(GetDlgItem(window, id), SW_SHOW);
}

LRESULT OnCreate(HWND window)
{
    CreateLauncherFonts(window);
    SharedMainWindow = window;
    SetWindowIcons(window);
    CreateTitleButtons(window);
    CreateFooterControls(window);
    CreateTextPane(window);
    SetTimer(window, PROGRESS_TIMER, PROGRESS_TIMER_INTERVAL, nullptr);
    if (CefEnabled) {
        // The browser host shows the window after its first page load.
        if (StartCEF(window)) {
            SetTimer(window, FIRST_PAGE_TIMER, FIRST_PAGE_WAIT_MS, nullptr);
            return 0;
        }
        LogWrite(L"StartCEF failed\n");
        FallBackToWin32(window);
    }
    ShowWindow(window, SW_SHOW);
    PostMessageW(window, WM_STEP_NEXT, 0, 0);
    return 0;
}

// The browser showed no page and will show none: it is given up, and the
// window shows its own controls and runs the queue, as when the runtime
// could not start. Nothing once a page was shown (the window is visible).
void GiveUpBrowser(HWND window)
{
    KillTimer(window, FIRST_PAGE_TIMER);
    if (!CefEnabled || IsWindowVisible(window))
        return;
    LogWrite(L"The browser is given up for the launcher's own window\n");
    AbandonBrowser();
    FallBackToWin32(window);
    ShowWindow(window, SW_SHOW);
    PostMessageW(window, WM_STEP_NEXT, 0, 0);
}

LRESULT OnTimer(HWND window, WPARAM timer)
{
    if (timer != FIRST_PAGE_TIMER) {
        UpdateProgress(window);
        return 0;
    }
    if (CefEnabled && !IsWindowVisible(window))
        LogPrintf(L"The first page did not load in %u seconds\n", FIRST_PAGE_WAIT_MS / 1000);
    GiveUpBrowser(window);
    return 0;
}

LRESULT OnPaint(HWND window)
{
    PaintScope paint(window);
    const RECT& area = paint.area();
    if (!CefEnabled && !IsRectEmpty(&area))
        CopyFromDesign(paint.dc(), BackgroundBitmap, area.left, area.top, area.right - area.left + 1,
                       area.bottom - area.top + 1, area.left, area.top);
    return 0;
}

LRESULT OnDrawItem(LPARAM lParam)
{
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.CtlID >= IDC_CLOSE && item.CtlID <= IDC_CLUSTER) {
        int row = item.CtlID == IDC_CLUSTER ? ROW_SELECTOR : static_cast<int>(item.CtlID - IDC_CLOSE);
        DrawLauncherButton(item, false, ButtonBitmaps[row], ButtonFont, false);
    } else if (item.CtlID == IDC_MAIN_BUTTON || item.CtlID == IDC_ALT_BUTTON) {
        DrawLauncherButton(item, true, MainButtonBitmaps, MainButtonFont, true);
    }
    return 0;
}

LRESULT OnMouseWheel(HWND window, WPARAM wParam, LPARAM lParam)
{
    SendMessageW(window, WM_VSCROLL, GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? SB_LINEDOWN : SB_LINEUP, 0);
    if (HWND bar = GetDlgItem(window, IDC_TEXT_SCROLLBAR)) {
        InvalidateRect(bar, nullptr, FALSE);
        return 0;
    }
    return DefWindowProcW(window, WM_MOUSEWHEEL, wParam, lParam);
}

} // namespace

HWND CreateMainWindow(HINSTANCE instance)
{
    RegisterWindowClass(instance, LAUNCHER_WINDOW_CLASS, LauncherWndProc, true);
    RegisterWindowClass(instance, MOTD_FRAME_CLASS, MOTDFrameProc, false);
    RegisterWindowClass(instance, LANGUAGE_POPUP_CLASS, LanguagePopupProc, true);
    RegisterWindowClass(instance, CLUSTER_POPUP_CLASS, ClusterPopupProc, true);
    SetUiScaleFromScreen();

    SIZE client = ClientSize();
    RECT frame = {0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&frame, WINDOW_STYLE, FALSE, WINDOW_EX_STYLE);
    SIZE size = {frame.right - frame.left, frame.bottom - frame.top};
    POINT position = WindowPosition(size);
    return CreateWindowExW(WINDOW_EX_STYLE, LAUNCHER_WINDOW_CLASS, L"Vantorel", WINDOW_STYLE, position.x,
                           position.y, size.cx, size.cy, nullptr, nullptr, instance, nullptr);
}

LRESULT CALLBACK LauncherWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        if (SharedMainWindow == window)
            SharedMainWindow = nullptr;
        return 0;
    case WM_PAINT:
        return OnPaint(window);
    case WM_CLOSE:
        return HandleMainWindowClose(window);
    case WM_DRAWITEM:
        return OnDrawItem(lParam);
    case WM_NOTIFY:
        return OpenClickedLink(lParam);
    case WM_COMMAND:
        return HandleMainWindowCommand(window, wParam, lParam);
    case WM_TIMER:
        return OnTimer(window, wParam);
    case WM_BROWSER_FAILED:
        GiveUpBrowser(window);
        return 0;
    case WM_VSCROLL:
        return ScrollTextPane(window, wParam);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, TextColor);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    case WM_LBUTTONDOWN:
        if (BeginWindowDrag(window, lParam))
            return 0;
        break;
    case WM_MOUSEMOVE:
        if (ContinueWindowDrag(window, lParam))
            return 0;
        break;
    case WM_LBUTTONUP:
        EndWindowDrag(true);
        break;
    case WM_CAPTURECHANGED:
        EndWindowDrag(false);
        break;
    case WM_MOUSEWHEEL:
        return OnMouseWheel(window, wParam, lParam);
    case WM_STEP_NEXT:
    case WM_STEP_SUCCEEDED:
    case WM_STEP_FAILED:
    case WM_STEP_SHOW_MOTD:
    case WM_STEP_SHOW_TEXT:
    case WM_STEP_PAGE_SHOWN:
        return HandleStepMessage(window, message, wParam, lParam);
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
