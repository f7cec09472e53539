// In-house extras of the report's Description: what the game's log says it
// did last.
#pragma once

#include <string>

// Reads folder\QX.log and gives "\n\rLast level loaded: <level>: <address>",
// "\n\rLast editor selection: <selection>" and "\n\rLast command executed:
// <command>" for the newest matching lines (each part only when known); ""
// when the log cannot be opened or holds none of them. The scan stops at the
// first line longer than 1023 characters.
std::string ExtractLogContext(const std::wstring& folder);
