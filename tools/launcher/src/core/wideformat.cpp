#include "wideformat.h"

#include <stdio.h>
#include <wchar.h>

// _vsnwprintf and _vsnprintf are the runtime's legacy formatters: %s follows
// the character width of the function, %S the other width, and a bounded
// call that does not fit returns -1. MinGW's C++ mode routes only the
// standard names to its own C99 formatter, so these keep the legacy rules.

int LegacyVsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args)
{
    return _vsnwprintf(buffer, count, format, args);
}

int LegacySnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = _vsnwprintf(buffer, count, format, args);
    va_end(args);
    return result;
}

int LegacyCountWide(const wchar_t* format, va_list args)
{
    return _vscwprintf(format, args);
}

int LegacyVsnprintf(char* buffer, size_t count, const char* format, va_list args)
{
    return _vsnprintf(buffer, count, format, args);
}

int LegacySnprintf(char* buffer, size_t count, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = _vsnprintf(buffer, count, format, args);
    va_end(args);
    return result;
}
