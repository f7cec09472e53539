#include "log.h"

#include "console_output.h"
#include "wideformat.h"

#include <cstdarg>
#include <ctime>
#include <cwchar>
#include <cwctype>

bool HeadlessMode = false;

namespace {

HANDLE LogFile = nullptr;
wchar_t LogPath[MAX_PATH] = {};

constexpr size_t kLogBufferBytes = 4096;
constexpr size_t kFormatChars = 1024;

// Writes one buffer; on failure tries the same buffer once more. Returns
// false when both attempts failed (the caller drops the rest of the text).
bool WriteBuffer(const unsigned char* bytes, DWORD count)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD written = 0;
        if (WriteFile(LogFile, bytes, count, &written, nullptr))
            return true;
        OutputDebugStringW(L"Log write failed\n");
    }
    return false;
}

// asctime layout with the day of month padded by a blank, whatever the
// runtime's own asctime does.
void FormatAsctime(const tm& t, wchar_t* out, size_t capacity)
{
    static const wchar_t* const days[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                            L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    int day = (t.tm_wday >= 0 && t.tm_wday < 7) ? t.tm_wday : 0;
    int month = (t.tm_mon >= 0 && t.tm_mon < 12) ? t.tm_mon : 0;
    if (LegacySnwprintf(out, capacity, L"%s %s %2d %02d:%02d:%02d %d", days[day], months[month],
                        t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900) < 0)
        out[0] = 0;
    out[capacity - 1] = 0;
}

// Formats into a buffer of kFormatChars characters; false when the
// formatting fails or the text needs more than kFormatChars - 1.
bool FormatLine(wchar_t* buffer, const wchar_t* format, va_list args)
{
    int count = LegacyVsnwprintf(buffer, kFormatChars - 1, format, args);
    if (count < 0)
        return false;
    buffer[count] = 0;
    return true;
}

} // namespace

bool LogOpen(const wchar_t* path, bool append)
{
    lstrcpynW(LogPath, path, MAX_PATH);
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (append)
        SetFilePointer(file, 0, nullptr, FILE_END);
    LogFile = file;
    return true;
}

const wchar_t* LogFilePath()
{
    return LogPath;
}

HANDLE LogFileHandle()
{
    return LogFile;
}

void LogWrite(const wchar_t* text)
{
    if (!text)
        return;
    OutputDebugStringW(text);
    if (HeadlessMode)
        WriteStandardOutput(text);
    if (!LogFile || !text[0])
        return;

    // Each byte goes into the buffer; a full buffer is written at once, so a
    // line feed's CR and LF may fall on either side of a buffer boundary.
    unsigned char buffer[kLogBufferBytes];
    size_t used = 0;
    bool failed = false;
    auto put = [&](unsigned char byte) {
        buffer[used++] = byte;
        if (used == kLogBufferBytes) {
            failed = !WriteBuffer(buffer, static_cast<DWORD>(used));
            used = 0;
        }
    };
    for (const wchar_t* p = text; *p && !failed; ++p) {
        if (*p == L'\r')
            continue;
        if (*p == L'\n') {
            put(0x0D);
            if (!failed)
                put(0x0A);
        } else {
            put(static_cast<unsigned char>(*p & 0xFF));
        }
    }
    if (used && !failed)
        WriteBuffer(buffer, static_cast<DWORD>(used));
}

void LogPrintf(const wchar_t* format, ...)
{
    wchar_t buffer[kFormatChars];
    va_list args;
    va_start(args, format);
    bool formatted = FormatLine(buffer, format, args);
    va_end(args);
    LogWrite(formatted ? buffer : format);
}

void LogLineWriter::Printf(const wchar_t* format, ...)
{
    wchar_t buffer[kFormatChars];
    va_list args;
    va_start(args, format);
    bool formatted = FormatLine(buffer, format, args);
    va_end(args);
    Write(formatted ? buffer : format);
}

void LogWriteHeader()
{
    time_t now = time(nullptr);
    tm local = {};
    tm utc = {};
    localtime_s(&local, &now);
    gmtime_s(&utc, &now);
    wchar_t localText[64];
    wchar_t utcText[64];
    FormatAsctime(local, localText, 64);
    FormatAsctime(utc, utcText, 64);
    LogPrintf(L"Current time: %s [UTC %s]\n", localText, utcText);
}

void LogClose()
{
    if (!LogFile)
        return;
    FlushFileBuffers(LogFile);
    CloseHandle(LogFile);
    LogFile = nullptr;
}

void LogDetach()
{
    LogFile = nullptr;
}

int ConsolePrintf(const wchar_t* format, ...)
{
    wchar_t buffer[kFormatChars];
    va_list args;
    va_start(args, format);
    bool formatted = FormatLine(buffer, format, args);
    va_end(args);
    if (!formatted || !WriteStandardOutput(buffer))
        return -1;
    return static_cast<int>(wcslen(buffer));
}

int FormatNarrow(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int count = LegacyVsnprintf(buffer, size, format, args);
    va_end(args);
    return count;
}
