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

#include <share.h>

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

struct MiniDumpRequest {
    DWORD threadId;
    EXCEPTION_POINTERS* pointers;
    wchar_t path[MAX_PATH];
};

// Static, not on the reporting thread's stack: a dump thread that missed its
// time limit may still read it after the report has returned.
MiniDumpRequest DumpRequest;

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
    FormatString(name, 32, L"\\%04d.%02d.%02d.%02d.%02d.%02d", now.wYear, now.wMonth, now.wDay,
                 now.wHour, now.wMinute, now.wSecond);
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

void WriteBugDescription(const char* header)
{
    wchar_t path[MAX_PATH];
    CrashFilePath(path, L"Description.txt");
    // Text mode: every line feed is stored as CR LF.
    FILE* file = _wfsopen(path, L"wt", _SH_DENYNO);
    if (!file) {
        LogPrintf(L"Could not open bug description file %s\n", path);
        return;
    }
    fputs(header, file);
    fputs("\n", file);
    fclose(file);
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

DWORD WINAPI MiniDumpThreadProc(void* parameter)
{
    const auto* request = static_cast<const MiniDumpRequest*>(parameter);
    const wchar_t* path = request->path;
    UniqueHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LogPrintf(L"Could not create minidump file %s\n", path);
        return kMiniDumpFailed;
    }
    MINIDUMP_EXCEPTION_INFORMATION exception = {request->threadId, request->pointers, FALSE};
    BOOL written = Crash.miniDumpWriteDump(Crash.process, Crash.processId, file.Get(), MiniDumpNormal,
                                           request->pointers ? &exception : nullptr, nullptr, nullptr);
    file.Reset();
    if (!written) {
        LogPrintf(L"Could not write minidump to %s\n", path);
        return kMiniDumpFailed;
    }
    return 0;
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
    DumpRequest.threadId = Crash.threadId;
    DumpRequest.pointers = pointers;
    CrashFilePath(DumpRequest.path, L"QX.dmp");
    UniqueHandle thread(
        CreateThread(nullptr, kMiniDumpThreadStack, MiniDumpThreadProc, &DumpRequest, 0, nullptr));
    if (!thread) {
        LogPrintf(L"Could not create minidump thread\n");
        return MiniDumpResult::Failed;
    }
    if (WaitForSingleObject(thread.Get(), Crash.miniDumpWaitMs) == WAIT_TIMEOUT) {
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
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, ABOVE_NORMAL_PRIORITY_CLASS,
                        nullptr, GetToolsFolder(), &startup, &process)) {
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
    char header[kHeaderBytes] = {};
    BuildCrashHeader(header, reason);
    LoadDebugHelp();
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
        fflush(nullptr);
        Sleep(1000);
        SpawnUploader();
    }
    if (terminate)
        TerminateProcess(GetCurrentProcess(), 1);
}

void BuildCrashHeader(char* buffer, const char* reason)
{
    size_t position = 0;
    wchar_t module[MAX_PATH] = {};
    std::wstring version;
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
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
