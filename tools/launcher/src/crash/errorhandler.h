// Crash handling: turns an unhandled exception, a stack overflow, an
// assertion, a pure virtual call, a runtime invalid-parameter report or a
// failed lazy binding of a library into a crash report.
//
// A report is a new CrashFolder "<local data>\Crashes\YYYY.MM.DD.hh.mm.ss"
// holding Description.txt (the crash header, CRLF line ends), a copy of
// Launcher.log and the minidump QX.dmp, after which FaultCourier.exe is
// started from the tools folder with the folder's path, in double quotes, as
// its only argument. Real crashes then end the process with EXIT_CRASHED and
// a pure virtual call with EXIT_ABORTED (exit_codes.h); assertion reports
// return and the launcher goes on.
#pragma once

#include <windows.h>
#include <delayimp.h>

#include <cstddef>
#include <cstdint>

// Passed by address to the AssertHook. Texts are narrow (UTF-8) or null.
struct AssertInfo {
    const char* expression;
    const char* function;
    const char* file;
    unsigned line : 28;
    unsigned reserved : 4; // not used
};

// Returns non-zero when the caller is to break into the debugger at once.
using AssertHookFunction = int (*)(const AssertInfo* info);

// The process-wide assertion hook. Before start-up it breaks on every
// assertion; start-up sets AssertHandler; the first report sets a no-op that
// returns 0, so each run reports at most one assertion.
extern AssertHookFunction AssertHook;

// Installs every hook in the order start-up needs: without a debugger the
// unhandled-exception filter (keeping the one it replaces) and the vectored
// stack-overflow handler first in line; always the pure-call and
// invalid-parameter handlers and AssertHandler as the AssertHook. The
// delay-load failure hook is set statically.
void InstallCrashHooks();

// Writes one crash report; reason is narrow text, pointers may be null. With
// terminate the process ends with EXIT_CRASHED (the call returns only when
// that fails).
void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* pointers, bool terminate);

// The handlers themselves.
LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* pointers);
LONG WINAPI VectoredExceptionHandler(EXCEPTION_POINTERS* pointers);
int AssertHandler(const AssertInfo* info);
void InvalidParameterHandler(const wchar_t* expression, const wchar_t* function, const wchar_t* file,
                             unsigned int line, uintptr_t reserved);
void PureCallHandler();
FARPROC WINAPI DelayLoadFailureHook(unsigned notification, PDelayLoadInfo info);

// "GPF", "Stack Overflow", ... or "Exception 0x%08X" (one static buffer).
const char* GetExceptionName(DWORD code);

// The system's English message for a Windows error code into the
// last-Windows-error text (128 bytes, trailing white space removed); returns
// its length, 0 when the system has no text.
int FormatLastWindowsError(DWORD code);
const char* LastWindowsErrorText();

// Builds the crash header into buffer (8192 bytes, zero-filled by the
// caller): build label, crash type, reason, crashing thread, last errors.
// Without withBuildLabel the label, which reading the executable's version
// needs the loader for, is left out.
void BuildCrashHeader(char* buffer, const char* reason, bool withBuildLabel = true);

// Clears the read-only and hidden attributes of a file; false when its
// attributes cannot be read or changed.
bool ClearFileAttributes(const wchar_t* path);

// FaultCourier's command line: the quoted path of FaultCourier.exe in
// toolsFolder, a blank and crashFolder (its trailing "/" dropped) in double
// quotes. Returns false when it does not fit in capacity characters.
bool BuildUploaderCommandLine(wchar_t* buffer, size_t capacity, const wchar_t* toolsFolder,
                              const wchar_t* crashFolder);

// Bounded formatted appends at a moving position. Nothing happens when the
// format is empty or fewer than 2 units are left. A text that fits moves the
// position by its length, which is returned; one that does not fit (narrow)
// leaves the buffer terminated at its last byte, the position at
// capacity - 1, and returns -1. The wide form cuts the text instead and
// returns what it wrote. Narrow formats take %s narrow, %S wide.
int AppendFormat(char* buffer, size_t capacity, size_t* position, const char* format, ...);
int AppendFormatWide(wchar_t* buffer, size_t capacity, size_t* position, const wchar_t* format, ...);
