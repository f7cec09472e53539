// The browser host on the real runtime, under Wine and the virtual display:
// the launcher with its runtime folder, then the host in this process over a
// window of the launcher's controls, with a step page that takes the page's
// button presses. One run checks the page from "launcher.zip", the mirror of
// a running step's texts and progress, both buttons, the load-error page and
// a clean shutdown; a screenshot of the page is kept in "artifacts".
#include "launcher_process.h"
#include "app_folders.h"
#include "browser_runtime.h"
#include "launcher.h"
#include "launcher_settings.h"
#include "page_bridge.h"
#include "real_runtime_support.h"
#include "requirement_queue.h"
#include "runtime_loader.h"
#include "settings_store.h"
#include "step_messages.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <vector>

namespace {

using testing_support::FileExists;
using testing_support::TestServer;

std::vector<WPARAM> PageCommands;
int LoadEnds = 0;
std::vector<LPARAM> ParentLeftClicks; // where the main window saw WM_LBUTTONDOWN

LRESULT CALLBACK StepPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
        PageCommands.push_back(wParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_STEP_NEXT)
        ++LoadEnds;
    if (message == WM_LBUTTONDOWN)
        ParentLeftClicks.push_back(lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeWindow(const wchar_t* className, WNDPROC procedure, DWORD style, int width, int height)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = className;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterClassW(&windowClass);
    return CreateWindowW(className, L"", style, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
}

// Runs the launcher's main-loop turns until done() holds or the time is up.
template <class Condition> bool RunLoopUntil(Condition done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        MSG message;
        bool taken = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE;
        if (taken) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (!UpdateCEF() && !taken)
            Sleep(16);
    }
    return true;
}

// Runs a script in the page every half second until the step page gets the
// command that the script's press sends (the script presses a button only
// once the page shows what it checks for).
bool PressReaches(const wchar_t* script, WPARAM command)
{
    PageCommands.clear();
    for (int attempt = 0; attempt < 30; ++attempt) {
        ExecuteScript(script);
        if (RunLoopUntil([&] { return !PageCommands.empty(); }, 500))
            return PageCommands.size() == 1 && PageCommands[0] == command;
    }
    return false;
}

// A left click of the real pointer at a point of the window's client area.
void ClickAt(HWND window, POINT point)
{
    ClientToScreen(window, &point);
    for (DWORD flags :
         {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE}) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(point.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(point.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof(input));
        RunLoopUntil([] { return false; }, 100);
    }
}

std::vector<DWORD> ProcessesNamed(const wchar_t* name, DWORD except)
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0 && entry.th32ProcessID != except)
            found.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

bool NoProcessLeft(const wchar_t* name, DWORD except)
{
    for (int turn = 0; turn < 100; ++turn) {
        if (ProcessesNamed(name, except).empty())
            return true;
        Sleep(100);
    }
    return false;
}

