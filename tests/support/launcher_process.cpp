#include "launcher_process.h"

#include "app_folders.h"
#include "localization.h"
#include "settings_store.h"
#include "step_messages.h"
#include "test_support.h"

LauncherProcess::LauncherProcess(const std::wstring& arguments)
    : LauncherProcess(testing_support::BuildFolder() + L"\\Launcher.exe", arguments)
{
}

LauncherProcess::LauncherProcess(const std::wstring& program, const std::wstring& arguments)
{
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        process_ = info.hProcess;
    }
}

LauncherProcess::~LauncherProcess()
{
    Kill();
}

bool LauncherProcess::Running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool LauncherProcess::WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (done())
            return true;
        if (!Running())
            return false;
        Sleep(10);
    }
    return false;
}

std::optional<int> LauncherProcess::WaitForItsEnd(DWORD timeoutMs)
{
    if (!process_)
        return std::nullopt;
    DWORD code = 0;
    if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code))
        return std::nullopt;
    return static_cast<int>(code);
}

void LauncherProcess::Kill()
{
    if (!process_)
        return;
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 15000);
    CloseHandle(process_);
    process_ = nullptr;
}

namespace {

struct WindowSearch {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindLauncherWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (owner != search->processId || wcscmp(name, L"Launcher") != 0)
        return TRUE;
    search->window = window;
    return FALSE;
}

void PumpThreadMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

} // namespace

HWND LauncherProcess::MainWindow() const
{
    WindowSearch search = {GetProcessId(process_), nullptr};
    EnumWindows(FindLauncherWindow, reinterpret_cast<LPARAM>(&search));
    return search.window;
}

LauncherPage LauncherProcess::CurrentPage(HWND window) const
{
    HWND button = window ? GetDlgItem(window, IDC_MAIN_BUTTON) : nullptr;
    if (!button || !IsWindowEnabled(button))
        return LauncherPage::None;
    wchar_t caption[64] = {};
    GetWindowTextW(button, caption, 64);
    if (GetLocalizationTable().empty())
        LoadLocalizationTable(); // this program carries the launcher's texts too
    std::wstring play, retry;
    GetLocalizedText("PLAY", play);
    GetLocalizedText("RETRY", retry);
    if (play == caption)
        return LauncherPage::Ready;
    if (retry == caption)
        return LauncherPage::Retry;
    return LauncherPage::None;
}

void LauncherProcess::HandlePage(bool pressPlay)
{
    HWND window = MainWindow();
    LauncherPage page = CurrentPage(window);
    if (page == LauncherPage::None || (window == handledWindow_ && page == lastPage_))
        return;
    lastPage_ = page;
    handledWindow_ = window;
    if (page == LauncherPage::Ready && pressPlay) {
        HWND play = GetDlgItem(window, IDC_MAIN_BUTTON);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, BN_CLICKED),
                     reinterpret_cast<LPARAM>(play));
    } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

std::optional<int> LauncherProcess::RunToItsEnd(bool pressPlay, DWORD timeoutMs)
{
    if (!process_)
        return std::nullopt;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        DWORD result = MsgWaitForMultipleObjects(1, &process_, FALSE, 50, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process_, &code);
            return static_cast<int>(code);
        }
        PumpThreadMessages();
        HandlePage(pressPlay);
    }
    Kill();
    return std::nullopt;
}

std::wstring LauncherProcess::EnabledMainButton() const
{
    HWND button = GetDlgItem(MainWindow(), IDC_MAIN_BUTTON);
    wchar_t caption[64] = {};
    if (button && IsWindowEnabled(button))
        GetWindowTextW(button, caption, 64);
    return caption;
}

std::wstring LauncherProcess::PaneText() const
{
    HWND pane = GetDlgItem(GetDlgItem(MainWindow(), IDC_TEXT_FRAME), IDC_TEXT_PANE);
    std::wstring text(8192, L'\0');
    DWORD_PTR length = 0;
    if (!pane || !SendMessageTimeoutW(pane, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                                      SMTO_ABORTIFHUNG, 5000, &length))
        return L"";
    text.resize(wcslen(text.c_str()));
    return text;
}

POINT LauncherProcess::MainButtonOnScreen() const
{
    HWND window = MainWindow();
    HWND button = GetDlgItem(window, IDC_MAIN_BUTTON);
    RECT place = {};
    if (button && IsWindowVisible(button)) {
        GetWindowRect(button, &place);
        return {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
    }
    // The interface's main button, bottom right of the 1024 x 640 page.
    GetClientRect(window, &place);
    POINT point = {MulDiv(917, place.right, 1024), MulDiv(594, place.bottom, 640)};
    ClientToScreen(window, &point);
    return point;
}

std::optional<int> RunHeadless(const std::wstring& arguments, std::string* output, DWORD timeoutMs,
                               const std::function<void(DWORD processId)>& onStart)
{
    std::string ignored;
    return testing_support::RunProcess(
        L"\"" + testing_support::BuildFolder() + L"\\Launcher.exe\" -headless " + arguments,
        output ? output : &ignored, timeoutMs, L"", onStart, testing_support::AtDeadline::EndProgram);
}

bool LauncherInstanceRunning()
{
    std::wstring name = GetLocalDataFolder();
    for (wchar_t& c : name)
        c = c == L'\\' ? L'_' : c;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    bool running = mutex && GetLastError() == ERROR_ALREADY_EXISTS;
    if (mutex)
        CloseHandle(mutex);
    return running;
}

std::wstring ClientTypeSetting(const wchar_t* name)
{
    wchar_t value[128] = {};
    ReadSettingString(SCOPE_CLIENT_TYPE, value, 128, name);
    return value;
}

void ClickScreenAt(POINT point, int clicks)
{
    auto send = [&](DWORD flags) {
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(point.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(point.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof(input));
    };
    send(0);
    Sleep(100);
    for (int click = 0; click < clicks; ++click) {
        send(MOUSEEVENTF_LEFTDOWN);
        Sleep(40);
        send(MOUSEEVENTF_LEFTUP);
        Sleep(80);
    }
}

int64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
