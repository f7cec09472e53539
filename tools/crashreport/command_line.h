// FaultCourier's command line: the crash folder in double quotes, then
// optionally "/UNATTENDED" (exact, case-sensitive).
#pragma once

#include <string>

constexpr size_t FOLDER_ARGUMENT_SIZE = 1024; // characters, terminator included
constexpr size_t OPTION_ARGUMENT_SIZE = 512;

enum class CommandLineStatus {
    OK,
    NO_FOLDER, // empty, no leading double quote, or nothing between the quotes
    TOO_LONG,  // the folder or the option does not fit its buffer
};

struct CommandLine {
    std::wstring folder; // with every "/" turned into "\"
    bool unattended = false;
};

// Reads `"folder"` and the option: the first white-space-delimited token
// after the closing quote. A folder without its closing quote runs to the
// end of the text (and no option follows).
CommandLineStatus ParseCommandLine(const wchar_t* text, CommandLine& result);
