// The bug number file that unattended in-house sends leave in the build
// tree's Temp folder ("crash1.bug", "crash2.bug", ...), for the tools that
// ran the game to pick up.
#pragma once

#include <string>

// The build tree's Temp folder (with a trailing "\") for an executable
// path: the path up to its first "\Code\" (or, when absent, "\Tools\")
// followed by "\Temp\"; "" when neither occurs.
std::wstring BugNumberFolder(const std::wstring& executablePath);

// Writes bugNumber (no line end) to the first of folder + "crash<N>.bug",
// N = 1, 2, ..., that does not exist yet. Returns the path written, or ""
// when a file could not be created for another reason (such as a missing
// folder) or written.
std::wstring WriteBugNumberFile(const std::wstring& folder, const char* bugNumber);
