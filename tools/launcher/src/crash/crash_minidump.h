// The minidump "QX.dmp" of a crash report (crash_minidump.cpp).
#pragma once

#include <windows.h>

enum class MiniDumpResult {
    Written,
    Failed,   // no writer, no thread, or the writer reported a failure (logged)
    TimedOut, // the thread did not finish within Crash.miniDumpWaitMs
    Faulted,  // the writer crashed; faultCode tells how
};

// Writes the dump into folder (the report's CrashFolder, ending in "/") from
// a thread of its own and waits for it, at most Crash.miniDumpWaitMs. A late
// or crashed dump leaves no file in the folder.
MiniDumpResult WriteMiniDump(const wchar_t* folder, EXCEPTION_POINTERS* pointers, DWORD* faultCode);
