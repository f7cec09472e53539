// FaultCourier's failure lines.
//
// Every failure goes to standard output as a line (or text) that begins
// "Error: "; the user never sees them. Tests replace the sink to read them.
#pragma once

// printf-style; the text is written exactly as formatted (callers add the
// line feed where they want one).
void PrintError(const char* format, ...);

// Replaces where the texts go; null restores standard output.
using ErrorSink = void (*)(const char* text);
void SetErrorSink(ErrorSink sink);
