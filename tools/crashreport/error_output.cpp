#include "error_output.h"

#include <cstdarg>
#include <cstdio>

namespace {

ErrorSink CurrentSink = nullptr;

} // namespace

void PrintError(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (length < 0)
        return;
    if (CurrentSink) {
        CurrentSink(text);
        return;
    }
    fputs(text, stdout);
    // A GUI program's stdout is a pipe or file when anyone reads it at all;
    // flush so the line is there even if the process is ended from outside.
    fflush(stdout);
}

void SetErrorSink(ErrorSink sink)
{
    CurrentSink = sink;
}
