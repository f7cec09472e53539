// Writing a buffer to a file whole, with the real reason when it cannot be.
#pragma once

#include <windows.h>

#include <cstddef>

// Writes count bytes to file (a handle opened for synchronous writes),
// going on where a write took fewer bytes than asked. Returns
// ERROR_SUCCESS, or why the bytes could not all be written: the system's
// error, read straight after the failed call; ERROR_DISK_FULL when the
// system takes no more bytes without naming an error (the volume is full).
// A failure never gives ERROR_SUCCESS.
DWORD WriteWhole(HANDLE file, const void* bytes, size_t count);
