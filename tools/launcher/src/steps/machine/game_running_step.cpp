#include "game_running_step.h"

#include "clusters.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "scoped_handles.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

#include <algorithm>

namespace {

constexpr UINT_PTR POLL_TIMER = 1;
constexpr UINT POLL_INTERVAL_MS = 33;

} // namespace

std::wstring GameMutexName(const std::wstring& installFolder)
{
    std::wstring name = installFolder + L"\\";
    std::replace(name.begin(), name.end(), L'\\', L'_');
    return name;
}

bool ReqGameRunning::IsGameRunning()
{
    if (HasOption(L"-force:running"))
        return true;
    if (mutexName_.empty())
        mutexName_ = GameMutexName(GetClusterInstallDir(ServerCluster));
    // The launcher's own handle, when it makes the mutex, lives only here.
    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, mutexName_.c_str()));
    return GetLastError() == ERROR_ALREADY_EXISTS;
}

HWND ReqGameRunning::Run(HWND parent)
{
    if (!IsGameRunning())
        return nullptr;
    return ShowStepPage(parent, DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ReqGameRunning::DialogProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    auto* step = reinterpret_cast<ReqGameRunning*>(GetWindowLongPtrW(page, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(page, DWLP_USER, lParam);
        step = reinterpret_cast<ReqGameRunning*>(lParam);
        HWND parent = GetParent(page);
        PostMessageW(parent, WM_STEP_PAGE_SHOWN, 0, reinterpret_cast<LPARAM>("GAME_RUNNING"));
        SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, 0);
        step->page_ = page;
        SetTimer(page, POLL_TIMER, POLL_INTERVAL_MS, nullptr);
        return 0;
    }
    case WM_TIMER:
        if (step && !step->IsGameRunning())
            PostStepSucceeded(page);
        return 0;
    case WM_DESTROY:
        KillTimer(page, POLL_TIMER);
        if (step)
            step->page_ = nullptr;
        SetWindowLongPtrW(page, DWLP_USER, 0);
        return 1;
    default:
        return 0;
    }
}
