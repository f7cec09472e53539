// The browser host on the real runtime, under Wine and the virtual display:
// the launcher with its runtime folder, then the host in this process over a
// window of the launcher's controls, with a step page that takes the page's
// button presses. The runtime starts once per process, so the cases share
// the host, which their suite shuts down after its last case (and checks
// that no runtime process is left). One run checks the page from
// "launcher.zip", the mirror of a running step's texts and progress, both
// buttons and the load-error page; others the ready page's chime, the
// agreement page's document and a message of the day that holds markup.
// Screenshots of the pages are kept in "artifacts".
#include "launcher_process.h"
#include "agreements/req_agreement.h"
#include "app_folders.h"
#include "browser_runtime.h"
#include "launcher.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "log_capture.h"
#include "machine/ready_to_play_step.h"
#include "localization.h"
#include "manifest.h"
#include "md5.h"
#include "motd_buffer.h"
#include "page_bridge.h"
#include "page_text.h"
#include "real_runtime_support.h"
#include "requirement_queue.h"
#include "runtime_loader.h"
#include "settings_store.h"
#include "shell_open.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "test_support.h"
#include "text_pane.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <functional>
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
    if (message == WM_STEP_SHOW_TEXT)
        return ShowTextInPage(window, wParam, lParam);
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

// A click of the real pointer (left, or right) at a point of the window's
// client area.
void ClickAt(HWND window, POINT point, bool right = false)
{
    ClientToScreen(window, &point);
    DWORD down = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    DWORD up = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    for (DWORD flags : {DWORD{MOUSEEVENTF_MOVE}, down | MOUSEEVENTF_MOVE, up | MOUSEEVENTF_MOVE}) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(point.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(point.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof(input));
        RunLoopUntil([] { return false; }, 100);
    }
}

// The interface archive in the runtime folder, as the launcher finds it.
bool InstallInterface(const std::wstring& launcherFolder)
{
    return CopyFileW((testing_support::BuildFolder() + L"\\launcher.zip").c_str(),
                     (launcherFolder + L"CEF3_1\\launcher.zip").c_str(), FALSE) != FALSE;
}

// The host shared by the cases: its window with the launcher's shared
// controls and the hidden text pane, and the step page that records the
// page's presses (BrowserCommandTarget).
HWND HostWindow = nullptr;
HWND HostStepPage = nullptr;

// Starts the host once, and waits for its first page; null when it cannot.
HWND StartHost()
{
    if (HostWindow)
        return HostWindow;
    std::wstring launcherFolder = RealRuntimeLauncherFolder();
    if (!InstallInterface(launcherFolder))
        return nullptr;
    CefEnabled = true;
    LauncherGPU = false;
    LoadCEFLibFrom(launcherFolder + L"CEF3_1\\");
    if (!CefEnabled || ExecuteCEFProcess(GetModuleHandleW(nullptr)) >= 0)
        return nullptr;

    HWND window = MakeWindow(L"BrowserTestParent", ParentProc, WS_POPUP, 1024, 640);
    for (int id : {IDC_STATUS_TEXT, IDC_STATUS_DETAIL})
        CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, window, HMENU(INT_PTR(id)), nullptr, nullptr);
    for (int id : {IDC_MAIN_BUTTON, IDC_ALT_BUTTON})
        CreateWindowW(L"BUTTON", L"", WS_CHILD, 0, 0, 10, 10, window, HMENU(INT_PTR(id)), nullptr, nullptr);
    // The hidden rich-edit pane through which texts reach the page.
    LoadLibraryW(L"Riched20.dll");
    LoadLibraryW(L"Msftedit.dll");
    HWND frame = CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 600, 400, window,
                               HMENU(INT_PTR(IDC_TEXT_FRAME)), nullptr, nullptr);
    ReplaceWithRichEdit(CreateWindowW(L"RichEdit20W", L"", WS_CHILD | TEXT_PANE_STYLE, 0, 0, 600, 400, frame,
                                      HMENU(INT_PTR(IDC_TEXT_PANE)), nullptr, nullptr),
                        frame);
    HostStepPage = MakeWindow(L"BrowserTestStepPage", StepPageProc, WS_POPUP, 10, 10);
    BrowserCommandTarget = HostStepPage;
    HostWindow = window;
    if (!StartCEF(window) || !RunLoopUntil([&] { return LoadEnds > 0 && IsWindowVisible(window); }, 30000))
        return nullptr;
    return window;
}

