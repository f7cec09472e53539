#include "console_output.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cwchar>

namespace {

constexpr size_t CHUNK_CHARS = 512;

bool WriteAll(HANDLE output, const char* bytes, DWORD count)
{
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(output, bytes, count, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

// A file or pipe gets the text converted chunk by chunk on the stack; a
// surrogate pair is never split between two chunks.
bool WriteAsUtf8(HANDLE output, const wchar_t* text)
{
    wchar_t wide[CHUNK_CHARS * 2];
    char narrow[CHUNK_CHARS * 2 * 3];
    const wchar_t* p = text;
    while (*p) {
        size_t used = 0;
        for (size_t taken = 0; *p && taken < CHUNK_CHARS; ++taken, ++p) {
            if (*p == L'\r')
                continue;
            if (IS_HIGH_SURROGATE(*p) && taken + 1 == CHUNK_CHARS && IS_LOW_SURROGATE(p[1]))
                break;
            if (*p == L'\n')
                wide[used++] = L'\r';
            wide[used++] = *p;
        }
        if (used == 0)
            continue;
        int count = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(used), narrow,
                                        static_cast<int>(sizeof(narrow)), nullptr, nullptr);
        if (count <= 0 || !WriteAll(output, narrow, static_cast<DWORD>(count)))
            return false;
    }
    return true;
}

bool WriteToConsole(HANDLE output, const wchar_t* text)
{
    size_t length = wcslen(text);
    while (length > 0) {
        DWORD chunk = length > CHUNK_CHARS ? static_cast<DWORD>(CHUNK_CHARS) : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteConsoleW(output, text, chunk, &written, nullptr) || written == 0)
            return false;
        text += written;
        length -= written;
    }
    return true;
}

// Whether the handle is a console's. Asking costs Wine a round trip to its
// server, once per log line; the answer is kept for the last handle asked
// about, its low bit (free in every handle) telling whether it is a console.
bool IsConsoleHandle(HANDLE output)
{
    static std::atomic<uintptr_t> known{0};
    const uintptr_t value = reinterpret_cast<uintptr_t>(output);
    uintptr_t cached = known.load(std::memory_order_relaxed);
    if (cached && (cached & ~uintptr_t(1)) == value)
        return (cached & 1) != 0;
    DWORD mode = 0;
    bool console = GetConsoleMode(output, &mode) != FALSE;
    known.store(value | (console ? 1 : 0), std::memory_order_relaxed);
    return console;
}

} // namespace

bool WriteStandardOutput(const wchar_t* text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!output || output == INVALID_HANDLE_VALUE || !text)
        return false;
    if (IsConsoleHandle(output))
        return WriteToConsole(output, text);
    return WriteAsUtf8(output, text);
}
