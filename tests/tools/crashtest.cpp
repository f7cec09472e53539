// Crashes on request, with the launcher's crash hooks installed the way
// start-up installs them, so that the crash tests can read the report:
//   crashtest access | stack | assert | purecall | throw | abort | twothreads | dumphang
//             | heapheld | dumpstall | loaderheld | stackheap | purecallduring | dumpfault | threadthrow
//             | writerid | dumpfaultheap | lateowner
// Run as the launcher's downloaded copy (a release whose "/Tools/Launcher.exe"
// it is), it takes its mode from an argument "-crashtest:<mode>" anywhere on
// the command line the launcher hands on.
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
#include <string>
#include <vector>

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

std::vector<std::wstring> CrashFolders()
{
    std::vector<std::wstring> folders;
    const std::wstring root = std::wstring(GetLocalDataFolder()) + L"\\Crashes\\";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return folders;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.')
            folders.push_back(root + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return folders;
}

// The crash folders made since before that hold a file of that name.
std::vector<std::wstring> NewCrashFolders(const std::vector<std::wstring>& before, const wchar_t* holding)
{
    std::vector<std::wstring> made;
    for (const std::wstring& folder : CrashFolders()) {
        bool old = false;
        for (const std::wstring& seen : before)
            old = old || seen == folder;
        if (!old && GetFileAttributesW((folder + L"\\" + holding).c_str()) != INVALID_FILE_ATTRIBUTES)
            made.push_back(folder);
    }
    return made;
}

// Two threads fault at the same moment; the first owns the report.
HANDLE StartSignal = nullptr;

DWORD WINAPI FaultWhenSignalled(void*)
{
    WaitForSingleObject(StartSignal, 10000);
    AccessViolation();
    return 0;
}

// The first thread faults when signalled, second decides for itself.
int FaultInTwoThreads(LPTHREAD_START_ROUTINE second)
{
    StartSignal = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[2] = {CreateThread(nullptr, 0, FaultWhenSignalled, nullptr, 0, nullptr),
                         CreateThread(nullptr, 0, second, nullptr, 0, nullptr)};
    Sleep(200);
    SetEvent(StartSignal);
    WaitForMultipleObjects(2, threads, TRUE, 60000);
    return 2;
}

int TwoThreads()
{
    return FaultInTwoThreads(FaultWhenSignalled);
}

// The process heap stays locked by the crashing thread, so a new thread (the
// minidump's) cannot even start; the report must go out without the dump.
void FaultHoldingTheHeap()
{
    Crash.miniDumpWaitMs = 2000;
    HeapLock(GetProcessHeap());
    AccessViolation();
}

// One thread faults; while its report is being written a second thread
// takes the process heap's lock and faults holding it. The first report
// blocks on the heap, so the second thread must not wait for it for ever.
DWORD WINAPI FaultWhileReportRuns(void*)
{
    for (int i = 0; i < 10000 && Crash.reportOwner == 0; ++i)
        Sleep(1);
    LogPrintf(L"crashtest heap holder thread %x\n", GetCurrentThreadId());
    HeapLock(GetProcessHeap());
    AccessViolation();
    return 0;
}

int FaultWhileAnotherReportHoldsTheHeap()
{
    Crash.reportTakeOverMs = 3000;
    Crash.miniDumpWaitMs = 2000;
    return FaultInTwoThreads(FaultWhileReportRuns);
}

void UseMiniDumpWriter(MiniDumpWriteDumpFunction writer)
{
    Crash.dbgHelp = GetModuleHandleW(nullptr);
    Crash.miniDumpWriteDump = writer;
}

// The minidump writer stands in for one that blocks for good half-way
// through, its file open: the report goes on without the dump.
HANDLE NeverSet = nullptr;

BOOL WINAPI StallingMiniDumpWriteDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE,
                                      PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                      PMINIDUMP_CALLBACK_INFORMATION)
{
    DWORD written = 0;
    WriteFile(file, "MDMP", 4, &written, nullptr);
    WaitForSingleObject(NeverSet, INFINITE);
    return FALSE;
}

