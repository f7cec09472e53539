// window_tests.exe: the main window driven in this process, on this thread,
// as the launcher runs it: the common controls and the rich-edit libraries
// loaded, the localisation table read and the StepError lock made.
#include "localization.h"
#include "step_error.h"
#include "step_messages.h"
#include "test_support.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Under a virtual display without a window manager, Wine waits two seconds
// for every activated top-level window it hides or destroys. The windows of
// this program are made unmanaged, a setting of this executable only that
// the display driver reads when a process starts: the first run writes it
// and runs the tests again in a new process.
constexpr wchar_t DRIVER_KEY[] = L"Software\\Wine\\AppDefaults\\window_tests.exe\\X11 Driver";

// Marks the process that the first run started, so that it never starts
// another.
constexpr wchar_t RERUN_VARIABLE[] = L"WINDOW_TESTS_RERUN";

// How long the first run waits for the tests' run: ended before ctest's own
// time-out would end the area, so that what the run printed is still shown.
constexpr DWORD RERUN_LIMIT_MS = 840000;

bool WindowsUnmanaged()
{
    wchar_t value[4] = {};
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_CURRENT_USER, DRIVER_KEY, L"Managed", RRF_RT_REG_SZ, nullptr, value, &size) ==
               ERROR_SUCCESS &&
           value[0] == L'N';
}

// Makes the windows unmanaged and runs the tests again in a new process;
// gives its exit code, or 1 with a message when that cannot be done.
int RunAgain()
{
    if (GetEnvironmentVariableW(RERUN_VARIABLE, nullptr, 0) > 0) {
        fprintf(stderr, "window_tests: the windows are still managed in the second run: the setting "
                        "did not take\n");
        return 1;
    }
    LSTATUS written = RegSetKeyValueW(HKEY_CURRENT_USER, DRIVER_KEY, L"Managed", REG_SZ, L"N", 4);
    if (written != ERROR_SUCCESS || !WindowsUnmanaged()) {
        fprintf(stderr, "window_tests: could not make the windows unmanaged (error %ld)\n",
                static_cast<long>(written));
        return 1;
    }
    SetEnvironmentVariableW(RERUN_VARIABLE, L"1");
    // The run shares this program's output; at its bound it is ended with
    // every process it started.
    std::optional<int> code = testing_support::RunProcess(GetCommandLineW(), nullptr, RERUN_LIMIT_MS);
    if (!code)
        fprintf(stderr, "window_tests: the tests did not end within %lu s and were ended\n",
                RERUN_LIMIT_MS / 1000);
    return code.value_or(1);
}

LONG WINAPI ExitWithExceptionCode(EXCEPTION_POINTERS* pointers)
{
    ExitProcess(pointers->ExceptionRecord->ExceptionCode);
}

// Started with "--press-crash-keys": presses the settings button with
// Control, Alt and G held, and ends with the code of the exception that
// raises (the crash handler is not installed here).
int PressCrashKeys()
{
    SetUnhandledExceptionFilter(ExitWithExceptionCode);
    window_test::LauncherWindow window;
    window_test::HeldKeys keys({VK_CONTROL, VK_MENU, 'G'});
    SendMessageW(window.get(), WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, 0), 0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (!WindowsUnmanaged())
        return RunAgain();
    InitCommonControls();
    LoadLibraryW(L"Riched20.dll");
    LoadLibraryW(L"Msftedit.dll");
    CreateStepErrorLock();
    LoadLocalizationTable();
    if (argc > 1 && strcmp(argv[1], "--press-crash-keys") == 0)
        return PressCrashKeys();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
