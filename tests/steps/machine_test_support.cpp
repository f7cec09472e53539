#include "machine_test_support.h"

#include "settings_store.h"
#include "step_messages.h"

#include <commctrl.h>

namespace machine_test {

namespace {

LRESULT CALLBACK RecordShownText(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data)
{
    if (message == WM_STEP_SHOW_TEXT) {
        auto* texts = reinterpret_cast<std::vector<std::wstring>*>(data);
        texts->push_back(!lParam       ? L"<none>"
                         : wParam == 0 ? reinterpret_cast<const wchar_t*>(lParam)
                                       : L"<rtf>");
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

} // namespace

PageParent::PageParent()
{
    SetWindowSubclass(window_.get(), RecordShownText, 1, reinterpret_cast<DWORD_PTR>(&shownTexts));
    for (int id : {IDC_MAIN_BUTTON, IDC_ALT_BUTTON, IDC_STATUS_TEXT}) {
        CreateWindowExW(0, id == IDC_STATUS_TEXT ? L"Static" : L"Button", L"", WS_CHILD | WS_DISABLED, 0, 0,
                        10, 10, window_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                        nullptr);
    }
}

std::wstring PageParent::ItemText(int id) const
{
    wchar_t text[1024] = {};
    GetWindowTextW(Item(id), text, 1024);
    return text;
}

bool WaitForPosted(HWND window, UINT message, MSG* taken, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    bool quit = false;
    int quitCode = 0;
    bool found = false;
    for (;;) {
        MSG next;
        if (PeekMessageW(&next, window, message, message, PM_REMOVE)) {
            if (taken)
                *taken = next;
            found = true;
            break;
        }
        // Everything else is dispatched as the message loop would.
        while (PeekMessageW(&next, nullptr, 0, message - 1, PM_REMOVE) ||
               PeekMessageW(&next, nullptr, message + 1, 0xFFFFFFFF, PM_REMOVE)) {
            if (next.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(next.wParam);
                continue;
            }
            TranslateMessage(&next);
            DispatchMessageW(&next);
        }
        if (GetTickCount() - start > timeoutMs)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    if (quit)
        PostQuitMessage(quitCode);
    return found;
}

DownloadDirGuard::DownloadDirGuard()
{
    wchar_t value[MAX_PATH] = {};
    ReadSettingString(SCOPE_CLIENT_TYPE, value, MAX_PATH, L"DownloadDir");
    saved_ = value;
}

DownloadDirGuard::~DownloadDirGuard()
{
    if (saved_.empty())
        DeleteSetting(L"DownloadDir");
    else
        WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", saved_.c_str());
}

} // namespace machine_test
