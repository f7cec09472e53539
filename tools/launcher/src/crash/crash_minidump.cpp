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
// How often the report looks whether a writer that has not ended faulted.
constexpr DWORD kDumpPollMs = 50;

// How far the dump thread got; the report gives a late one up.
enum MiniDumpState : LONG {
    kDumpPending,   // the thread has not created the file yet
    kDumpWriting,   // the file is open
    kDumpAbandoned, // the report stopped waiting before the file was there
    kDumpWritten,
    kDumpFailedState,
    kDumpFaulted, // the writer itself crashed (it does not end at once)
};

struct MiniDumpRequest {
    DWORD threadId;
    EXCEPTION_POINTERS* pointers;
    wchar_t path[MAX_PATH];
    volatile LONG state;
    volatile DWORD writerThread; // the dump thread's id while it writes, else 0
    HANDLE file;                 // QX.dmp while the thread writes it, else null
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
        request->file = nullptr;
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
    request->file = nullptr;
    file.Reset();
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
bool AbandonMiniDump(MiniDumpRequest& request, const wchar_t* folder)
{
    const LONG state = InterlockedCompareExchange(&request.state, kDumpAbandoned, kDumpPending);
    if (state == kDumpWritten)
        return true;
    if (state != kDumpWriting)
        return false;
    wchar_t away[MAX_PATH];
    CopyString(away, MAX_PATH, folder);
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
MiniDumpResult WriteMiniDump(const wchar_t* folder, EXCEPTION_POINTERS* pointers, DWORD* faultCode)
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
    request.faultCode = 0;
    CopyString(request.path, MAX_PATH, folder);
    AppendString(request.path, MAX_PATH, L"QX.dmp");
    UniqueHandle thread(
        CreateThread(nullptr, kMiniDumpThreadStack, MiniDumpThreadProc, &request, 0, nullptr));
    if (!thread) {
        LogPrintf(L"Could not create minidump thread\n");
        return MiniDumpResult::Failed;
    }
    // A writer that faulted says so in its state and stays (see
    // EndFaultedMiniDumpThread), so the wait ends on that state too.
    DWORD waited = 0;
    while (request.state != kDumpFaulted && WaitForSingleObject(thread.Get(), kDumpPollMs) == WAIT_TIMEOUT) {
        waited += kDumpPollMs;
        if (waited >= Crash.miniDumpWaitMs && request.state != kDumpFaulted) {
            if (AbandonMiniDump(request, folder))
                return MiniDumpResult::Written;
            LogPrintf(L"MiniDump thread did not finish within %u ms\n", Crash.miniDumpWaitMs);
            return MiniDumpResult::TimedOut;
        }
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

bool GiveUpFaultedMiniDump(DWORD exceptionCode)
{
    const DWORD self = GetCurrentThreadId();
    const LONG used = DumpRequestsUsed < kDumpRequestSlots ? DumpRequestsUsed : kDumpRequestSlots;
    for (LONG slot = 0; slot < used; ++slot) {
        MiniDumpRequest& request = DumpRequests[slot];
        if (request.writerThread != self)
            continue;
        // The report learns from the state why the dump is missing instead
        // of waiting out its time limit. Before that, both records are
        // cleared (thread ids are given again: a later thread with this id
        // must not be taken for this writer, nor this handle value, by then
        // perhaps another object's, closed), the file is closed, which also
        // completes the deletion of one that the report moved away when it
        // stopped waiting, and a half-written file is deleted.
        HANDLE file = request.file;
        request.file = nullptr;
        request.writerThread = 0;
        if (file && file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        const LONG seen = request.state;
        if (seen == kDumpWriting || seen == kDumpPending) {
            DeleteFileW(request.path);
            CrashLogPrintf(L"MiniDump thread failed with %S\n", GetExceptionName(exceptionCode));
        }
        request.faultCode = exceptionCode;
        if (InterlockedCompareExchange(&request.state, kDumpFaulted, kDumpWriting) == kDumpPending)
            InterlockedCompareExchange(&request.state, kDumpFaulted, kDumpPending);
        return true;
    }
    return false;
}
