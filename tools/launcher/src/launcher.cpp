#include "launcher.h"

#include "app_folders.h"
#include "browser_runtime.h"
#include "chains.h"
#include "clusters.h"
#include "command_line.h"
#include "copy_process.h"
#include "dialogs/headless_console.h"
#include "drawing_resources.h"
#include "errorhandler.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "main_window.h"
#include "relaunch.h"
#include "scoped_handles.h"
#include "server_config.h"
#include "requirement_queue.h"
#include "staged_files.h"
#include "stats_upload.h"
#include "step_error.h"
#include "step_page.h"
#include "wine_check.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

namespace {

// Loaded for the text pane and the agreement text.
ModuleHandle RichEdit20;
ModuleHandle RichEdit50;

void OpenLauncherLog(bool relaunched)
{
    // Without the local data folder the log would land in whatever the
    // working folder is; it then goes to the debugger output only.
    if (!LocalDataFolderKnown()) {
        LogWrite(L"No local application data folder: logging to the debugger only\n");
        return;
    }
    // The product folder is made on first use, so a first run has its log.
    std::wstring path = std::wstring(GetLocalDataFolder()) + L"\\Launcher.log";
    if (LogOpen(path.c_str(), relaunched) && !relaunched)
        LogWriteHeader();
}

void HideVulkanLayers()
{
    if (!SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_overlay_1", L"1"))
        LogWrite(L"Could not set DISABLE_VK_LAYER_VALVE_steam_overlay_1\n");
    if (!SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_fossilize_1", L"1"))
        LogWrite(L"Could not set DISABLE_VK_LAYER_VALVE_steam_fossilize_1\n");
}

void DecideBrowser()
{
    if (HasOption(L"-nocef") || HasOption(L"-headless") || HasOption(L"-uninstall")) {
        LogWrite(L"CEF disabled on command-line\n");
        CefEnabled = false;
        return;
    }
    CefEnabled = true;
    CreateMutexW(nullptr, TRUE, L"VT_CEF_ENABLED");
}

void ReadInstalledLanguages()
{
    InstalledLanguages[0] = true;
    EnumSystemLanguageGroupsW(EnumLanguageGroupsProc, LGRPID_INSTALLED, 0);
    InstalledLanguageCount = 0;
    for (bool installed : InstalledLanguages) {
        if (installed)
            ++InstalledLanguageCount;
    }
}

// Start-up step 15: the window the main loop runs for. consoleParent is
// where the headless console dialog goes (null: the run has no console).
HWND CreateLoopWindow(HINSTANCE instance, bool relaunched, HWND consoleParent)
{
    if (HeadlessMode) {
        // A run with nowhere to print, or no console dialog, ends at once
        // rather than wait for a queue that nothing starts.
        HWND console = consoleParent ? StartHeadlessConsole(consoleParent) : nullptr;
        if (!console) {
            LogWrite(consoleParent ? L"Could not create the headless console window\n"
                                   : L"No console for the headless run\n");
            // Without the console dialog no step can run: a failed run.
            PostQuitMessage(EXIT_NO_STEP_PAGE);
        }
        return console;
    }
    HWND window = CreateMainWindow(instance);
    if (!window) {
        // No window (no window driver): nothing would ever start the queue.
        std::wstring reason;
        AppendSystemErrorText(reason, GetLastError(), 1033);
        LogPrintf(L"Could not create the main window: %s\n", reason.c_str());
        LogPrintf(L"No step page can be shown: the run ends (exit code %d)\n", EXIT_NO_STEP_PAGE);
        PostQuitMessage(EXIT_NO_STEP_PAGE);
        return nullptr;
    }
    if (relaunched)
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return window;
}

// Returns the run's exit code: exitCode, or the outcome of the downloaded
// copy a headless run handed over to.
int ShutDown(HINSTANCE instance, HWND window, bool uninstall, int exitCode)
{
    ClearQueue();
    SendLauncherStats();
    // The runtime may run without the browser in use (it was given up).
    bool runtime = BrowserRuntimeRunning();
    if (runtime)
        CloseAllBrowsers(true);
    if (window)
        DestroyWindow(window);
    if (runtime)
        ShutdownCEF();
    DeleteLauncherDrawingObjects();
    if (!HeadlessMode) {
        for (const wchar_t* name : {L"ClusterPopup", L"LanguagePopup", L"MOTDFrame", L"Launcher"})
            UnregisterClassW(name, instance);
    }
    if (!uninstall)
        SaveSettings();
    // The copy prints on this process's console, which stays until it ends.
    if (WaitsForLauncherCopy())
        exitCode = WaitForLauncherCopy();
    FreeConsole();
    RichEdit50.Reset();
    RichEdit20.Reset();
    DeleteStepErrorLock();
    LogClose();
    return exitCode;
}

} // namespace

int LauncherMain(HINSTANCE instance)
{
    InstallCrashHooks();
    // Staged files are installed (and may fail) before the rest of start-up.
    CreateStepErrorLock();

    bool relaunched = HasOption(L"-relaunched");
    OpenLauncherLog(relaunched);
    IsRunningUnderWine();
    HideVulkanLayers();
    DecideBrowser();
    LoadLocalizationTable();

    bool uninstall = HasOption(L"-uninstall");
    DedicatedMode = HasOption(L"-dedicated");
    HeadlessMode = HasOption(L"-headless");
    // Headless, the console comes first: every later line, a second
    // instance's and a hand-over's included, is printed where the script
    // that started the run reads, and a downloaded copy prints there too.
    HWND consoleParent = HeadlessMode ? AcquireHeadlessConsole() : nullptr;

    if (CefEnabled) {
        // Before the runtime is loaded: a loaded library cannot be replaced.
        InstallStagedFiles();
        LoadCEFLib();
        if (CefEnabled) {
            int exitCode = ExecuteCEFProcess(instance);
            if (exitCode >= 0)
                return exitCode;
            TextColor = 0;
        }
    } else {
        LogWrite(L"CEF not enabled\n");
    }

    if (!AcquireSingleInstanceMutex()) {
        ActivateRunningLauncher();
        if (!HeadlessMode)
            return 0;
        // A script must not take this for the work done.
        LogPrintf(L"Another launcher is running: this one ends (exit code %d)\n", EXIT_ANOTHER_LAUNCHER);
        return EXIT_ANOTHER_LAUNCHER;
    }

    ReadInstalledLanguages();
    DetermineClusterAccess();
    LoadSettings();
    std::wstring rejected = GetServerConfigRejected();
    if (!rejected.empty())
        LogPrintf(L"%s: ignored invalid values: %s\n", SERVER_CONFIG_FILE_NAME, rejected.c_str());

    if (!DownloadFolder.empty() && !HasOption(L"-nozip")) {
        GetClusterInstallDir(ServerCluster);
        if (!SingleClusterMode)
            RelaunchLauncher(false, true);
    }

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
        LogWrite(L"Failed to initiaize COM\n");
    InitCommonControls();
    RichEdit20.Reset(LoadLibraryW(L"Riched20.dll"));
    RichEdit50.Reset(LoadLibraryW(L"Msftedit.dll"));

    if (!HeadlessMode)
        LoadLauncherImages(instance);
    BuildChain(CHAIN_MAIN);

    HWND window = CreateLoopWindow(instance, relaunched, consoleParent);
    int exitCode = RunMessageLoop(window);

    return ShutDown(instance, window, uninstall, exitCode);
}
