// The crash hooks: which failure becomes which report. The report itself is
// written by crash_report.cpp.
#include "errorhandler.h"

#include "app_folders.h"
#include "crash_state.h"
#include "exit_codes.h"
#include "log.h"
#include "settings_store.h"
#include "strings.h"
#include "wideformat.h"

#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

extern "C" void InstallPureCallHook(void (*handler)(void), void (*end)(void));

namespace {

constexpr DWORD kStackOverflow = 0xC00000FD;
constexpr DWORD kCxxException = 0xE06D7363;
// The code this toolchain's unwinder raises for a C++ throw, and the mask
// under which it is recognised.
constexpr DWORD kGccThrow = 0x20474343;
constexpr DWORD kGccThrowMask = 0x20FFFFFF;
constexpr unsigned kStackOverflowThreadStack = 65536;
constexpr DWORD kReportWaitStepMs = 50;
constexpr DWORD kFaultedWriterExitCode = 0xFFFFFFFF;

// Before start-up installs AssertHandler every assertion breaks.
int BreakOnAnyAssert(const AssertInfo* info)
{
    return info != nullptr;
}

void BreakIntoDebugger()
{
    DebugBreak();
}

// The browser's GPU use is switched off for the next run: a crash in a
// graphics driver would otherwise repeat at every start.
void DisableBrowserGpuForNextRun()
{
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", 0);
}

void TrimTrailingSpace(char* text)
{
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || (text[length - 1] >= '\t' && text[length - 1] <= '\r')))
        text[--length] = 0;
}

// A fault inside the crashing thread's own report: nothing more can be
// written, the process ends at once.
void EndAfterFaultInReport()
{
    TerminateProcess(GetCurrentProcess(), EXIT_CRASHED);
}

// The report of every fatal exception: the filter's, and the C++ runtime's
// terminate and abort paths; uncaught is the text of the C++ exception, if
// any. Returns only when termination failed.
void ReportFatalException(EXCEPTION_POINTERS* pointers, const char* uncaught = nullptr)
{
    EndFaultedMiniDumpThread(pointers->ExceptionRecord->ExceptionCode);
    const ReportEntry entry = EnterCrashReport();
    if (entry == ReportEntry::Reentered) {
        EndAfterFaultInReport();
        return;
    }
    const char* name = GetExceptionName(pointers->ExceptionRecord->ExceptionCode);
    CrashLogPrintf(L"%S\n", name);
    RecordCrashingThread(GetCurrentThreadId(), name);
    if (uncaught)
        lstrcpynA(Crash.uncaughtException, uncaught, sizeof Crash.uncaughtException);
    // The registry calls allocate and take the system's own registry locks,
    // any of which the stuck report's thread may hold.
    if (entry != ReportEntry::TakenOver)
        DisableBrowserGpuForNextRun();
    WriteCrashReport(name, pointers, true);
}

// An uncaught C++ exception or a call of abort() never reaches the
// unhandled-exception filter: the runtime ends the process itself. Both are
// reported as the C++ exception they stand for, with this thread's context.
void ReportCxxTermination(const char* uncaught)
{
    alignas(16) CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = kCxxException;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
#if defined(_M_X64) || defined(__x86_64__)
    record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
#endif
    EXCEPTION_POINTERS pointers = {&record, &context};
    ReportFatalException(&pointers, uncaught);
}

// Logs the exception in flight and copies its text into text (empty when
// it has none).
void LogUncaughtException(char* text, size_t capacity)
{
    text[0] = 0;
    std::exception_ptr current = std::current_exception();
    if (!current)
        return;
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& error) {
        LogPrintf(L"Uncaught exception: %S\n", error.what());
        lstrcpynA(text, error.what(), static_cast<int>(capacity));
    } catch (...) {
        LogWrite(L"Uncaught exception\n");
    }
}

[[noreturn]] void TerminateHandler()
{
    char text[sizeof Crash.uncaughtException];
    LogUncaughtException(text, sizeof text);
    ReportCxxTermination(text[0] ? text : nullptr);
    _exit(EXIT_ABORTED);
}

void AbortSignalHandler(int)
{
    LogWrite(L"abort() called\n");
    ReportCxxTermination(nullptr);
}

// After the pure-call report: a report that another thread is writing is
// finished first (a fatal one ends the process itself meanwhile), then the
// process ends without running any library's exit code, with the code of
// the runtime's abort().
void EndAfterPureCall()
{
    EnterCrashReport();
    TerminateProcess(GetCurrentProcess(), EXIT_ABORTED);
}

