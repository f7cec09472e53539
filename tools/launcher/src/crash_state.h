// Module-wide state of the crash handler, shared by the hooks
// (errorhandler.cpp) and the report writer (crash_report.cpp). Written by
// whichever handler runs; plain globals without locks, since a report runs
// on one thread at a time (the assertion path lets one caller through, a
// real crash ends the process).
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
};

extern CrashState Crash;

// Records the current process and the given thread as the crashing one.
void RecordCrashingThread(DWORD threadId);

// The AssertHook value from the first report on.
int AssertHookNoOp(const struct AssertInfo* info);