TEST(RealRuntimeTest, PageFromTheArchiveMirrorsAStepAndBridgesItsButtons)
{
    std::wstring launcherFolder = RealRuntimeLauncherFolder();
    if (!FileExists(launcherFolder + L"CEF3_1\\V5\\libcef.dll"))
        GTEST_SKIP() << "the browser runtime is not installed (scripts/setup.sh)";
    std::wstring build = testing_support::BuildFolder();
    ASSERT_TRUE(CopyFileW((build + L"\\launcher.zip").c_str(),
                          (launcherFolder + L"CEF3_1\\launcher.zip").c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW((build + L"\\Launcher.exe").c_str(), (launcherFolder + L"Launcher.exe").c_str(), FALSE));

    // The launcher itself, with the local server for every role and a
    // release of one file: the runtime starts, the first page load runs the
    // chain to its end, and no process of the launcher is left.
    ASSERT_TRUE(TestServer::Reset());
    std::string host = "localhost:" + std::to_string(TestServer::HttpsPort());
    std::string content = "127.0.0.1:" + std::to_string(TestServer::HttpPort());
    std::string ini;
    for (const char* section : {"Public", "Test", "Dev"})
        ini += std::string("[") + section + "]\r\nApi=" + host + "\r\nOrigin=" + host +
               "\r\nContent=" + content + "\r\n";
    ASSERT_TRUE(testing_support::WriteFileBytes(launcherFolder + L"Vantorel.ini", ini));
    // A release of one small file and the game's stand-in, which the applet
    // steps run.
    std::string game = testing_support::Base64Encode(
        testing_support::ReadFileBytes(testing_support::BuildFolder() + L"\\Vantorel.x64.exe"));
    std::string manifest;
    for (const std::string& object :
         {std::string(R"({"name": "/Data/ready.txt.{md5}.bulk", "data_b64": "cmVhZHk="})"),
          R"({"name": "/Vantorel.x64.exe.{md5}.bulk", "data_b64": ")" + game + "\"}"}) {
        std::string stored = TestServer::Control("POST", "/__ctl/content/put", object);
        size_t name = stored.find("\"name\": \"");
        size_t size = stored.find("\"size\": ");
        ASSERT_TRUE(name != std::string::npos && size != std::string::npos) << stored;
        name += 9;
        size += 8;
        manifest += stored.substr(name, stored.find('"', name) - name) + "," +
                    stored.substr(size, stored.find_first_of(",}", size) - size) + "\r\n";
    }
    TestServer::Control("POST", "/__ctl/content/manifest", manifest);
    testing_support::TempDir downloads;
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", downloads.path().c_str());
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", 0);
    std::wstring log = std::wstring(GetLocalDataFolder()) + L"\\Launcher.log";
    DeleteFileW(log.c_str());
    {
        // Closed on its ready page.
        LauncherProcess launcher(launcherFolder + L"Launcher.exe", L"");
        EXPECT_EQ(launcher.RunToItsEnd(false, 60000), 0);
        EXPECT_EQ(launcher.LastPage(), LauncherPage::Ready);
    }
    std::string text = testing_support::ReadFileBytes(log);
    EXPECT_NE(text.find("LoadCEFLib\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("LoadCEFLib failed"), std::string::npos) << text;
    EXPECT_EQ(text.find("StartCEF failed"), std::string::npos) << text;
    EXPECT_NE(text.find("Finished Preprocess"), std::string::npos) << text;
    EXPECT_TRUE(NoProcessLeft(L"Launcher.exe", 0));
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", L"");

    // The host in this process, as the launcher runs it.
    CefEnabled = true;
    LauncherGPU = false;
    LoadCEFLibFrom(launcherFolder + L"CEF3_1\\");
    ASSERT_TRUE(CefEnabled);
    ASSERT_LT(ExecuteCEFProcess(GetModuleHandleW(nullptr)), 0);

    HWND window = MakeWindow(L"BrowserTestParent", ParentProc, WS_POPUP, 1024, 640);
    for (int id : {IDC_STATUS_TEXT, IDC_STATUS_DETAIL})
        CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, window, HMENU(INT_PTR(id)), nullptr, nullptr);
    for (int id : {IDC_MAIN_BUTTON, IDC_ALT_BUTTON})
        CreateWindowW(L"BUTTON", L"", WS_CHILD, 0, 0, 10, 10, window, HMENU(INT_PTR(id)), nullptr, nullptr);
    SetDlgItemTextW(window, IDC_STATUS_TEXT, L"Checking files");
    SetDlgItemTextW(window, IDC_STATUS_DETAIL, L"Step one of three");
    SetDlgItemTextW(window, IDC_MAIN_BUTTON, L"Play");
    SetDlgItemTextW(window, IDC_ALT_BUTTON, L"Cancel");
    HWND page = MakeWindow(L"BrowserTestStepPage", StepPageProc, WS_POPUP, 10, 10);
    BrowserCommandTarget = page;

    ASSERT_TRUE(StartCEF(window));
    ASSERT_TRUE(RunLoopUntil([&] { return LoadEnds > 0 && IsWindowVisible(window); }, 30000))
        << "the first page never finished loading";
    SetPageValue(L"progress.value", L"42.00");
    SetPageValue(L"progress.style.visibility", L"visible");

    // The page shows the step's texts and progress (the check presses the
    // second button), and a click of the pointer on the page's main button
    // reaches the step page as the Win32 button's command; the main window
    // sees the click too, in its own client coordinates.
    EXPECT_TRUE(
        PressReaches(L"if (footerdescription.innerHTML == 'Checking files' && description.innerHTML == "
                     L"'Step one of three' && mainbutton.innerHTML == 'Play' && progress.value == 42 && "
                     L"logoText.innerHTML.length > 0) altbutton.click();",
                     IDC_ALT_BUTTON));
    PageCommands.clear();
    ParentLeftClicks.clear();
    const POINT mainButton = {917, 594}; // the interface's main button, bottom right
    ClickAt(window, mainButton);
    EXPECT_TRUE(RunLoopUntil([] { return !PageCommands.empty(); }, 5000));
    EXPECT_EQ(PageCommands, std::vector<WPARAM>{IDC_MAIN_BUTTON});
    EXPECT_EQ(ParentLeftClicks, std::vector<LPARAM>{MAKELPARAM(mainButton.x, mainButton.y)});
    RunLoopUntil([] { return false; }, 1500);
    CaptureScreen(window, build + L"\\artifacts\\browser_page.bmp");

    // A disabled main button reaches the page; the second button works.
    EnableWindow(GetDlgItem(window, IDC_MAIN_BUTTON), FALSE);
    EXPECT_TRUE(PressReaches(L"if (mainbutton.disabled) altbutton.click();", IDC_ALT_BUTTON));

    // A page the archive does not hold: the load-error page, with the page's
    // address, and again a load end.
    int loadEnds = LoadEnds;
    LoadLauncherPage(L"missing.html");
    EXPECT_TRUE(RunLoopUntil([&] { return LoadEnds > loadEnds; }, 15000));
    EXPECT_TRUE(
        PressReaches(L"if (document.body.innerHTML.indexOf('Failed to load URL "
                     L"http://launcher/missing.html?language=') >= 0) cefQuery({request: 'Binding:Cancel'});",
                     IDC_ALT_BUTTON));

    // Shutdown as the launcher does it; no runtime process is left.
    BrowserCommandTarget = nullptr;
    CloseAllBrowsers(true);
    DestroyWindow(window);
    ShutdownCEF();
    DestroyWindow(page);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_TRUE(NoProcessLeft(wcsrchr(self, L'\\') + 1, GetCurrentProcessId()));
}

} // namespace
