#include "dialog_driver.h"

#include "window_test_support.h"

#include <deque>

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
    CaptureWindow(dialog, ArtifactFolder() + L"\\" + name + L".bmp");
}

} // namespace window_test
