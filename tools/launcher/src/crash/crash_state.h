// Module-wide state of the crash handler, shared by the hooks
// (errorhandler.cpp) and the report writer (crash_report.cpp). Plain globals
// without locks: only the thread that owns the report (EnterCrashReport)
// writes them, and a terminating report never gives that up, so a second
// thread that crashes meanwhile waits instead of overwriting them. That wait
// is bounded: a report that does not finish within reportTakeOverMs is
// taken to be stuck, and the waiting thread writes its own. Each report
// builds its CrashFolder path in a buffer of its own, and a report that was
// taken over stops before its next step (OwnsCrashReport), so the two never
// write into each other's folder or both start FaultCourier.
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
    // The text of the C++ exception that ended the process, empty when none.
    char uncaughtException[256] = {};
    // The reason of the report in progress, kept for a thread that takes a
    // stuck report over on its behalf (its faulted minidump writer).
    char reportReason[256] = {};
    HMODULE dbgHelp = nullptr;
    MiniDumpWriteDumpFunction miniDumpWriteDump = nullptr;
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
    volatile LONG assertsInProgress = 0;
    volatile LONG reportOwner = 0; // id of the thread writing a report, 0 when none
    // How long the report waits for the minidump thread, which can block on
    // a lock that the crashed thread holds.
    DWORD miniDumpWaitMs = 120000;
    // How long a second crashing thread waits for the report in progress,
    // and how long an overflowing thread waits for the thread that writes
    // its report. Longer than a report's own bounded waits (the minidump's),
    // so that only a report blocked for good is given up: one whose thread
    // waits on a lock (the process heap's, the loader's) that the crashed
    // thread held when it crashed.
    DWORD reportTakeOverMs = 180000;
    // Set when the report in progress was taken over from a stuck one: it
    // then keeps away from what the stuck thread may hold (the loader, the
    // heap, the runtime's stream locks, the registry's): no settings write,
    // no minidump thread, log lines written straight to the file.
    bool reportTakenOver = false;
    // The exception of the minidump writer that took its report over, 0
    // when the report was not taken over by its writer.
    DWORD dumpWriterFault = 0;
};

extern CrashState Crash;

// Records the current process and the given thread as the crashing one,
// and the reason of its report.
void RecordCrashingThread(DWORD threadId, const char* reason);

enum class ReportEntry {
    Owned,     // the calling thread writes the report
    TakenOver, // the same, after the report in progress did not finish in time
    Reentered, // the calling thread failed inside its own report
};

// Makes the calling thread the one that writes the crash report. While
// another thread writes one this waits, at most Crash.reportTakeOverMs; a
// report that ends the process never returns to a waiter. A report taken
// over must end the process too: the stuck thread never comes back.
ReportEntry EnterCrashReport();
// Gives the report up (only a report that does not end the process does);
// nothing happens when the calling thread no longer owns it.
void LeaveCrashReport();
// Hands the report to another thread (the stack-overflow path's writer).
void PassCrashReport(DWORD threadId);
// Whether the calling thread still owns the report: false once a thread
// that found it stuck has taken it over.
bool OwnsCrashReport();
// For a report that was taken over: it goes no further, and its thread
// waits for the report that took over to end the process (bounded by
// Crash.reportTakeOverMs, after which the process ends here). Returns only
// when the process could not be ended.
void YieldTakenOverReport();

// Log lines of the crash path. After a take-over they go straight to the log
// file (no debugger output, which takes the heap, and no console).
void CrashLogPrintf(const wchar_t* format, ...);

// Called first by every fatal handler: when the calling thread is a
// minidump writer that faulted, its dump is given up (the file closed and
// deleted, the report told why, the writer's record cleared) and that
// thread does not return: it waits for the report it served like a second
// crashing thread, since it may hold a lock (the heap's) that the report
// needs next, and takes that report over when it is stuck. Returns when the
// caller is any other thread.
void EndFaultedMiniDumpThread(DWORD exceptionCode);
// The minidump part of that (crash_minidump.cpp): true when the calling
// thread was a dump writer, whose dump is now given up.
bool GiveUpFaultedMiniDump(DWORD exceptionCode);

// The AssertHook value from the first report on.
int AssertHookNoOp(const struct AssertInfo* info);
