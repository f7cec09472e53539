// Stand-in for the main window and the headless console window until they
// are part of the launcher: a plain window of the class "Launcher" with the
// footer items the steps use, answering the step messages.
#include "main_window.h"

#include "launcher.h"
#include "localization.h"
#include "log.h"
#include "progress.h"
#include "requirement_queue.h"
#include "step_messages.h"
#include "step_statistics.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kProgressTimer = 2;

void LogShownText(WPARAM wParam, LPARAM lParam)
{
    if (!lParam)
        return;
    if (wParam == 1)
        LogWrite(L"RTF\n");
    else
        LogWrite(reinterpret_cast<const wchar_t*>(lParam));
}

void LogPageText(LPARAM lParam)
{
    wchar_t text[1024] = {};
    GetLocalizedTextBuffer(reinterpret_cast<const char*>(lParam), text, 1024);
    LogWrite(text);
}

void CreateFooter(HWND window)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto child = [&](const wchar_t* cls, DWORD style, int id, int x, int y, int w, int h) {
        return CreateWindowExW(0, cls, L"", WS_CHILD | style, x, y, w, h, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    child(L"Button", WS_VISIBLE | WS_DISABLED, IDC_MAIN_BUTTON, 868, 591, 132, 33);
    child(L"Button", WS_DISABLED, IDC_ALT_BUTTON, 868, 591, 132, 33);
    HWND bar = child(PROGRESS_CLASSW, PBS_SMOOTH, IDC_PROGRESS, 32, 611, 812, 13);
    SendMessageW(bar, PBM_SETRANGE32, 0, PROGRESS_RANGE);
    child(L"Static", WS_VISIBLE, IDC_STATUS_TEXT, 32, 592, 406, 19);
    child(L"Static", WS_VISIBLE | SS_RIGHT, IDC_STATUS_DETAIL, 438, 592, 406, 19);
}

LRESULT CALLBACK StubWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        SharedMainWindow = window;
        CreateFooter(window);
        SetTimer(window, kProgressTimer, 33, nullptr);
        ShowWindow(window, SW_SHOW);
        PostMessageW(window, WM_STEP_NEXT, 0, 0);
        return 0;
    case WM_DESTROY:
        if (SharedMainWindow == window)
            SharedMainWindow = nullptr;
        return 0;
    case WM_CLOSE:
        RecordExitStatistic(L"AltF4");
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        if (CurrentStepPage)
            SendMessageW(CurrentStepPage, WM_COMMAND, wParam, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_TIMER:
        UpdateProgress(window);
        return 0;
    case WM_STEP_NEXT:
        if (!CurrentStepPage)
            RunQueue(window);
        return 0;
    case WM_STEP_SUCCEEDED:
        CompleteFrontStep(window, true);
        return 0;
    case WM_STEP_FAILED:
        ReplaceChain(window, static_cast<int>(lParam));
        return 0;
    case WM_STEP_SHOW_TEXT:
        LogShownText(wParam, lParam);
        return 0;
    case WM_STEP_PAGE_SHOWN:
        LogPageText(lParam);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

HWND CreateMainWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = StubWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"Launcher";
    RegisterClassW(&windowClass);
    return CreateWindowExW(WS_EX_CONTROLPARENT, L"Launcher", L"Vantorel", WS_POPUP | WS_BORDER, 0, 0, 1026,
                           642, nullptr, nullptr, instance, nullptr);
}

INT_PTR CALLBACK HeadlessDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        if (SharedMainWindow == dialog)
            SharedMainWindow = nullptr;
        break;
    case WM_STEP_SUCCEEDED:
        CompleteFrontStep(dialog, false);
        break;
    case WM_STEP_FAILED:
        ReplaceChain(dialog, static_cast<int>(lParam));
        break;
    case WM_STEP_SHOW_TEXT:
        LogShownText(wParam, lParam);
        break;
    case WM_STEP_PAGE_SHOWN:
        LogPageText(lParam);
        break;
    default:
        break;
    }
    return 0;
}
