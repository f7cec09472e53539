// The browser tests on the real runtime: where it is installed, the
// sub-process role of the test program, a whole launcher's run and a
// screenshot.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The folder that plays the launcher's folder, with "CEF3_1\" below it.
std::wstring RealRuntimeLauncherFolder();

// Whether the runtime is installed in RealRuntimeLauncherFolder().
bool RealRuntimeInstalled();
// Whether this is a CI run (the variable CI is set), which must run every case.
bool CiRun();

// Ends a case that needs the runtime where it is not installed: under CI as
// a failure, elsewhere as skipped (and the program's exit code then says the
// area was skipped, not passed).
#define REQUIRE_REAL_RUNTIME()                                                                               \
    do {                                                                                                     \
        if (!RealRuntimeInstalled()) {                                                                       \
            if (CiRun())                                                                                     \
                FAIL() << "the browser runtime is not installed (scripts/setup.sh): CI runs every case";     \
            GTEST_SKIP() << "the browser runtime is not installed (scripts/setup.sh)";                       \
        }                                                                                                    \
    } while (0)

// The exit code of a run that passed but skipped cases (ctest's SKIP_RETURN_CODE).
constexpr int SKIPPED_EXIT_CODE = 77;

// Readies a run of the whole launcher in RealRuntimeLauncherFolder(): the
// built Launcher.exe and "launcher.zip" beside the runtime, the local server
// for every role with a release of one file, the game's stand-in and the
// further objects given (JSON as the content server's "put" takes it), the
// given download folder and no GPU in the settings, and no log yet. False
// when any of it could not be done.
bool PrepareLauncherRun(const std::wstring& downloadFolder, const std::vector<std::string>& objects = {});
// The launcher's log file.
std::wstring LauncherLogPath();

// True when this process was started by the runtime as one of its
// sub-processes; then *exitCode is what the process ends with.
bool RunAsBrowserSubProcess(int* exitCode);

// Waits up to 10 s until no process of that file name is left but the one
// given (0: none); false when one is still there.
bool NoProcessLeft(const wchar_t* name, DWORD except);

// Saves what the screen shows of the window as a 24-bit BMP.
void CaptureScreen(HWND window, const std::wstring& path);
