// One crash report: the CrashFolder with Description.txt, the log copy and
// the minidump, then FaultCourier. Runs in a process that may be badly
// damaged, so it works in fixed buffers and plain Win32 calls.
#include "errorhandler.h"

#include "app_folders.h"
#include "crash_state.h"
#include "log.h"
#include "scoped_handles.h"
#include "strings.h"
#include "wideformat.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr size_t kHeaderBytes = 8192;
constexpr size_t kUploaderCommandChars = 780;
constexpr unsigned kMiniDumpThreadStack = 16384;
constexpr DWORD kMiniDumpFailed = 0xFFFFFFFF;

// How far the dump thread got; the report gives a late one up.
enum MiniDumpState : LONG {
    kDumpPending,   // the thread has not created the file yet
    kDumpWriting,   // the file is open
    kDumpAbandoned, // the report stopped waiting before the file was there
    kDumpWritten,
    kDumpFailedState,
};

struct MiniDumpRequest {
    DWORD threadId;
    EXCEPTION_POINTERS* pointers;
    wchar_t path[MAX_PATH];
    volatile LONG state;
};

// Static, not on the reporting thread's stack, and one per report: a dump
// thread that missed its time limit may still read its request after the
// report has returned, also while a later report of the run writes its own.
// A run has at most three reports (an assertion, a crash, a crash taken over).
constexpr LONG kDumpRequestSlots = 4;
MiniDumpRequest DumpRequests[kDumpRequestSlots];
volatile LONG DumpRequestsUsed = 0;

enum class MiniDumpResult { Written, Failed, TimedOut };

