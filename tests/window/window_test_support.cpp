#include "window_test_support.h"

#include "command_line.h"
#include "drawing_resources.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "main_window.h"
#include "progress.h"
#include "requirement_queue.h"
#include "shell_open.h"
#include "step_messages.h"
#include "step_statistics.h"
#include "text_pane.h"
#include "ui_scale.h"

#include <map>

namespace window_test {

bool QuitPosted = false;
int FakeStep::deleted = 0;
int FakeStep::runs = 0;
FakeStep* LastFakeStep = nullptr;

namespace {

int FakeDpi = 96;

int FakeDeviceDpi(HDC, int)
{
    return FakeDpi;
}

void ResetQueue()
{
    ClearQueue();
    DoneWeight = 0.0f;
    TotalStepTime = 0;
    CurrentStepPage = nullptr;
    BrowserCommandTarget = nullptr;
    ReadyToPlayReached = false;
    SentPageProgress = 0.0f;
}

std::map<HWND, std::vector<WPARAM>> Commands;

LRESULT CALLBACK TestPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        Commands[page].push_back(wParam);
    if (message == WM_NCDESTROY)
        Commands.erase(page);
    return DefWindowProcW(page, message, wParam, lParam);
}

} // namespace

LauncherWindow::LauncherWindow(const WindowOptions& options)
{
    ResetQueue();
    SetCommandLineForTest((L"Launcher.exe -nocef " + options.extraOptions).c_str());
    CefEnabled = false;
    HeadlessMode = false;
    TextColor = 0xFFFFFF;
    SharedMainWindow = nullptr;
    MotdShown = false;
    FakeDpi = options.dpi;
    DeviceDpiFunction = FakeDeviceDpi;
    ClusterAccessLevel = options.clusterAccessLevel;
    LanguageIndex = options.languageIndex;
    ServerCluster = options.serverCluster;
    for (bool& installed : InstalledLanguages)
        installed = false;
    for (int index : options.installedLanguages)
        InstalledLanguages[index] = true;
    InstalledLanguageCount = static_cast<int>(options.installedLanguages.size());
    QuitPosted = false;

    LoadLauncherImages(GetModuleHandleW(nullptr));
    window_ = CreateMainWindow(GetModuleHandleW(nullptr));
    MSG message;
    if (!options.startQueue)
        PeekMessageW(&message, window_, WM_STEP_NEXT, WM_STEP_NEXT, PM_REMOVE);
}

LauncherWindow::~LauncherWindow()
{
    ResetQueue();
    if (window_)
        DestroyWindow(window_);
    PumpFor(0);
    DeleteLauncherDrawingObjects();
    for (const wchar_t* name : {L"ClusterPopup", L"LanguagePopup", L"MOTDFrame", L"Launcher"})
        UnregisterClassW(name, GetModuleHandleW(nullptr));
    UiScale = {};
    StepFactoryForTest = nullptr;
    SetCommandLineForTest(nullptr);
    QuitPosted = false;
}

HWND LauncherWindow::Pane() const
{
    return GetDlgItem(Item(IDC_TEXT_FRAME), IDC_TEXT_PANE);
}

RECT LauncherWindow::ItemRect(int id) const
{
    RECT r = {};
    HWND item = Item(id);
    GetWindowRect(item, &r);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring LauncherWindow::Text(int id) const
{
    wchar_t text[1024] = {};
    GetWindowTextW(Item(id), text, 1024);
    return text;
}

HWND CreateTestPage(HWND parent)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = TestPageProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"WindowTestPage";
        RegisterClassW(&windowClass);
        registered = true;
    }
    return CreateWindowExW(0, L"WindowTestPage", L"", WS_CHILD, 0, 0, 1, 1, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

std::vector<WPARAM>& PageCommands(HWND page)
{
    return Commands[page];
}

FakeStep::~FakeStep()
{
    ++deleted;
    if (LastFakeStep == this)
        LastFakeStep = nullptr;
}

HWND FakeStep::Run(HWND parent)
{
    ++runs;
    if (duringRun)
        duringRun(*this, parent);
    if (!showPage_)
        return nullptr;
    page = CreateTestPage(parent);
    return page;
}

void UseFakeChainSteps()
{
    StepFactoryForTest = [](StepId id) -> Requirement* {
        auto* step = new FakeStep(GetInitialStepKind(id), true);
        LastFakeStep = step;
        return step;
    };
}

bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                QuitPosted = true;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(unsigned milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}


namespace {

MessageBoxAnswer* CurrentAnswer = nullptr;
int Answer = 0;

int WINAPI AnswerMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type, WORD)
{
    CurrentAnswer->shown.push_back({text ? text : L"", caption ? caption : L"", type});
    return Answer;
}

ShellRecorder* CurrentRecorder = nullptr;
INT_PTR ShellResult = 42;

HINSTANCE WINAPI RecordShellOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    CurrentRecorder->opened.push_back(file ? file : L"");
    return reinterpret_cast<HINSTANCE>(ShellResult);
}

void SetKeys(const std::vector<int>& keys, BYTE value)
{
    BYTE state[256] = {};
    GetKeyboardState(state);
    for (int key : keys)
        state[key] = value;
    SetKeyboardState(state);
}

void SendPointer(DWORD flags, POINT screen)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(input));
}

POINT CursorNow()
{
    POINT point = {};
    GetCursorPos(&point);
    return point;
}

} // namespace

MessageBoxAnswer::MessageBoxAnswer(int answer)
{
    CurrentAnswer = this;
    Answer = answer;
    MessageBoxExFunction = AnswerMessageBox;
}

MessageBoxAnswer::~MessageBoxAnswer()
{
    MessageBoxExFunction = MessageBoxExW;
    CurrentAnswer = nullptr;
}

ShellRecorder::ShellRecorder(INT_PTR result)
{
    CurrentRecorder = this;
    ShellResult = result;
    ShellExecuteFunction = RecordShellOpen;
}

ShellRecorder::~ShellRecorder()
{
    ShellExecuteFunction = ShellExecuteW;
    CurrentRecorder = nullptr;
}

HeldKeys::HeldKeys(std::initializer_list<int> keys) : keys_(keys)
{
    SetKeys(keys_, 0x80);
}

HeldKeys::~HeldKeys()
{
    SetKeys(keys_, 0);
}

void MovePointer(POINT screen)
{
    SendPointer(MOUSEEVENTF_MOVE, screen);
}

void PressLeft()
{
    SendPointer(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE, CursorNow());
}

void ReleaseLeft()
{
    SendPointer(MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE, CursorNow());
}

Picture CaptureWindow(HWND window, const std::wstring& path)
{
    Picture picture;
    RECT place = {};
    GetWindowRect(window, &place);
    picture.width = place.right - place.left;
    picture.height = place.bottom - place.top;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, picture.width, picture.height, screen, place.left, place.top, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    picture.pixels.assign(pixels, pixels + static_cast<size_t>(picture.width) * picture.height);
    for (uint32_t& pixel : picture.pixels)
        pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);

    if (!path.empty()) {
        std::string file;
        DWORD imageSize = static_cast<DWORD>(picture.pixels.size() * 4);
        BITMAPFILEHEADER header = {};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        header.bfSize = header.bfOffBits + imageSize;
        file.append(reinterpret_cast<const char*>(&header), sizeof(header));
        file.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
        file.append(reinterpret_cast<const char*>(picture.pixels.data()), imageSize);
        testing_support::WriteFileBytes(path, file);
    }
    return picture;
}

std::wstring ArtifactFolder()
{
    std::wstring folder = testing_support::BuildFolder() + L"\\artifacts";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

} // namespace window_test
