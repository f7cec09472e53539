// window_tests.exe: the main window driven in this process, on this thread,
// as the launcher runs it: the common controls and the rich-edit libraries
// loaded, the localisation table read and the StepError lock made.
#include "localization.h"
#include "step_error.h"
#include "step_messages.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

// Under a virtual display without a window manager, Wine waits two seconds
// for every activated top-level window it hides or destroys. The windows of
// this program are made unmanaged, a setting of this executable only that
// the display driver reads when a process starts: the first run writes it
// and runs the tests again in a new process.
constexpr wchar_t DRIVER_KEY[] = L"Software\\Wine\\AppDefaults\\window_tests.exe\\X11 Driver";

bool WindowsUnmanaged()
{
    wchar_t value[4] = {};
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, DRIVER_KEY, L"Managed", RRF_RT_REG_SZ, nullptr, value, &size) ==
            ERROR_SUCCESS &&
        value[0] == L'N')
        return true;
    RegSetKeyValueW(HKEY_CURRENT_USER, DRIVER_KEY, L"Managed", REG_SZ, L"N", 4);
    return false;
}

int RunAgain()
{
    STARTUPINFOW startup = {sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = GetCommandLineW();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
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