bool IsFolder(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Loads the debug-help library from the tools folder once per process; a
// failed load is tried again by the next report.
void LoadDebugHelp()
{
    if (Crash.dbgHelp)
        return;
    wchar_t path[MAX_PATH];
    CopyString(path, MAX_PATH, GetToolsFolder());
    AppendString(path, MAX_PATH, L"Windows\\x64\\dbghelp.dll");
    Crash.dbgHelp = LoadLibraryW(path);
    if (!Crash.dbgHelp) {
        LogPrintf(L"Failed to load dbghelp.dll from %s (0x%08X)\n", path, GetLastError());
        return;
    }
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(Crash.dbgHelp, loaded, MAX_PATH);
    if (_wcsnicmp(loaded, path, MAX_PATH) != 0)
        LogPrintf(L"Loaded unexpected version of dbghelp.dll from %s\n", loaded);
    Crash.miniDumpWriteDump = reinterpret_cast<MiniDumpWriteDumpFunction>(
        reinterpret_cast<void*>(GetProcAddress(Crash.dbgHelp, "MiniDumpWriteDump")));
}

// Creates "<local data>\Crashes\<local time>" into Crash.crashFolder and
// ends it with "/". False (logged) when no new folder could be made.
bool CreateCrashFolder()
{
    wchar_t* folder = Crash.crashFolder;
    CopyString(folder, MAX_PATH, GetLocalDataFolder());
    AppendString(folder, MAX_PATH, L"\\Crashes");
    if (!IsFolder(folder) && !CreateDirectoryW(folder, nullptr)) {
        LogPrintf(L"Could not create crash root dir %s\n", folder);
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t name[32];
    FormatString(name, 32, L"\\%04d.%02d.%02d.%02d.%02d.%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond);
    AppendString(folder, MAX_PATH, name);
    if (IsFolder(folder)) {
        LogPrintf(L"Crash report dir %s already exists!\n", folder);
        return false;
    }
    if (!CreateDirectoryW(folder, nullptr)) {
        LogPrintf(L"Could not create crash report dir %s\n", folder);
        return false;
    }
    AppendString(folder, MAX_PATH, L"/");
    return true;
}

void CrashFilePath(wchar_t* path, const wchar_t* name)
{
    CopyString(path, MAX_PATH, Crash.crashFolder);
    AppendString(path, MAX_PATH, name);
}

// Writes text with every line feed stored as CR LF, as a text-mode stream
// would; written with plain file calls, since a stuck report may hold the
// runtime's stream lock.
bool WriteWithCrLf(HANDLE file, const char* text)
{
    char chunk[512];
    size_t used = 0;
    auto flush = [&] {
        DWORD written = 0;
        bool ok = used == 0 ||
                  (WriteFile(file, chunk, static_cast<DWORD>(used), &written, nullptr) && written == used);
        used = 0;
        return ok;
    };
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            chunk[used++] = '\r';
        chunk[used++] = *p;
        if (used >= sizeof chunk - 1 && !flush())
            return false;
    }
    return flush();
}

void WriteBugDescription(const char* header)
{
    wchar_t path[MAX_PATH];
    CrashFilePath(path, L"Description.txt");
    UniqueHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogPrintf(L"Could not open bug description file %s\n", path);
        return;
    }
    WriteWithCrLf(file.Get(), header);
    WriteWithCrLf(file.Get(), "\n");
}

void CopyLauncherLog()
{
    wchar_t source[MAX_PATH];
    CopyString(source, MAX_PATH, GetLocalDataFolder());
    AppendString(source, MAX_PATH, L"\\Launcher.log");
    wchar_t destination[MAX_PATH];
    CrashFilePath(destination, L"Launcher.log");
    BOOL copied = CopyFileW(source, destination, FALSE);
    if (!copied && GetLastError() == ERROR_ACCESS_DENIED) {
        ClearFileAttributes(destination);
        copied = CopyFileW(source, destination, FALSE);
    }
    if (copied)
        ClearFileAttributes(destination);
}

DWORD FinishMiniDump(MiniDumpRequest* request, LONG state)
{
    InterlockedExchange(&request->state, state);
    return state == kDumpWritten ? 0 : kMiniDumpFailed;
}

DWORD WINAPI MiniDumpThreadProc(void* parameter)
{
    auto* request = static_cast<MiniDumpRequest*>(parameter);
    const wchar_t* path = request->path;
    if (request->state != kDumpPending)
        return kMiniDumpFailed; // started after the report gave it up
    // Shared for deleting only: a report that stops waiting moves the
    // unfinished file out of the CrashFolder (AbandonMiniDump).
    UniqueHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
    if (!written) {
        LogPrintf(L"Could not write minidump to %s\n", path);
        return FinishMiniDump(request, kDumpFailedState);
    }
    return FinishMiniDump(request, kDumpWritten);
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

// The dump is written from a separate thread while the reporting thread
// waits, so the dump shows the reporting thread in a known state. The wait
// is bounded: the dump thread can block on a lock (the heap's, the loader's)
// that the crashed thread holds, and the report must go out all the same.
MiniDumpResult WriteMiniDump(EXCEPTION_POINTERS* pointers)
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
    CrashFilePath(request.path, L"QX.dmp");
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
    DWORD exitCode = 0;
    if (!GetExitCodeThread(thread.Get(), &exitCode) || exitCode != 0) {
        LogPrintf(L"MiniDump thread returned an error\n");
        return MiniDumpResult::Failed;
    }
    return MiniDumpResult::Written;
}

void SpawnUploader()
{
    wchar_t commandLine[kUploaderCommandChars];
    if (!BuildUploaderCommandLine(commandLine, kUploaderCommandChars, GetToolsFolder(), Crash.crashFolder)) {
        LogPrintf(L"Could not spawn uploader\n");
        return;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, ABOVE_NORMAL_PRIORITY_CLASS, nullptr,
                        GetToolsFolder(), &startup, &process)) {
        LogPrintf(L"Could not spawn uploader\n");
        return;
    }
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
}

} // namespace

