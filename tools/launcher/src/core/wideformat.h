// Bounded printf with the legacy Windows rules, for the whole project.
//
// In wide formats %s takes a wide string and %S a narrow one; a bounded
// format that does not fit returns a negative number. MinGW's C++ mode maps
// the standard names to its C99 printf, so every caller goes through these.
#pragma once

#include <cstdarg>
#include <cstddef>

// Wide: writes at most count characters; returns the number written, or a
// negative number when the text does not fit (then the buffer may hold a
// partial, unterminated text) or the format fails.
int LegacyVsnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);
int LegacySnwprintf(wchar_t* buffer, size_t count, const wchar_t* format, ...);

// The length the wide text would have, or a negative number when the format
// fails.
int LegacyCountWide(const wchar_t* format, va_list args);

// Narrow counterparts with the same rules.
int LegacyVsnprintf(char* buffer, size_t count, const char* format, va_list args);
int LegacySnprintf(char* buffer, size_t count, const char* format, ...);
