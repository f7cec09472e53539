// The "Content-Range" answer of a resumed request.
#pragma once

#include <cstdint>

struct ContentRange {
    int64_t first = 0;
    int64_t last = 0;
    int64_t length = 0;
};

// Reads "bytes <first>-<last>/<length>" (blanks allowed where scanf allows
// them); false unless all three numbers are there.
bool ParseContentRange(const wchar_t* header, ContentRange& range);

// The answer continues a transfer that has received bytes exactly when it
// starts at that offset; the other two numbers are not compared.
bool IsUsableContentRange(const ContentRange& range, int64_t received);