void WriteCrashReport(const char* reason, EXCEPTION_POINTERS* pointers, bool terminate)
{
    AssertHook = AssertHookNoOp;
    // A report taken over from a stuck one keeps away from the loader and
    // the runtime's streams, which the stuck thread may hold.
    const bool takenOver = Crash.reportTakenOver;
    char header[kHeaderBytes] = {};
    BuildCrashHeader(header, reason, !takenOver);
    if (takenOver) {
        size_t position = strlen(header);
        AppendFormat(header, kHeaderBytes, &position,
                     "Crash report: an earlier report did not finish within %u seconds\n",
                     static_cast<unsigned>(Crash.reportTakeOverMs / 1000));
    } else {
        LoadDebugHelp();
    }
    if (CreateCrashFolder()) {
        WriteBugDescription(header);
        CopyLauncherLog();
        if (WriteMiniDump(pointers) == MiniDumpResult::TimedOut) {
            // Whoever reads the report learns why it has no dump.
            size_t position = strlen(header);
            AppendFormat(header, kHeaderBytes, &position,
                         "Minidump: not written, the dump thread did not finish within %u seconds\n",
                         static_cast<unsigned>(Crash.miniDumpWaitMs / 1000));
            WriteBugDescription(header);
        }
        if (!takenOver)
            fflush(nullptr);
        Sleep(1000);
        SpawnUploader();
    }
    if (terminate)
        TerminateProcess(GetCurrentProcess(), 1);
}

void BuildCrashHeader(char* buffer, const char* reason, bool withBuildLabel)
{
    size_t position = 0;
    wchar_t module[MAX_PATH] = {};
    std::wstring version;
    DWORD length = withBuildLabel ? GetModuleFileNameW(nullptr, module, MAX_PATH) : 0;
    if (length > 0 && length < MAX_PATH && GetProductVersion(module, version))
        AppendFormat(buffer, kHeaderBytes, &position,
                     "Build label: VantorelPublic_Launcher %S Retail Windows x64\n", version.c_str());
    AppendFormat(buffer, kHeaderBytes, &position, "Crash type: Crash\n");
    AppendFormat(buffer, kHeaderBytes, &position, "Crash reason: %s\n", reason ? reason : "");
    AppendFormat(buffer, kHeaderBytes, &position, "Crashing thread id: %x\n",
                 static_cast<unsigned>(Crash.threadId));
    if (Crash.lastWindowsError[0])
        AppendFormat(buffer, kHeaderBytes, &position, "Last windows error: %s\n", Crash.lastWindowsError);
    if (Crash.lastStdError[0])
        AppendFormat(buffer, kHeaderBytes, &position, "Last standard library error: %s\n",
                     Crash.lastStdError);
}

bool ClearFileAttributes(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD cleared = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    if (cleared == attributes)
        return true;
    return SetFileAttributesW(path, cleared ? cleared : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool BuildUploaderCommandLine(wchar_t* buffer, size_t capacity, const wchar_t* toolsFolder,
                              const wchar_t* crashFolder)
{
    // Both paths are quoted: a tools folder below a user name with a blank
    // would otherwise split FaultCourier's own path into two arguments.
    size_t folderLength = wcslen(crashFolder);
    if (folderLength > 0 && (crashFolder[folderLength - 1] == L'/' || crashFolder[folderLength - 1] == L'\\'))
        --folderLength;
    int written = LegacySnwprintf(buffer, capacity, L"\"%sFaultCourier.exe\" \"%.*s\"", toolsFolder,
                                  static_cast<int>(folderLength), crashFolder);
    if (written < 0 || static_cast<size_t>(written) >= capacity) {
        if (capacity)
            buffer[0] = 0;
        return false;
    }
    return true;
}

int AppendFormat(char* buffer, size_t capacity, size_t* position, const char* format, ...)
{
    if (!format || !format[0] || *position + 2 > capacity)
        return 0;
    va_list args;
    va_start(args, format);
    const size_t room = capacity - *position - 1;
    int length = LegacyVsnprintf(buffer + *position, room, format, args);
    va_end(args);
    if (length < 0) {
        buffer[capacity - 1] = 0;
        *position = capacity - 1;
        return -1;
    }
    *position += static_cast<size_t>(length);
    buffer[*position] = 0;
    return length;
}

int AppendFormatWide(wchar_t* buffer, size_t capacity, size_t* position, const wchar_t* format, ...)
{
    if (!format || !format[0] || *position + 2 > capacity)
        return 0;
    va_list args;
    va_start(args, format);
    size_t length = FormatStringV(buffer + *position, capacity - *position, format, args);
    va_end(args);
    *position += length;
    return static_cast<int>(length);
}
