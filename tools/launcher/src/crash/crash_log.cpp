// Log lines of the crash path. A report taken over from a stuck one must not
// wait on what the stuck thread may hold: LauncherLog's debugger output
// converts through the heap, so those lines go to the file alone.
#include "crash_state.h"
#include "log.h"
#include "wideformat.h"

#include <cstdarg>

namespace {

constexpr size_t kLogLineChars = 1024;

// Writes text to the open log file as LauncherLog stores it (low bytes,
// CR LF line ends) with nothing but WriteFile.
void WriteLogFileDirect(const wchar_t* text)
{
    HANDLE log = LogFileHandle();
    if (!log || log == INVALID_HANDLE_VALUE)
        return;
    char bytes[kLogLineChars * 2];
    DWORD used = 0;
    for (const wchar_t* p = text; *p && used + 2 <= sizeof bytes; ++p) {
        if (*p == L'\r')
            continue;
        if (*p == L'\n')
            bytes[used++] = '\r';
        bytes[used++] = static_cast<char>(*p & 0xFF);
    }
    DWORD written = 0;
    WriteFile(log, bytes, used, &written, nullptr);
}

} // namespace

void CrashLogPrintf(const wchar_t* format, ...)
{
    wchar_t line[kLogLineChars];
    va_list args;
    va_start(args, format);
    int count = LegacyVsnwprintf(line, kLogLineChars - 1, format, args);
    va_end(args);
    if (count < 0)
        return;
    line[count] = 0;
    if (Crash.reportTakenOver)
        WriteLogFileDirect(line);
    else
        LogWrite(line);
}
