// The crash server's answer to a report.
//
// Grammar: "SUSPECT:" + the name of software suspected of the crash; or a
// first line holding the bug number (shorter than 127 characters), optionally
// followed by line breaks and exactly "FIXED" for a known, fixed crash.
#pragma once

#include <string_view>

constexpr size_t BUG_NUMBER_SIZE = 128;
constexpr size_t SUSPECT_TEXT_SIZE = 2048;

struct ServerAnswer {
    char bugNumber[BUG_NUMBER_SIZE] = {};     // empty when none
    bool fixed = false;
    bool rejected = false;
    char suspectText[SUSPECT_TEXT_SIZE] = {}; // UTF-8, empty when none
};

// Sets in answer only what the text gives (the text ends at its first 0 byte
// or at its end).
void ParseServerAnswer(std::string_view text, ServerAnswer& answer);

// Whether a bug number may go into the issue tracker's address, which the
// shell opens: ASCII letters, digits and "-" only.
bool IsSafeBugNumber(const char* bugNumber);