// An assertion report whose dump stalls; the program goes on with the dump
// thread still blocked, and the crash folder must be FaultCourier's to
// delete. Exit code 0 when it went within 30 seconds.
int AssertionWithStalledDump()
{
    NeverSet = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Crash.miniDumpWaitMs = 2000;
    UseMiniDumpWriter(StallingMiniDumpWriteDump);
    const std::vector<std::wstring> before = CrashFolders();
    AssertInfo info = {"dump stalls", "AssertionWithStalledDump", "crashtest.cpp", 7, 0};
    AssertHook(&info);
    const std::vector<std::wstring> made = NewCrashFolders(before, L"Description.txt");
    const std::wstring folder = made.empty() ? L"" : made.front();
    for (int i = 0; i < 300 && GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    bool gone = !folder.empty() && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
    LogPrintf(L"crashtest crash folder %s\n", gone ? L"deleted" : L"kept");
    return gone ? 0 : 2;
}

[[noreturn]] void ThrowUncaught()
{
    throw std::runtime_error("crashtest uncaught");
}

// The stack overflows while this thread holds the heap's lock, as inside an
// allocation: the thread that would write the report cannot run.
int OverflowHoldingTheHeap()
{
    Crash.reportTakeOverMs = 3000;
    HeapLock(GetProcessHeap());
    return Recurse(0);
}

// A dump writer that takes its time, so that the report is still running
// when something else happens.
BOOL WINAPI SlowMiniDumpWriteDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                  PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION)
{
    DWORD written = 0;
    WriteFile(file, "MDMP", 4, &written, nullptr);
    Sleep(3000);
    return TRUE;
}

// A dump writer that crashes half-way through.
volatile DWORD FaultedWriter = 0;

BOOL WINAPI FaultingMiniDumpWriteDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE,
                                      PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                      PMINIDUMP_CALLBACK_INFORMATION)
{
    FaultedWriter = GetCurrentThreadId();
    DWORD written = 0;
    WriteFile(file, "MDMP", 4, &written, nullptr);
    AccessViolation();
    return TRUE;
}

// The same, with the process heap's lock taken first, as a fault inside an
// allocation leaves it: the report cannot allocate again.
BOOL WINAPI HeapHoldingFaultingMiniDumpWriteDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE,
                                                 PMINIDUMP_EXCEPTION_INFORMATION,
                                                 PMINIDUMP_USER_STREAM_INFORMATION,
                                                 PMINIDUMP_CALLBACK_INFORMATION)
{
    DWORD written = 0;
    WriteFile(file, "MDMP", 4, &written, nullptr);
    HeapLock(GetProcessHeap());
    AccessViolation();
    return TRUE;
}

// A dump writer that crashes only once a second thread has taken the report
// over and written its own folder (two new folders hold the log copy): the
// report it served learns of it while the other report is under way.
std::vector<std::wstring> FoldersBefore;

BOOL WINAPI LateFaultingMiniDumpWriteDump(HANDLE, DWORD, HANDLE file, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION)
{
    DWORD written = 0;
    WriteFile(file, "MDMP", 4, &written, nullptr);
    for (int i = 0; i < 1500 && NewCrashFolders(FoldersBefore, L"Launcher.log").size() < 2; ++i)
        Sleep(20);
    AccessViolation();
    return TRUE;
}

DWORD WINAPI AssertWithSlowDump(void*)
{
    LogPrintf(L"crashtest reporting thread %x\n", GetCurrentThreadId());
    AssertInfo info = {"slow report", "AssertWithSlowDump", "crashtest.cpp", 9, 0};
    AssertHook(&info);
    return 0;
}

int PureCall();

