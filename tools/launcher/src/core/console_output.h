// The console side of a headless run: every text the log prints in headless
// mode goes out through the process's standard output handle, never through
// a runtime stream (a GUI program's streams may be bound to nothing).
#pragma once

// Writes text to the standard output handle: through the console when the
// handle is one, otherwise (a file or pipe) as UTF-8 with CR LF line ends.
// False when there is no standard output or a write fails. Any thread may
// call it; nothing is allocated.
bool WriteStandardOutput(const wchar_t* text);