// The content server's object of an agreement document of the release.
std::string AgreementObject(const char* name, const std::string& rtf)
{
    return std::string(R"({"name": "/Agreements/)") + name + R"(.{md5}.bulk", "data_b64": ")" +
           testing_support::Base64Encode(rtf) + "\"}";
}

std::wstring Md5Of(const std::string& bytes)
{
    Md5Context context;
    MD5Init(context);
    MD5Update(context, bytes.data(), bytes.size());
    return MD5FinalText(context);
}

// Presses the main button of the launcher's page with the real pointer,
// clicks times in a row, until done() holds. The page of a step that has
// just begun may still be loading, so it tries a few times, each after
// the page had time to come up.
bool PressPageUntil(LauncherProcess& launcher, int clicks, const std::function<bool()>& done)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        Sleep(2000);
        SetForegroundWindow(launcher.Window());
        ClickScreenAt(launcher.MainButtonOnScreen(), clicks);
        if (launcher.WaitUntil(done, 4000))
            return true;
    }
    return false;
}

// A press of the first joystick's button, as the launcher's message hook
// sees it (no joystick can be had under Wine).
void PressJoystick(HWND window)
{
    PostMessageW(window, MM_JOY1BUTTONDOWN, JOY_BUTTON1, 0);
}

// The dialog (a message box) that a process shows over its window, or null.
HWND OwnedDialog(HWND owner)
{
    struct Search {
        HWND owner;
        HWND found;
    } search = {owner, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (wcscmp(name, L"#32770") != 0 || GetWindow(window, GW_OWNER) != search->owner ||
                !IsWindowVisible(window))
                return TRUE;
            search->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return owner ? search.found : nullptr;
}

// Ends a dialog of the launcher as Cancel does; true once it is gone within
// timeoutMs.
bool CancelDialog(LauncherProcess& launcher, HWND dialog, DWORD timeoutMs)
{
    if (!dialog)
        return false;
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return launcher.WaitUntil([&] { return !IsWindow(dialog); }, timeoutMs);
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Loads a page of the interface and waits for its load end.
bool LoadAndWait(const wchar_t* page)
{
    int loadEnds = LoadEnds;
    LoadLauncherPage(page);
    return RunLoopUntil([&] { return LoadEnds > loadEnds; }, 15000);
}

// The cases on the shared host. After the last of them the host is shut
// down as the launcher does it, before any later test can touch the
// runtime's state; no runtime process is left.
class RealRuntimeHostTest : public testing::Test {
  protected:
    static void TearDownTestSuite()
    {
        if (!HostWindow)
            return;
        BrowserCommandTarget = nullptr;
        CloseAllBrowsers(true);
        DestroyWindow(HostWindow);
        ShutdownCEF();
        DestroyWindow(HostStepPage);
        HostWindow = HostStepPage = nullptr;
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        EXPECT_TRUE(NoProcessLeft(wcsrchr(self, L'\\') + 1, GetCurrentProcessId()));
    }
};

TEST_F(RealRuntimeHostTest, PageFromTheArchiveMirrorsAStepAndBridgesItsButtons)
{
    std::wstring launcherFolder = RealRuntimeLauncherFolder();
    REQUIRE_REAL_RUNTIME();

    // The launcher itself, with the local server for every role and a
    // release of one file and the game's stand-in, which the applet steps
    // run: the runtime starts, the first page load runs the chain to its
    // end, and no process of the launcher is left. The release holds both
    // agreements too, which the player accepts on the interface's pages with
    // the pointer: a double click of I AGREE on the CBA page accepts the CBA
    // alone, as the EULA's page, which the first click brings up, does not
    // take the second; a click of its own accepts it.
    const std::string cba = "{\\rtf1\\ansi Collective bargaining agreement of the test\\par}";
    const std::string eula = "{\\rtf1\\ansi End user licence agreement of the test\\par}";
    testing_support::TempDir downloads;
    ASSERT_TRUE(PrepareLauncherRun(
        downloads.path(), {AgreementObject("cba_en.rtf", cba), AgreementObject("eula_en.rtf", eula)}));
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"");
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", L"");
    std::wstring log = LauncherLogPath();
    if (GetLocalizationTable().empty())
        LoadLocalizationTable();
    std::wstring agree;
    GetLocalizedText("AGREE", agree);
    {
        LauncherProcess launcher(launcherFolder + L"Launcher.exe", L"");
        auto pageShows = [&](const char* words) {
            return launcher.EnabledMainButton() == agree &&
                   launcher.PaneText().find(std::wstring(words, words + strlen(words))) != std::wstring::npos;
        };
        ASSERT_TRUE(launcher.WaitUntil([&] { return pageShows("Collective bargaining"); }, 60000));
        ASSERT_TRUE(PressPageUntil(launcher, 2, [&] { return ClientTypeSetting(L"ReadCba") == Md5Of(cba); }));
        launcher.WaitUntil(
            [&] {
                return !ClientTypeSetting(L"ReadEula").empty() ||
                       testing_support::ReadFileBytes(log).find("Ignored a press") != std::string::npos;
            },
            5000);
        EXPECT_EQ(ClientTypeSetting(L"ReadEula"), L"");
        EXPECT_TRUE(pageShows("End user licence"));
        EXPECT_TRUE(
            PressPageUntil(launcher, 1, [&] { return ClientTypeSetting(L"ReadEula") == Md5Of(eula); }));

        // On the ready page the chain is built again (as a change of language
        // builds it) with both agreements to accept anew, now with the
        // joystick: two quick presses of its button on the CBA page accept
        // the CBA alone, as the EULA's page, which the first brings up, does
        // not take the second; a press of its own, once that page is up,
        // accepts it.
        std::wstring play;
        GetLocalizedText("PLAY", play);
        ASSERT_TRUE(launcher.WaitUntil([&] { return launcher.EnabledMainButton() == play; }, 60000));
        WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"");
        WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", L"");
        PostMessageW(launcher.Window(), WM_STEP_FAILED, 0, CHAIN_MAIN);
        ASSERT_TRUE(launcher.WaitUntil([&] { return pageShows("Collective bargaining"); }, 60000));
        auto pressJoystickUntil = [&](const std::function<bool()>& done) {
            for (int attempt = 0; attempt < 4; ++attempt) {
                Sleep(2000);
                PressJoystick(launcher.Window());
                if (launcher.WaitUntil(done, 4000))
                    return true;
            }
            return false;
        };
        ASSERT_TRUE(pressJoystickUntil([&] { return ClientTypeSetting(L"ReadCba") == Md5Of(cba); }));
        const char refused[] = "Ignored a press of the page's button 1044";
        size_t refusedBefore = Occurrences(testing_support::ReadFileBytes(log), refused);
        Sleep(150);
        PressJoystick(launcher.Window());
        launcher.WaitUntil(
            [&] {
                return !ClientTypeSetting(L"ReadEula").empty() ||
                       Occurrences(testing_support::ReadFileBytes(log), refused) > refusedBefore;
            },
            5000);
        EXPECT_EQ(ClientTypeSetting(L"ReadEula"), L"");
        EXPECT_TRUE(pageShows("End user licence"));

        // The player presses Close: while the quit question is up over the
        // EULA's page, the joystick's button presses nothing behind it. The
        // question is then answered Cancel, and the page stays.
        Sleep(1000);
        PostMessageW(launcher.Window(), WM_CLOSE, 0, 0);
        HWND box = nullptr;
        EXPECT_TRUE(
            launcher.WaitUntil([&] { return (box = OwnedDialog(launcher.Window())) != nullptr; }, 10000))
            << "the quit question did not come";
        PressJoystick(launcher.Window());
        launcher.WaitUntil(
            [&] {
                return !ClientTypeSetting(L"ReadEula").empty() ||
                       testing_support::ReadFileBytes(log).find("Ignored a press of the joystick's button") !=
                           std::string::npos;
            },
            5000);
        EXPECT_EQ(ClientTypeSetting(L"ReadEula"), L"")
            << "a press behind the quit question accepted the EULA";
        EXPECT_TRUE(CancelDialog(launcher, box, 10000)) << "the quit question could not be ended";
        EXPECT_TRUE(pressJoystickUntil([&] { return ClientTypeSetting(L"ReadEula") == Md5Of(eula); }));

        // Closed on its ready page.
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
    HWND window = StartHost();
    ASSERT_TRUE(window) << "the host did not start or its first page never finished loading";
    SetDlgItemTextW(window, IDC_STATUS_TEXT, L"Checking files");
    SetDlgItemTextW(window, IDC_STATUS_DETAIL, L"Step one of three");
    SetDlgItemTextW(window, IDC_MAIN_BUTTON, L"Play");
    SetDlgItemTextW(window, IDC_ALT_BUTTON, L"Cancel");
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
    CaptureScreen(window, testing_support::BuildFolder() + L"\\artifacts\\browser_page.bmp");

    // A disabled main button reaches the page; the second button works.
    EnableWindow(GetDlgItem(window, IDC_MAIN_BUTTON), FALSE);
    EXPECT_TRUE(PressReaches(L"if (mainbutton.disabled) altbutton.click();", IDC_ALT_BUTTON));

    // A page the archive does not hold is answered here, never by the
    // network: status 404 with a page that names it, and again a load end.
    int loadEnds = LoadEnds;
    LoadLauncherPage(L"missing.html");
    EXPECT_TRUE(RunLoopUntil([&] { return LoadEnds > loadEnds; }, 15000));
    EXPECT_TRUE(PressReaches(L"if (document.body.innerHTML.indexOf('Failed to load URL "
                             L"http://launcher/missing.html?language=') >= 0 && "
                             L"document.body.innerHTML.indexOf('with error Not Found (404)') >= 0) "
                             L"cefQuery({request: 'Binding:Cancel'});",
                             IDC_ALT_BUTTON));

    // A page that cannot be loaded at all (one of the unpacked folder of
    // "-nozip" that is not there) shows the load-error page, with the page's
    // address, and the interface can be reached from it again.
    testing_support::LogCapture hostLog;
    SetCommandLineForTest(L"Launcher.exe -nozip");
    loadEnds = LoadEnds;
    LoadLauncherPage(L"missing.html");
    EXPECT_TRUE(RunLoopUntil([&] { return LoadEnds > loadEnds; }, 15000)) << hostLog.Text();
    SetCommandLineForTest(nullptr);
    EXPECT_TRUE(
        PressReaches(L"if (location.protocol == 'data:' && document.body.innerHTML.indexOf("
                     L"'Failed to load URL file:') >= 0 && document.body.innerHTML.indexOf("
                     L"'launcher/missing.html?language=') >= 0) "
                     L"location.href = 'http://launcher/index.html?shown=error';"
                     L"else if (location.search == '?shown=error') cefQuery({request: 'Binding:Cancel'});",
                     IDC_ALT_BUTTON));
}

std::vector<std::wstring> ShellOpened;
HINSTANCE WINAPI RecordShellOpen(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    ShellOpened.push_back(file ? file : L"");
    return reinterpret_cast<HINSTANCE>(42);
}

std::vector<UINT> DialogMouse; // the mouse presses another window of the thread saw
LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN)
        DialogMouse.push_back(message);
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(RealRuntimeHostTest, OnlyTheInterfaceItselfReachesTheStep)
{
    REQUIRE_REAL_RUNTIME();
    HWND window = StartHost();
    ASSERT_TRUE(window);
    ASSERT_TRUE(LoadAndWait(L"index.html"));
    testing_support::LogCapture log;

    // A script of the origin that the archive does not hold gets 404 from
    // the launcher, not an answer from whatever host "launcher" names on
    // the network.
    EXPECT_TRUE(PressReaches(L"if (!window.probe) { window.probe = new XMLHttpRequest();"
                             L"probe.open('GET', 'http://launcher/missing.js'); probe.send(); }"
                             L"else if (probe.readyState == 4 && probe.status == 404) "
                             L"cefQuery({request: 'Binding:Cancel'});",
                             IDC_ALT_BUTTON));

    // A frame of another origin inside the page has the page functions too,
    // but its press does not reach the step.
    PageCommands.clear();
    ExecuteScript(L"var outsider = document.createElement('iframe');"
                  L"outsider.src = \"data:text/html,<script>cefQuery({request:'Binding:Cancel'})</script>\";"
                  L"document.body.appendChild(outsider);");
    EXPECT_TRUE(RunLoopUntil([&] { return log.Contains("Page query from data:text/html"); }, 10000))
        << log.Text();
    RunLoopUntil([] { return false; }, 500);
    EXPECT_TRUE(PageCommands.empty());

    // Popups and navigations away from the interface: http, https and
    // mailto go to the system's handlers, nothing else does, and the page
    // stays where it is.
    ShellOpened.clear();
    ShellExecuteFunction = RecordShellOpen;
    ExecuteScript(L"window.open('search-ms:query=x'); window.open('https://outside.example/popup');"
                  L"location.href = 'http://outside.example/news';");
    EXPECT_TRUE(RunLoopUntil([] { return ShellOpened.size() >= 2; }, 10000));
    RunLoopUntil([] { return false; }, 500);
    ShellExecuteFunction = ShellExecuteW;
    EXPECT_EQ(ShellOpened,
              (std::vector<std::wstring>{L"https://outside.example/popup", L"http://outside.example/news"}));
    EXPECT_TRUE(log.Contains("Address not opened (only http, https and mailto are): search-ms:query=x"))
        << log.Text();
    EXPECT_TRUE(PressReaches(L"if (location.href.indexOf('http://launcher/index.html?') == 0) "
                             L"cefQuery({request: 'Binding:Cancel'});",
                             IDC_ALT_BUTTON));

    // Another window of the browser's thread (a dialog) keeps its own mouse
    // presses: none reaches the main window, and the right button is not
    // swallowed.
    HWND dialog = MakeWindow(L"BrowserTestDialog", DialogProc, WS_POPUP, 200, 100);
    SetWindowPos(dialog, HWND_TOPMOST, 1060, 800, 200, 100, SWP_SHOWWINDOW);
    ParentLeftClicks.clear();
    DialogMouse.clear();
    ClickAt(dialog, {50, 50});
    ClickAt(dialog, {60, 50}, true);
    EXPECT_TRUE(ParentLeftClicks.empty());
    EXPECT_EQ(DialogMouse, (std::vector<UINT>{WM_LBUTTONDOWN, WM_RBUTTONDOWN}));
    DestroyWindow(dialog);
}

