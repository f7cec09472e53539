// MD5 of a local file, read with up to two overlapped reads in flight so that
// reading and hashing overlap.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

// The file's MD5 as 32 upper-case hexadecimal characters, or the empty text
// when the file cannot be measured or is empty. The handle must be open for
// reading with FILE_FLAG_OVERLAPPED and FILE_FLAG_SEQUENTIAL_SCAN. A read
// that fails part way gives the digest of the bytes read before it (which
// then matches no manifest entry). Once abortRequested (when given) is set,
// hashing stops before the next chunk and gives the empty text.
std::wstring HashFile(HANDLE file, const std::atomic<bool>* abortRequested = nullptr);

// Opens path the way HashFile needs it (read, share read); INVALID_HANDLE_VALUE
// when it does not open.
HANDLE OpenFileForHash(const wchar_t* path);
