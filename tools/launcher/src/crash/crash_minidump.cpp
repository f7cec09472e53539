// The minidump of a crash report, written by a thread of its own while the
// reporting thread waits (so that the dump shows that thread in a known
// state), within a time limit, and given up cleanly when it is late or when
// the writer itself crashes.
#include "crash_minidump.h"

#include "crash_state.h"
#include "errorhandler.h"
#include "log.h"
#include "scoped_handles.h"
#include "strings.h"

#include <cwchar>

namespace {

constexpr unsigned kMiniDumpThreadStack = 16384;
constexpr DWORD kMiniDumpFailed = 0xFFFFFFFF;

// How far the dump thread got; the report gives a late one up.
enum MiniDumpState : LONG {
    kDumpPending,   // the thread has not created the file yet
    kDumpWriting,   // the file is open
    kDumpAbandoned, // the report stopped waiting before the file was there
    kDumpWritten,
    kDumpFailedState,
    kDumpFaulted, // the writer itself crashed and was ended
};

struct MiniDumpRequest {
    DWORD threadId;
    EXCEPTION_POINTERS* pointers;
    wchar_t path[MAX_PATH];
    volatile LONG state;
    volatile DWORD writerThread; // the dump thread's id, 0 until it runs
    HANDLE file;                 // QX.dmp while the thread writes it
    DWORD faultCode;             // the writer's exception when it faulted
};

// Static, not on the reporting thread's stack, and one per report: a dump
// thread that missed its time limit may still read its request after the
// report has returned, also while a later report of the run writes its own.
// A run has at most three reports (an assertion, a crash, a crash taken over).
constexpr LONG kDumpRequestSlots = 4;
MiniDumpRequest DumpRequests[kDumpRequestSlots];
volatile LONG DumpRequestsUsed = 0;

DWORD FinishMiniDump(MiniDumpRequest* request, LONG state)
{
    InterlockedExchange(&request->state, state);
    return state == kDumpWritten ? 0 : kMiniDumpFailed;
}

DWORD WriteRequestedMiniDump(MiniDumpRequest* request)
{
    const wchar_t* path = request->path;
    if (request->state != kDumpPending)
        return kMiniDumpFailed; // started after the report gave it up
    // Shared for deleting only: a report that stops waiting moves the
    // unfinished file out of the CrashFolder (AbandonMiniDump).
    UniqueHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    request->file = file.Get();
    if (InterlockedCompareExchange(&request->state, kDumpWriting, kDumpPending) != kDumpPending) {
        if (file) {
            file.Reset();
            DeleteFileW(path);
        }
        return kMiniDumpFailed;
    }
    if (!file) {
        LogPrintf(L"Could not create minidump file %s\n", path);
        return FinishMiniDump(request, kDumpFailedState);
    }
    MINIDUMP_EXCEPTION_INFORMATION exception = {request->threadId, request->pointers, FALSE};
    BOOL written = Crash.miniDumpWriteDump(Crash.process, Crash.processId, file.Get(), MiniDumpNormal,
                                           request->pointers ? &exception : nullptr, nullptr, nullptr);
    file.Reset();
    request->file = nullptr;
    if (!written) {
        LogPrintf(L"Could not write minidump to %s\n", path);
        return FinishMiniDump(request, kDumpFailedState);
    }
    return FinishMiniDump(request, kDumpWritten);
}

DWORD WINAPI MiniDumpThreadProc(void* parameter)
{
    auto* request = static_cast<MiniDumpRequest*>(parameter);
    // Set while this thread writes, so that a fault of the writer is known
    // as this thread's (and never taken for one of a later thread that is
    // given the same id).
    request->writerThread = GetCurrentThreadId();
    const DWORD result = WriteRequestedMiniDump(request);
    request->writerThread = 0;
    return result;
}

// A dump thread that missed its time limit can go on for as long as the
// lock it waits on stays held. The report goes out without its dump, and
// FaultCourier must be able to zip and delete the folder meanwhile: a thread
// that has not created the file yet gives it up when it gets there, and an
// open, unfinished file is moved out of the CrashFolder (beside it, as
// "<folder>.partial.dmp") and deleted, which the system completes when the
// thread lets go of it. True when the dump was finished after all.
bool AbandonMiniDump(MiniDumpRequest& request)
{
    const LONG state = InterlockedCompareExchange(&request.state, kDumpAbandoned, kDumpPending);
    if (state == kDumpWritten)
        return true;
    if (state != kDumpWriting)
        return false;
    wchar_t away[MAX_PATH];
    CopyString(away, MAX_PATH, Crash.crashFolder);
    size_t length = wcslen(away);
    if (length > 0 && away[length - 1] == L'/')
        away[length - 1] = 0;
    AppendString(away, MAX_PATH, L".partial.dmp");
    if (!MoveFileExW(request.path, away, MOVEFILE_REPLACE_EXISTING)) {
        LogPrintf(L"Could not move the unfinished minidump %s away (0x%08X)\n", request.path, GetLastError());
        return false;
    }
    DeleteFileW(away);
    return false;
}

} // namespace

