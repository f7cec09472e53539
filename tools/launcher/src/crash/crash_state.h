// Module-wide state of the crash handler, shared by the hooks
// (errorhandler.cpp) and the report writer (crash_report.cpp). Plain globals
// without locks: only the thread that owns the report (EnterCrashReport)
// writes them, and a terminating report never gives that up, so a second
// thread that crashes meanwhile waits instead of overwriting them.
#pragma once

#include <windows.h>
#include <dbghelp.h>

using MiniDumpWriteDumpFunction = decltype(&MiniDumpWriteDump);

struct CrashState {
    HANDLE process = nullptr;
    DWORD processId = 0;
    DWORD threadId = 0;
    char lastWindowsError[128] = {};
    char lastStdError[128] = {};
    HMODULE dbgHelp = nullptr;
    MiniDumpWriteDumpFunction miniDumpWriteDump = nullptr;
    wchar_t crashFolder[MAX_PATH] = {};
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
    volatile LONG assertsInProgress = 0;
    volatile LONG reportOwner = 0; // id of the thread writing a report, 0 when none
    // How long the report waits for the minidump thread, which can block on
    // a lock that the crashed thread holds.
    DWORD miniDumpWaitMs = 120000;
};

extern CrashState Crash;

// Records the current process and the given thread as the crashing one.
void RecordCrashingThread(DWORD threadId);

// Makes the calling thread the one that writes the crash report. While
// another thread writes one this waits: for ever when that report ends the
// process. False when the calling thread owns the report already (it failed
// inside its own report).
bool EnterCrashReport();
// Gives the report up (only a report that does not end the process does).
void LeaveCrashReport();
// Hands the report to another thread (the stack-overflow path's writer).
void PassCrashReport(DWORD threadId);

// The AssertHook value from the first report on.
int AssertHookNoOp(const struct AssertInfo* info);