DWORD WINAPI StackOverflowThreadProc(void* parameter)
{
    auto* pointers = static_cast<EXCEPTION_POINTERS*>(parameter);
    const char* name = GetExceptionName(pointers->ExceptionRecord->ExceptionCode);
    CrashLogPrintf(L"%S\n", name);
    WriteCrashReport(name, pointers, true);
    return 0;
}

struct ExceptionName {
    DWORD code;
    const char* name;
};

constexpr ExceptionName kExceptionNames[] = {
    {0x80000001, "Guard Page Exception"},
    {0x80000002, "Datatype Misalignment"},
    {0x80000003, "Breakpoint Exception"},
    {0x80000004, "Single-Step Exception"},
    {0xC0000005, "GPF"},
    {0xC0000006, "Unrecoverable Page Fault"},
    {0xC0000008, "Invalid Handle"},
    {0xC000001D, "Illegal Instruction"},
    {0xC0000025, "Non-Continuable Exception"},
    {0xC0000026, "Invalid Disposition"},
    {0xC000008C, "Array Bounds Exceeded"},
    {0xC000008D, "Denormal Float Exception"},
    {0xC000008E, "Floating Point Divide By Zero"},
    {0xC000008F, "Inexact Result"},
    {0xC0000090, "Floating Point Exception"},
    {0xC0000091, "Floating Point Overflow"},
    {0xC0000092, "Floating Point Stack Error"},
    {0xC0000093, "Floating Point Underflow"},
    {0xC0000094, "Integer Divide By Zero"},
    {0xC0000095, "Integer Overflow"},
    {0xC0000096, "Privileged Instruction"},
    {0xC00000FD, "Stack Overflow"},
    {0xC0000194, "Possible Deadlock"},
    {0xC0000420, "Assertion Failure"},
    {0xC06D007E, "Delay-load Module Not Found"},
    {0xE06D7363, "Microsoft C++ Exception"},
};

} // namespace

AssertHookFunction AssertHook = BreakOnAnyAssert;

// A lazily bound library that cannot be loaded reaches DelayLoadFailureHook
// before the runtime raises its exception; set here, before any code runs.
extern "C" {
PfnDliHook __pfnDliFailureHook2 = DelayLoadFailureHook;
}

CrashState Crash;

void RecordCrashingThread(DWORD threadId, const char* reason)
{
    Crash.process = GetCurrentProcess();
    Crash.processId = GetCurrentProcessId();
    Crash.threadId = threadId;
    lstrcpynA(Crash.reportReason, reason ? reason : "", sizeof Crash.reportReason);
}

ReportEntry EnterCrashReport()
{
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    LONG waitedFor = 0;
    DWORD waited = 0;
    for (;;) {
        const LONG owner = InterlockedCompareExchange(&Crash.reportOwner, self, 0);
        if (owner == 0)
            return ReportEntry::Owned;
        if (owner == self)
            return ReportEntry::Reentered;
        if (owner != waitedFor) {
            // A new owner (the stack-overflow writer, or another thread that
            // took over) gets the whole time again.
            waitedFor = owner;
            waited = 0;
        }
        if (waited >= Crash.reportTakeOverMs &&
            InterlockedCompareExchange(&Crash.reportOwner, self, owner) == owner) {
            // The owner is stuck, most likely on a lock this thread held when
            // it crashed: without this the process would hang with no report.
            Crash.reportTakenOver = true;
            CrashLogPrintf(L"Crash report of thread %x did not finish within %u ms\n",
                      static_cast<unsigned>(owner), Crash.reportTakeOverMs);
            return ReportEntry::TakenOver;
        }
        Sleep(kReportWaitStepMs);
        waited += kReportWaitStepMs;
    }
}

void LeaveCrashReport()
{
    InterlockedCompareExchange(&Crash.reportOwner, 0, static_cast<LONG>(GetCurrentThreadId()));
}

void PassCrashReport(DWORD threadId)
{
    InterlockedExchange(&Crash.reportOwner, static_cast<LONG>(threadId));
}

bool OwnsCrashReport()
{
    return Crash.reportOwner == static_cast<LONG>(GetCurrentThreadId());
}

void YieldTakenOverReport()
{
    CrashLogPrintf(L"Crash report of thread %x given up to thread %x\n", GetCurrentThreadId(),
                   static_cast<unsigned>(Crash.reportOwner));
    // The report that took over ends the process; ending it here first
    // would cut that report off.
    Sleep(Crash.reportTakeOverMs);
    TerminateProcess(GetCurrentProcess(), EXIT_CRASHED);
}