TEST_F(RealRuntimeHostTest, ReadyPagePlaysTheChimeFromTheArchive)
{
    REQUIRE_REAL_RUNTIME();
    HWND window = StartHost();
    ASSERT_TRUE(window);
    ASSERT_TRUE(LoadAndWait(L"index.html"));

    // The ready page opens: the page plays its own sound, served from the
    // archive.
    ReqReadyToPlay ready;
    HWND page = ready.Run(window);
    ASSERT_TRUE(page);
    EXPECT_TRUE(PressReaches(L"if (downloadEndSound.currentSrc == 'http://launcher/download_end.wav' && "
                             L"!downloadEndSound.error && (downloadEndSound.played.length > 0 || "
                             L"!downloadEndSound.paused)) cefQuery({request: 'Binding:Cancel'});",
                             IDC_ALT_BUTTON));
    DestroyWindow(page);
}

TEST_F(RealRuntimeHostTest, AgreementAndMessageOfTheDayShowTheirTextsAsText)
{
    REQUIRE_REAL_RUNTIME();
    HWND window = StartHost();
    ASSERT_TRUE(window);

    // The CBA step with a document longer than the page: the CBA page of the
    // interface (with its query) holds the document's words, its markup
    // characters as text, in a box that scrolls.
    testing_support::TempDir dir;
    std::string rtf = "{\\rtf1\\ansi{\\b Collective Bargaining Agreement}\\par\\par "
                      "Players & makers agree: <fair play> for all.\\par ";
    for (int article = 1; article <= 40; ++article)
        rtf += "Article " + std::to_string(article) + ". The terms of this article hold.\\par ";
    rtf += "}";
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"cba_en.rtf", rtf));
    CbaFilePath = dir / L"cba_en.rtf";
    CbaFileHash = L"0123456789ABCDEF0123456789ABCDEF";
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"");
    int loadEnds = LoadEnds;
    ReqCBA cba;
    HWND page = cba.Run(window);
    ASSERT_TRUE(page);
    EXPECT_TRUE(RunLoopUntil([&] { return LoadEnds > loadEnds; }, 15000));
    EXPECT_TRUE(
        PressReaches(L"if (location.search.indexOf('page=CBA&') >= 0 && "
                     L"agreement.innerText.indexOf('Collective Bargaining Agreement') >= 0 && "
                     L"agreement.innerText.indexOf('Players & makers agree: <fair play> for all.') >= 0 && "
                     L"agreement.innerText.indexOf('Article 40. The terms') >= 0 && "
                     L"agreement.scrollHeight > agreement.clientHeight && "
                     L"getComputedStyle(agreement).overflowY == 'auto') "
                     L"cefQuery({request: 'Binding:Cancel'});",
                     IDC_ALT_BUTTON));
    RunLoopUntil([] { return false; }, 1500);
    CaptureScreen(window, testing_support::BuildFolder() + L"\\artifacts\\browser_agreement.bmp");
    ShownAgreement = AGREEMENT_NONE;
    DestroyWindow(page);
    CbaFilePath.clear();

    // A message of the day with markup that would press the main button:
    // the start page shows it as text and nothing runs; a link whose query
    // holds "&" is still a working anchor.
    const char motd[] = "{\\rtf1\\ansi News of the day\\par "
                        "<img src=x onerror=cefQuery(\\{request:'Binding:Main'\\})>\\par "
                        "<script>cefQuery(\\{request:'Binding:Main'\\})</script>\\par "
                        "Read HYPERLINK \"http://news.example/?a=1&b=2\" now.\\par}";
    MotdBuffer.assign(motd, motd + sizeof(motd) - 1);
    SendMessageW(window, WM_STEP_SHOW_TEXT, 1, reinterpret_cast<LPARAM>(MotdBuffer.data()));
    EXPECT_TRUE(PressReaches(
        L"var notes = buildnotescontent, link = notes.querySelector('a');"
        L"if (notes.innerText.indexOf(\"<img src=x onerror=cefQuery({request:'Binding:Main'})>\") >= 0 && "
        L"notes.innerText.indexOf(\"<script>cefQuery({request:'Binding:Main'})</script>\") >= 0 && "
        L"!notes.querySelector('img, script') && link && link.href == 'http://news.example/?a=1&b=2' && "
        L"link.textContent == link.href) cefQuery({request: 'Binding:Cancel'});",
        IDC_ALT_BUTTON));
    // The broken image had its time to fail: still only the check's press.
    RunLoopUntil([] { return false; }, 1500);
    EXPECT_EQ(PageCommands, std::vector<WPARAM>{IDC_ALT_BUTTON});
    MotdBuffer.clear();
}

} // namespace