// A pure call while another thread's assertion report is being written.
int PureCallDuringAnotherReport()
{
    UseMiniDumpWriter(SlowMiniDumpWriteDump);
    HANDLE reporter = CreateThread(nullptr, 0, AssertWithSlowDump, nullptr, 0, nullptr);
    for (int i = 0; i < 10000 && Crash.reportOwner == 0; ++i)
        Sleep(1);
    PureCall();
    WaitForSingleObject(reporter, 60000);
    return 2;
}

// A dump writer that blocks for good inside the loader, as one walking the
// module list would when something else holds what it waits for.
volatile LONG LoaderHeld = 0;

BOOL WINAPI LoaderHoldingMiniDumpWriteDump(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                           PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION)
{
    using LockLoader = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
    auto lock = reinterpret_cast<LockLoader>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrLockLoaderLock")));
    ULONG_PTR cookie = 0;
    if (lock && lock(0, nullptr, &cookie) == 0)
        InterlockedExchange(&LoaderHeld, 1);
    WaitForSingleObject(NeverSet, INFINITE);
    return FALSE;
}

DWORD WINAPI FaultOnceTheLoaderIsHeld(void*)
{
    for (int i = 0; i < 10000 && !LoaderHeld; ++i)
        Sleep(1);
    LogPrintf(L"crashtest second fault thread %x\n", GetCurrentThreadId());
    AccessViolation();
    return 0;
}

// One thread faults and its report's dump thread blocks holding the loader
// lock; a second thread faults meanwhile and takes the report over after
// 3 s. The minidump keeps its own time limit (120 s).
int FaultWhileTheReportHoldsTheLoader()
{
    Crash.reportTakeOverMs = 3000;
    NeverSet = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    UseMiniDumpWriter(LoaderHoldingMiniDumpWriteDump);
    return FaultInTwoThreads(FaultOnceTheLoaderIsHeld);
}

DWORD WINAPI FaultIfGivenTheWritersId(void*)
{
    if (GetCurrentThreadId() != FaultedWriter)
        return 0;
    LogPrintf(L"crashtest reused id thread %x\n", GetCurrentThreadId());
    AccessViolation();
    return 0;
}

// An assertion report whose dump writer crashes, then a crash of a thread
// that the system has given the ended writer's id (Wine gives ids again
// once a few hundred threads have come and gone): it must be reported as
// any other crash.
int FaultOnTheIdOfAFaultedWriter()
{
    Crash.miniDumpWaitMs = 5000;
    UseMiniDumpWriter(FaultingMiniDumpWriteDump);
    AssertInfo info = {"writer faults", "FaultOnTheIdOfAFaultedWriter", "crashtest.cpp", 11, 0};
    AssertHook(&info);
    LogPrintf(L"crashtest faulted writer thread %x\n", FaultedWriter);
    // The crash's own dump comes from the debug-help library again, with the
    // usual time to write it: a real dump on a loaded machine can take longer
    // than the faulting writer's bound.
    Crash.miniDumpWaitMs = CrashState().miniDumpWaitMs;
    Crash.miniDumpWriteDump = nullptr;
    Crash.dbgHelp = nullptr;
    for (int i = 0; i < 5000; ++i) {
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, FaultIfGivenTheWritersId, nullptr, 0, &id);
        if (!thread)
            break;
        WaitForSingleObject(thread, 60000);
        CloseHandle(thread);
        if (id == FaultedWriter) {
            LogPrintf(L"crashtest thread %x ended without a report\n", id);
            return 2;
        }
    }
    LogPrintf(L"crashtest no thread was given id %x\n", FaultedWriter);
    return 4;
}

int FaultInTheDumpWriterHoldingTheHeap()
{
    Crash.reportTakeOverMs = 3000;
    UseMiniDumpWriter(HeapHoldingFaultingMiniDumpWriteDump);
    AccessViolation();
    return 2;
}

DWORD WINAPI FaultOnceTheReportRuns(void*)
{
    for (int i = 0; i < 10000 && Crash.reportOwner == 0; ++i)
        Sleep(1);
    LogPrintf(L"crashtest taker thread %x\n", GetCurrentThreadId());
    AccessViolation();
    return 0;
}

