#include "dialog_driver.h"

#include "window_test_support.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace window_test {

namespace {

std::deque<DialogDriver::Step> Steps;
bool EndedByDriver = false;
DWORD Deadline = 0;

BOOL CALLBACK FindDialog(HWND window, LPARAM found)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(window) && IsWindowEnabled(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// True when the picture (of the dialog's whole window) shows the dialog
// painted: its background is there, and so is every visible control with
// something to draw (a pixel of another colour in its rectangle).
bool LooksPainted(HWND dialog, const Picture& picture)
{
    RECT frame = {};
    GetWindowRect(dialog, &frame);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    uint32_t background = GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
    // Whether some pixel of the screen rectangle is (or is not) the
    // background.
    auto any = [&](RECT area, bool isBackground) {
        IntersectRect(&area, &area, &frame);
        for (LONG y = area.top; y < area.bottom; ++y)
            for (LONG x = area.left; x < area.right; ++x)
                if ((picture.At(x - frame.left, y - frame.top) == background) == isBackground)
                    return true;
        return false;
    };
    RECT client = {};
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    if (picture.width != frame.right - frame.left || picture.height != frame.bottom - frame.top ||
        !any(client, true))
        return false;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (!IsWindowVisible(child) ||
            (_wcsicmp(className, L"Static") == 0 && GetWindowTextLengthW(child) == 0))
            continue;
        RECT area = {};
        GetWindowRect(child, &area);
        if (!any(area, false))
            return false;
    }
    return true;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = CurrentDialog();
    if (!dialog)
        return;
    if (Steps.empty() || static_cast<LONG>(GetTickCount() - Deadline) >= 0) {
        EndedByDriver = true;
        EndDialog(dialog, IDABORT);
        return;
    }
    DialogDriver::Step step = std::move(Steps.front());
    Steps.pop_front();
    step(dialog);
}

} // namespace

DialogDriver& DialogDriver::Then(Step step)
{
    Steps.push_back(std::move(step));
    return *this;
}

bool DialogDriver::Run(const std::function<void()>& open, unsigned timeoutMs)
{
    EndedByDriver = false;
    Deadline = GetTickCount() + timeoutMs;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
    open();
    KillTimer(nullptr, timer);
    bool complete = Steps.empty() && !EndedByDriver;
    Steps.clear();
    return complete;
}

HWND CurrentDialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void Click(HWND dialog, int id)
{
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Choose(HWND dialog, int id, int position)
{
    HWND list = GetDlgItem(dialog, id);
    SendMessageW(list, CB_SETCURSEL, position, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

bool Ticked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

std::wstring ItemText(HWND dialog, int id)
{
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

void KeepPicture(HWND dialog, const std::wstring& name)
{
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // What the dialog paints reaches the screen some time later (Wine hands
    // a window's drawing to the display when its thread looks for
    // messages); under load a capture taken at once shows the frame alone.
    // Only paint messages are served here: a timer tick would run the
    // driver's next step inside this one.
    Picture picture = CaptureWindow(dialog);
    for (DWORD start = GetTickCount(); !LooksPainted(dialog, picture) && GetTickCount() - start < 5000;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
        picture = CaptureWindow(dialog);
    }
    EXPECT_TRUE(LooksPainted(dialog, picture))
        << "the dialog was not painted: " << std::string(name.begin(), name.end());
    CaptureWindow(dialog, ArtifactFolder() + L"\\" + name + L".bmp");
}

} // namespace window_test
