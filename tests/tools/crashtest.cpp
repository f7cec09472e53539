// Crashes on request, with the launcher's crash hooks installed the way
// start-up installs them, so that the crash tests can read the report:
//   crashtest access | stack | assert | purecall | throw | abort | twothreads | dumphang
// The log is opened where the launcher keeps it, since the report copies it
// from there. Every mode logs "crashtest <mode> thread <id>" first.
#include "app_folders.h"
#include "crash_state.h"
#include "errorhandler.h"
#include "log.h"
#include "strings.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

// The crashes below are meant; the compiler sees them too.
#pragma GCC diagnostic ignored "-Winfinite-recursion"
#pragma GCC diagnostic ignored "-Warray-bounds"

namespace {

void AccessViolation()
{
    // The settings button's test crash: read address 8, write address 4.
    volatile int* source = reinterpret_cast<volatile int*>(8);
    volatile int* target = reinterpret_cast<volatile int*>(4);
    *target = *source;
}

__attribute__((noinline)) int Recurse(int depth)
{
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

// Two threads fault at the same moment; the first owns the report.
HANDLE StartSignal = nullptr;

DWORD WINAPI FaultWhenSignalled(void*)
{
    WaitForSingleObject(StartSignal, 10000);
    AccessViolation();
    return 0;
}

int TwoThreads()
{
    StartSignal = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[2] = {CreateThread(nullptr, 0, FaultWhenSignalled, nullptr, 0, nullptr),
                         CreateThread(nullptr, 0, FaultWhenSignalled, nullptr, 0, nullptr)};
    Sleep(200);
    SetEvent(StartSignal);
    WaitForMultipleObjects(2, threads, TRUE, 60000);
    return 2;
}

// The process heap stays locked by the crashing thread, so a new thread (the
// minidump's) cannot even start; the report must go out without the dump.
void FaultHoldingTheHeap()
{
    Crash.miniDumpWaitMs = 2000;
    HeapLock(GetProcessHeap());
    AccessViolation();
}

[[noreturn]] void ThrowUncaught()
{
    throw std::runtime_error("crashtest uncaught");
}

int Assertions()
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    errno = ENOENT;
    AssertInfo first = {"count == 1", "Assertions", "crashtest.cpp", 42, 0};
    int firstResult = AssertHook(&first);
    // The first report silenced the hook for the rest of the run.
    AssertInfo second = {"second", "Assertions", "crashtest.cpp", 43, 0};
    int secondResult = AssertHook(&second);
    LogPrintf(L"crashtest asserts returned %d %d\n", firstResult, secondResult);
    return firstResult == 0 && secondResult == 0 ? 0 : 2;
}

} // namespace

// A pure call in practice: a base constructor reaches a virtual function
// before the derived part exists, so the object's table is still the base's.
// Outside the anonymous namespace, so that the compiler cannot tell that
// Square is the only implementation and call it directly.
struct Shape;
Shape* volatile Unfinished = nullptr;
int CountCorners();

struct Shape {
    Shape()
    {
        Unfinished = this;
        CountCorners();
    }
    virtual ~Shape() = default;
    virtual int Corners() = 0;
};

struct Square : Shape {
    int Corners() override { return 4; }
};

__attribute__((noinline)) int CountCorners()
{
    return Unfinished->Corners();
}

int wmain(int argc, wchar_t** argv)
{
    InstallCrashHooks();
    wchar_t logPath[MAX_PATH];
    CopyString(logPath, MAX_PATH, GetLocalDataFolder());
    AppendString(logPath, MAX_PATH, L"\\Launcher.log");
    LogOpen(logPath, false);
    const wchar_t* mode = argc > 1 ? argv[1] : L"";
    LogPrintf(L"crashtest %s thread %x\n", mode, GetCurrentThreadId());

    if (wcscmp(mode, L"access") == 0)
        AccessViolation();
    else if (wcscmp(mode, L"stack") == 0)
        return Recurse(0);
    else if (wcscmp(mode, L"assert") == 0)
        return Assertions();
    else if (wcscmp(mode, L"purecall") == 0)
        Square square;
    else if (wcscmp(mode, L"throw") == 0)
        ThrowUncaught();
    else if (wcscmp(mode, L"abort") == 0)
        abort();
    else if (wcscmp(mode, L"twothreads") == 0)
        return TwoThreads();
    else if (wcscmp(mode, L"dumphang") == 0)
        FaultHoldingTheHeap();
    LogPrintf(L"crashtest %s returned\n", mode);
    LogClose();
    return 2;
}