// One thread faults; a second faults during that report and takes it over
// after 3 s, while the first report still waits for its dump, which then
// fails. Only the second report may go out.
int TakeOverWhileTheOwnerWrites()
{
    Crash.reportTakeOverMs = 3000;
    FoldersBefore = CrashFolders();
    UseMiniDumpWriter(LateFaultingMiniDumpWriteDump);
    return FaultInTwoThreads(FaultOnceTheReportRuns);
}

int FaultInTheDumpWriter()
{
    Crash.miniDumpWaitMs = 5000;
    UseMiniDumpWriter(FaultingMiniDumpWriteDump);
    AccessViolation();
    return 2;
}

DWORD WINAPI ThrowFromThread(void*)
{
    LogPrintf(L"crashtest thrower thread %x\n", GetCurrentThreadId());
    throw std::runtime_error("crashtest thread uncaught");
}

int ThrowOutOfASecondaryThread()
{
    HANDLE thrower = CreateThread(nullptr, 0, ThrowFromThread, nullptr, 0, nullptr);
    WaitForSingleObject(thrower, 60000);
    return 2;
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

namespace {

int PureCall()
{
    Square square;
    return square.Corners();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    InstallCrashHooks();
    wchar_t logPath[MAX_PATH];
    CopyString(logPath, MAX_PATH, GetLocalDataFolder());
    AppendString(logPath, MAX_PATH, L"\\Launcher.log");
    LogOpen(logPath, false);
    const wchar_t* mode = argc > 1 ? argv[1] : L"";
    const wchar_t kCopyMode[] = L"-crashtest:";
    for (int i = 1; i < argc; ++i) {
        if (wcsncmp(argv[i], kCopyMode, wcslen(kCopyMode)) == 0)
            mode = argv[i] + wcslen(kCopyMode);
    }
    LogPrintf(L"crashtest %s thread %x\n", mode, GetCurrentThreadId());

    if (wcscmp(mode, L"access") == 0)
        AccessViolation();
    else if (wcscmp(mode, L"stack") == 0)
        return Recurse(0);
    else if (wcscmp(mode, L"assert") == 0)
        return Assertions();
    else if (wcscmp(mode, L"purecall") == 0)
        return PureCall();
    else if (wcscmp(mode, L"throw") == 0)
        ThrowUncaught();
    else if (wcscmp(mode, L"abort") == 0)
        abort();
    else if (wcscmp(mode, L"twothreads") == 0)
        return TwoThreads();
    else if (wcscmp(mode, L"dumphang") == 0)
        FaultHoldingTheHeap();
    else if (wcscmp(mode, L"heapheld") == 0)
        return FaultWhileAnotherReportHoldsTheHeap();
    else if (wcscmp(mode, L"dumpstall") == 0)
        return AssertionWithStalledDump();
    else if (wcscmp(mode, L"loaderheld") == 0)
        return FaultWhileTheReportHoldsTheLoader();
    else if (wcscmp(mode, L"stackheap") == 0)
        return OverflowHoldingTheHeap();
    else if (wcscmp(mode, L"purecallduring") == 0)
        return PureCallDuringAnotherReport();
    else if (wcscmp(mode, L"dumpfault") == 0)
        return FaultInTheDumpWriter();
    else if (wcscmp(mode, L"threadthrow") == 0)
        return ThrowOutOfASecondaryThread();
    else if (wcscmp(mode, L"writerid") == 0)
        return FaultOnTheIdOfAFaultedWriter();
    else if (wcscmp(mode, L"dumpfaultheap") == 0)
        return FaultInTheDumpWriterHoldingTheHeap();
    else if (wcscmp(mode, L"lateowner") == 0)
        return TakeOverWhileTheOwnerWrites();
    LogPrintf(L"crashtest %s returned\n", mode);
    LogClose();
    return 2;
}
