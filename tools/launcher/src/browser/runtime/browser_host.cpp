// The runtime's life in the launcher: the sub-process dispatch, the start,
// the browser's creation over the main window, and the shutdown.
#include "browser_runtime.h"
#include "client_app.h"
#include "log.h"
#include "message_pump.h"
#include "page_bridge.h"
#include "simple_handler.h"
#include "step_messages.h"

#include <mmsystem.h>

namespace {

cef_main_args_t MainArgs{};
ClientApp* ClientAppInstance = nullptr;
SimpleHandler* ClientHandler = nullptr; // the creator's reference
// The main window showed its own controls instead: a browser whose runtime
// becomes ready only now must not cover them.
bool BrowserGivenUp = false;

constexpr DWORD CHILD_BROWSER_STYLE = 0x56010000;
constexpr DWORD TOP_LEVEL_BROWSER_STYLE = 0x16CF0000;
// Shutdown waits this long at most for the browsers to report closing.
constexpr int SHUTDOWN_PUMP_TURNS = 300;

void SetWindowName(cef_window_info_t& info, const wchar_t* name)
{
    cef_string_utf16_set(name, wcslen(name), &info.window_name, 1);
}

} // namespace

HWND BrowserWindow = nullptr;

int ExecuteCEFProcess(HINSTANCE instance)
{
    cef_enable_highdpi_support();
    MainArgs.instance = instance;
    if (ClientAppInstance)
        ClientAppInstance->Release();
    ClientAppInstance = new ClientApp();
    return cef_execute_process(&MainArgs, ClientAppInstance->SharedApp(), nullptr);
}

bool StartCEF(HWND window)
{
    BrowserParentWindow = window;
    BrowserGivenUp = false;
    cef_settings_t settings{};
    settings.size = sizeof(settings);
    settings.no_sandbox = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    if (!ClientAppInstance || !cef_initialize(&MainArgs, &settings, ClientAppInstance->SharedApp(), nullptr))
        return false;
    // The runtime's work runs from now on, also before the client exists.
    BrowserPumpStep = RunRuntimePumpStep;
    StartRuntimePump();
    return true;
}

void CreateLauncherBrowser(ClientApp* app)
{
    if (BrowserGivenUp) {
        LogWrite(L"The runtime became ready after the browser was given up: no browser is created\n");
        return;
    }
    if (auto cookies = Adopt(cef_cookie_manager_get_global_manager(nullptr))) {
        cef_string_list_t schemes = cef_string_list_alloc();
        cookies->set_supported_schemes(cookies.get(), schemes, nullptr);
        cef_string_list_free(schemes);
    }

    cef_window_info_t info{};
    if (BrowserParentWindow) {
        RECT area{};
        GetClientRect(BrowserParentWindow, &area);
        info.style = CHILD_BROWSER_STYLE;
        info.x = area.left;
        info.y = area.top;
        info.width = area.right - area.left;
        info.height = area.bottom - area.top;
        info.parent_window = BrowserParentWindow;
    } else {
        SetWindowName(info, L"cefsimple");
        info.style = TOP_LEVEL_BROWSER_STYLE;
        info.x = info.y = info.width = info.height = CW_USEDEFAULT;
    }

    ClientHandler = new SimpleHandler();
    cef_browser_settings_t browserSettings{};
    browserSettings.size = sizeof(browserSettings);
    std::wstring url = GetLauncherBaseUrl() + LAUNCHER_START_PAGE;
    AppendPageQuery(url);
    ClientHandler->CurrentUrl = url;

    auto browser = Adopt(cef_browser_host_create_browser_sync(&info, ClientHandler->SharedClient(),
                                                              CefText(url).get(), &browserSettings, nullptr));
    cef_string_utf16_clear(&info.window_name);
    if (!browser) {
        // Nothing to hook and no page will ever load: the main window falls
        // back to its own controls.
        LogWrite(L"CreateBrowserSync returned no browser\n");
        if (BrowserParentWindow)
            PostMessageW(BrowserParentWindow, WM_BROWSER_FAILED, 0, 0);
        return;
    }
    auto host = Adopt(browser->get_host(browser.get()));
    BrowserWindow = host ? host->get_window_handle(host.get()) : nullptr;
    if (!BrowserWindow)
        return;
    DWORD thread = GetWindowThreadProcessId(BrowserWindow, nullptr);
    app->mouseHook = SetWindowsHookExW(WH_MOUSE, BrowserMouseHookProc, nullptr, thread);
    app->messageHook = SetWindowsHookExW(WH_GETMESSAGE, BrowserMessageHookProc, nullptr, thread);
    joySetCapture(BrowserWindow, JOYSTICKID1, 0, FALSE);
}

void CloseAllBrowsers(bool force)
{
    if (ClientHandler)
        ClientHandler->CloseAllBrowsers(force);
}

bool BrowserRuntimeRunning()
{
    return BrowserPumpStep != nullptr;
}

bool RunBrowserWork()
{
    return BrowserPumpStep && BrowserPumpStep();
}

DWORD BrowserWorkDueInMs()
{
    return BrowserPumpStep ? RuntimeWorkDueInMs() : INFINITE;
}

void AbandonBrowser()
{
    BrowserGivenUp = true;
    // The hooks would send the Win32 controls' mouse messages to the main
    // window too.
    if (ClientAppInstance) {
        for (HHOOK* hook : {&ClientAppInstance->mouseHook, &ClientAppInstance->messageHook}) {
            if (*hook)
                UnhookWindowsHookEx(*hook);
            *hook = nullptr;
        }
    }
    // The browser's own window goes first: a browser asked to close while
    // its window is there asks the main window to close too (WM_CLOSE),
    // which would put the quit question to the player, or quit.
    if (HWND host = BrowserWindow) {
        BrowserWindow = nullptr;
        joyReleaseCapture(JOYSTICKID1);
        DestroyWindow(host);
    }
    CloseAllBrowsers(true);
}

void ShutdownCEF()
{
    if (!BrowserPumpStep)
        return;
    // The browsers finish closing before the runtime goes, so none of its
    // threads outlives the shutdown.
    for (int turn = 0; turn < SHUTDOWN_PUMP_TURNS && ClientHandler && ClientHandler->BrowserCount() > 0;
         ++turn) {
        cef_do_message_loop_work();
        Sleep(10);
    }
    BrowserPumpStep = nullptr;
    BrowserWindow = nullptr;
    StopRuntimePump();
    if (ClientHandler) {
        ClientHandler->Release();
        ClientHandler = nullptr;
    }
    cef_shutdown();
    // Whatever the runtime still held is gone with it.
    SimpleHandlerInstance = nullptr;
    if (ClientAppInstance) {
        ClientAppInstance->Release();
        ClientAppInstance = nullptr;
    }
}