// The wait is bounded: the dump thread can block on a lock (the heap's, the
// loader's) that the crashed thread holds, and the report must go out all
// the same.
MiniDumpResult WriteMiniDump(EXCEPTION_POINTERS* pointers, DWORD* faultCode)
{
    if (!Crash.miniDumpWriteDump) {
        LogPrintf(L"No dbgHelp for writing MiniDump\n");
        return MiniDumpResult::Failed;
    }
    const LONG slot = InterlockedIncrement(&DumpRequestsUsed) - 1;
    if (slot >= kDumpRequestSlots) {
        LogPrintf(L"Could not create minidump thread\n");
        return MiniDumpResult::Failed;
    }
    MiniDumpRequest& request = DumpRequests[slot];
    request.threadId = Crash.threadId;
    request.pointers = pointers;
    request.state = kDumpPending;
    request.writerThread = 0;
    request.file = nullptr;
    CopyString(request.path, MAX_PATH, Crash.crashFolder);
    AppendString(request.path, MAX_PATH, L"QX.dmp");
    UniqueHandle thread(
        CreateThread(nullptr, kMiniDumpThreadStack, MiniDumpThreadProc, &request, 0, nullptr));
    if (!thread) {
        LogPrintf(L"Could not create minidump thread\n");
        return MiniDumpResult::Failed;
    }
    if (WaitForSingleObject(thread.Get(), Crash.miniDumpWaitMs) == WAIT_TIMEOUT) {
        if (AbandonMiniDump(request))
            return MiniDumpResult::Written;
        LogPrintf(L"MiniDump thread did not finish within %u ms\n", Crash.miniDumpWaitMs);
        return MiniDumpResult::TimedOut;
    }
    if (request.state == kDumpFaulted) {
        *faultCode = request.faultCode;
        return MiniDumpResult::Faulted;
    }
    DWORD exitCode = 0;
    if (!GetExitCodeThread(thread.Get(), &exitCode) || exitCode != 0) {
        LogPrintf(L"MiniDump thread returned an error\n");
        return MiniDumpResult::Failed;
    }
    return MiniDumpResult::Written;
}

void EndFaultedMiniDumpThread(DWORD exceptionCode)
{
    const DWORD self = GetCurrentThreadId();
    const LONG used = DumpRequestsUsed < kDumpRequestSlots ? DumpRequestsUsed : kDumpRequestSlots;
    for (LONG slot = 0; slot < used; ++slot) {
        MiniDumpRequest& request = DumpRequests[slot];
        if (request.writerThread != self)
            continue;
        // The report waits for this thread: it learns why the dump is
        // missing instead of waiting out its time limit. A half-written
        // file is of no use to anyone reading the report.
        request.faultCode = exceptionCode;
        LONG state = InterlockedCompareExchange(&request.state, kDumpFaulted, kDumpWriting);
        if (state == kDumpPending)
            state = InterlockedCompareExchange(&request.state, kDumpFaulted, kDumpPending);
        // Closing also completes the deletion of a file the report moved
        // away when it stopped waiting.
        if (request.file && request.file != INVALID_HANDLE_VALUE)
            CloseHandle(request.file);
        if (state == kDumpWriting || state == kDumpPending) {
            DeleteFileW(request.path);
            CrashLogPrintf(L"MiniDump thread failed with %S\n", GetExceptionName(exceptionCode));
        }
        // Only this thread ends: no library detach code runs, as the writer
        // may have stopped inside any of them.
        TerminateThread(GetCurrentThread(), kMiniDumpFailed);
    }
}