void EndFaultedMiniDumpThread(DWORD exceptionCode)
{
    if (!GiveUpFaultedMiniDump(exceptionCode))
        return;
    // Ended at once, the writer would keep for good whatever it held when it
    // faulted (the heap's lock, inside an allocation), and the report, which
    // goes on without the dump, would block on it. So it waits for that
    // report like a second crashing thread, and when the report is stuck it
    // writes it in its place (with the reason and thread of the report,
    // without the dump). An overflowed writer has no stack to do either.
    if (exceptionCode != kStackOverflow) {
        const ReportEntry entry = EnterCrashReport();
        if (entry == ReportEntry::TakenOver) {
            Crash.dumpWriterFault = exceptionCode;
            WriteCrashReport(Crash.reportReason, nullptr, true);
        } else if (entry == ReportEntry::Owned) {
            // The report it served is done and did not end the process.
            LeaveCrashReport();
        }
    }
    // Only this thread ends: no library detach code runs, as the writer
    // may have stopped inside any of them.
    TerminateThread(GetCurrentThread(), kFaultedWriterExitCode);
}

int AssertHookNoOp(const AssertInfo*)
{
    return 0;
}

void InstallCrashHooks()
{
    // Both folders are cached now: reading them later needs the loader and
    // the heap, which a crashed thread may hold.
    GetLocalDataFolder();
    GetToolsFolder();
    if (!IsDebuggerPresent()) {
        Crash.previousFilter = SetUnhandledExceptionFilter(TopLevelExceptionFilter);
        AddVectoredExceptionHandler(1, VectoredExceptionHandler);
        std::set_terminate(TerminateHandler);
        signal(SIGABRT, AbortSignalHandler);
        // abort() would otherwise show its message box before the report.
        _set_error_mode(_OUT_TO_STDERR);
    }
    InstallPureCallHook(PureCallHandler, EndAfterPureCall);
    _set_invalid_parameter_handler(InvalidParameterHandler);
    AssertHook = AssertHandler;
}

const char* GetExceptionName(DWORD code)
{
    for (const ExceptionName& entry : kExceptionNames) {
        if (entry.code == code)
            return entry.name;
    }
    static char unknown[128];
    LegacySnprintf(unknown, sizeof unknown, "Exception 0x%08X", static_cast<unsigned>(code));
    return unknown;
}

int FormatLastWindowsError(DWORD code)
{
    char* text = Crash.lastWindowsError;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageA(flags, nullptr, code, 1033, text, sizeof Crash.lastWindowsError, nullptr);
    if (length == 0 && GetLastError() == ERROR_RESOURCE_LANG_NOT_FOUND)
        length = FormatMessageA(flags, nullptr, code, 1024, text, sizeof Crash.lastWindowsError, nullptr);
    if (length == 0 || length >= sizeof Crash.lastWindowsError)
        length = 0;
    text[length] = 0;
    TrimTrailingSpace(text);
    return static_cast<int>(strlen(text));
}

const char* LastWindowsErrorText()
{
    return Crash.lastWindowsError;
}

LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* pointers)
{
    // A C++ throw that no frame catches reaches this filter only off the
    // main thread (the start-up code filters the main thread's itself). The
    // unwinder's search must end here, as the runtime's own filter lets it:
    // the throw then returns into std::terminate, which reports the
    // exception with its text.
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if ((record->ExceptionCode & kGccThrowMask) == kGccThrow &&
        (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0)
        return EXCEPTION_CONTINUE_EXECUTION;
    if (IsDebuggerPresent()) {
        if (Crash.previousFilter)
            return Crash.previousFilter(pointers);
        return EXCEPTION_CONTINUE_SEARCH;
    }
    ReportFatalException(pointers);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The overflowing thread has almost no stack left, so the report is written
// by a fresh thread while this one waits.
LONG WINAPI VectoredExceptionHandler(EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode != kStackOverflow)
        return EXCEPTION_CONTINUE_SEARCH;
    EndFaultedMiniDumpThread(kStackOverflow);
    if (EnterCrashReport() == ReportEntry::Reentered) {
        EndAfterFaultInReport();
        return EXCEPTION_CONTINUE_SEARCH;
    }
    RecordCrashingThread(GetCurrentThreadId(), GetExceptionName(kStackOverflow));
    // The writer owns the report from its first instruction, so that a fault
    // of its own ends the process instead of waiting for this thread. It is
    // started without the runtime's thread start, which allocates from the
    // heap: the overflow may have come inside the heap, holding its lock.
    DWORD writerId = 0;
    HANDLE thread = CreateThread(nullptr, kStackOverflowThreadStack, StackOverflowThreadProc, pointers,
                                 CREATE_SUSPENDED, &writerId);
    if (thread) {
        PassCrashReport(writerId);
        ResumeThread(thread);
        // The writer needs the heap and the loader lock, either of which
        // this thread may hold (an overflow inside an allocation, a stream
        // call or a library's entry point). When no report comes in time,
        // the process ends without one rather than hanging for good.
        if (WaitForSingleObject(thread, Crash.reportTakeOverMs) != WAIT_OBJECT_0)
            TerminateProcess(GetCurrentProcess(), EXIT_CRASHED);
        CloseHandle(thread);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

int AssertHandler(const AssertInfo* info)
{
    // One report at a time; a caller that finds another in progress is let
    // go at once (and the counter stays raised, silencing later callers).
    if (InterlockedIncrement(&Crash.assertsInProgress) != 1)
        return 0;
    const DWORD savedError = GetLastError();
    const int savedErrno = errno;
    AssertHook = AssertHookNoOp;

    char text[256] = {};
    size_t position = 0;
    AppendFormat(text, sizeof text, &position, "Assert");
    if (info && info->expression)
        AppendFormat(text, sizeof text, &position, ": (%s)", info->expression);
    if (info && info->function)
        AppendFormat(text, sizeof text, &position, " in %s", info->function);
    if (info && info->file)
        AppendFormat(text, sizeof text, &position, " [%s:%d]", info->file, static_cast<int>(info->line));
    LogPrintf(L"%S\n", text);

    if (savedError != 0)
        FormatLastWindowsError(savedError);
    if (savedErrno != 0) {
        strncpy(Crash.lastStdError, strerror(savedErrno), sizeof Crash.lastStdError - 1);
        Crash.lastStdError[sizeof Crash.lastStdError - 1] = 0;
        TrimTrailingSpace(Crash.lastStdError);
    }

    if (IsDebuggerPresent()) {
        if (Crash.lastWindowsError[0])
            LogPrintf(L"Last windows error: %S\n", Crash.lastWindowsError);
        if (Crash.lastStdError[0])
            LogPrintf(L"Last standard library error: %S\n", Crash.lastStdError);
        InterlockedDecrement(&Crash.assertsInProgress);
        AssertHook = AssertHandler;
        return 1;
    }
    // A crash report of another thread is finished first (a fatal one ends
    // the process while this waits). One that is stuck is given up; the
    // crashed thread never comes back, so this report ends the process.
    const ReportEntry entry = EnterCrashReport();
    if (entry != ReportEntry::Reentered) {
        RecordCrashingThread(GetCurrentThreadId(), text);
        WriteCrashReport(text, nullptr, entry == ReportEntry::TakenOver);
        LeaveCrashReport();
    }
    InterlockedDecrement(&Crash.assertsInProgress);
    return 0;
}

void InvalidParameterHandler(const wchar_t* expression, const wchar_t* function, const wchar_t* file,
                             unsigned int line, uintptr_t)
{
    if (!function || !file || static_cast<int>(line) < 0)
        return;
    const std::string expressionText = expression ? ConvertToUtf8(expression) : std::string();
    const std::string functionText = ConvertToUtf8(function);
    const std::string fileText = ConvertToUtf8(file);
    AssertInfo info = {expression ? expressionText.c_str() : nullptr, functionText.c_str(), fileText.c_str(),
                       line & 0x0FFFFFFFu, 0};
    if (AssertHook(&info))
        BreakIntoDebugger();
}

void PureCallHandler()
{
    AssertInfo info = {"Pure virtual function call", "PureCallHandler", __FILE__, 839, 0};
    if (AssertHook(&info))
        BreakIntoDebugger();
}

FARPROC WINAPI DelayLoadFailureHook(unsigned notification, PDelayLoadInfo info)
{
    const char* what = " (Unknown Error)";
    if (notification == dliFailLoadLib)
        what = " (Load failed)";
    else if (notification == dliFailGetProc)
        what = " (Proc missing)";
    char text[512] = {};
    size_t position = 0;
    AppendFormat(text, sizeof text, &position, "Error loading %s%s", info && info->szDll ? info->szDll : "",
                 what);
    LogPrintf(L"%S\n", text);
    // Made the thread's last error after logging, so that the assertion
    // report, which reads it first thing, shows why the library failed.
    if (info && info->dwLastError != 0)
        SetLastError(info->dwLastError);
    AssertInfo assertInfo = {text, "DelayLoadFailureHook", __FILE__, 875, 0};
    if (AssertHook(&assertInfo))
        BreakIntoDebugger();
    return nullptr;
}
