// One crash report: the CrashFolder with Description.txt, the log copy and
// the minidump, then FaultCourier. Runs in a process that may be badly
// damaged, so it works in fixed buffers and plain Win32 calls.
#include "errorhandler.h"

#include "app_folders.h"
#include "crash_minidump.h"
#include "crash_state.h"
#include "exit_codes.h"
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

// Creates "<local data>\Crashes\<local time>" into folder (MAX_PATH
// characters) and ends it with "/". False (logged) when no new folder could
// be made.
bool CreateCrashFolder(wchar_t* folder)
{
    CopyString(folder, MAX_PATH, GetLocalDataFolder());
    AppendString(folder, MAX_PATH, L"\\Crashes");
    if (!IsFolder(folder) && !CreateDirectoryW(folder, nullptr)) {
        CrashLogPrintf(L"Could not create crash root dir %s\n", folder);
        return false;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t name[32];
    FormatString(name, 32, L"\\%04d.%02d.%02d.%02d.%02d.%02d", now.wYear, now.wMonth, now.wDay, now.wHour,
                 now.wMinute, now.wSecond);
    AppendString(folder, MAX_PATH, name);
    if (IsFolder(folder)) {
        CrashLogPrintf(L"Crash report dir %s already exists!\n", folder);
        return false;
    }
    if (!CreateDirectoryW(folder, nullptr)) {
        CrashLogPrintf(L"Could not create crash report dir %s\n", folder);
        return false;
    }
    AppendString(folder, MAX_PATH, L"/");
    return true;
}

void CrashFilePath(wchar_t* path, const wchar_t* folder, const wchar_t* name)
{
    CopyString(path, MAX_PATH, folder);
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

void WriteBugDescription(const wchar_t* folder, const char* header)
{
    wchar_t path[MAX_PATH];
    CrashFilePath(path, folder, L"Description.txt");
    UniqueHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        CrashLogPrintf(L"Could not open bug description file %s\n", path);
        return;
    }
    WriteWithCrLf(file.Get(), header);
    WriteWithCrLf(file.Get(), "\n");
}

void CopyLauncherLog(const wchar_t* folder)
{
    wchar_t source[MAX_PATH];
    CopyString(source, MAX_PATH, GetLocalDataFolder());
    AppendString(source, MAX_PATH, L"\\Launcher.log");
    wchar_t destination[MAX_PATH];
    CrashFilePath(destination, folder, L"Launcher.log");
    BOOL copied = CopyFileW(source, destination, FALSE);
    if (!copied && GetLastError() == ERROR_ACCESS_DENIED) {
        ClearFileAttributes(destination);
        copied = CopyFileW(source, destination, FALSE);
    }
    if (copied)
        ClearFileAttributes(destination);
}

void SpawnUploader(const wchar_t* folder)
{
    wchar_t commandLine[kUploaderCommandChars];
    if (!BuildUploaderCommandLine(commandLine, kUploaderCommandChars, GetToolsFolder(), folder)) {
        CrashLogPrintf(L"Could not spawn uploader\n");
        return;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, ABOVE_NORMAL_PRIORITY_CLASS, nullptr,
                        GetToolsFolder(), &startup, &process)) {
        CrashLogPrintf(L"Could not spawn uploader\n");
        return;
    }
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
}

void AppendDumpWriterFault(char* header, size_t* position, DWORD faultCode)
{
    AppendFormat(header, kHeaderBytes, position, "Minidump: not written, the dump writer failed (%s)\n",
                 GetExceptionName(faultCode));
}

// Asked before each step of a report: false when another thread has taken
// it over, after this one has waited for that report to end the process.
bool KeepsReport()
{
    if (OwnsCrashReport())
        return true;
    YieldTakenOverReport();
    return false;
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
    size_t position = strlen(header);
    if (takenOver) {
        AppendFormat(header, kHeaderBytes, &position,
                     "Crash report: an earlier report did not finish within %u seconds\n",
                     static_cast<unsigned>(Crash.reportTakeOverMs / 1000));
        if (Crash.dumpWriterFault)
            AppendDumpWriterFault(header, &position, Crash.dumpWriterFault);
    } else {
        LoadDebugHelp();
    }
    // This report's own folder. A thread that finds the report stuck takes
    // it over and builds a folder of its own; should this thread come back
    // after all, it stops before its next step, leaving the report (and
    // FaultCourier's start) to that thread.
    wchar_t folder[MAX_PATH] = {};
    if (!KeepsReport())
        return;
    if (CreateCrashFolder(folder)) {
        if (!KeepsReport())
            return;
        WriteBugDescription(folder, header);
        if (!KeepsReport())
            return;
        CopyLauncherLog(folder);
        if (!KeepsReport())
            return;
        // Whoever reads the report learns why it has no dump.
        DWORD faultCode = 0;
        const MiniDumpResult dump =
            takenOver ? MiniDumpResult::Failed : WriteMiniDump(folder, pointers, &faultCode);
        if (!KeepsReport())
            return;
        if (takenOver) {
            // A dump thread needs the loader lock to start, which the stuck
            // report may hold; it would only add the dump's time limit.
            CrashLogPrintf(L"No minidump after a report that did not finish\n");
        } else if (dump == MiniDumpResult::TimedOut) {
            AppendFormat(header, kHeaderBytes, &position,
                         "Minidump: not written, the dump thread did not finish within %u seconds\n",
                         static_cast<unsigned>(Crash.miniDumpWaitMs / 1000));
            WriteBugDescription(folder, header);
        } else if (dump == MiniDumpResult::Faulted) {
            AppendDumpWriterFault(header, &position, faultCode);
            WriteBugDescription(folder, header);
        }
        if (!takenOver)
            fflush(nullptr);
        Sleep(1000);
        if (!KeepsReport())
            return;
        SpawnUploader(folder);
    }
    if (terminate)
        TerminateProcess(GetCurrentProcess(), EXIT_CRASHED);
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
    if (Crash.uncaughtException[0])
        AppendFormat(buffer, kHeaderBytes, &position, "Uncaught exception: %s\n", Crash.uncaughtException);
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
