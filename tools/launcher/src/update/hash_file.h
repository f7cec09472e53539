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
// hashing stops before the next chunk and gives the empty text. With
// "-force:slow" in the command line it pauses 500 ms first.
std::wstring HashFile(HANDLE file, const std::atomic<bool>* abortRequested = nullptr);

// HashFile for many files in turn: the read buffers and events are made once
// and kept from file to file. One thread at a time; each thread that hashes
// has its own, so the read buffers in use are one set per hashing thread.
class FileHasher {
  public:
    // The size of the read buffers together: a file up to this size can be
    // hashed from one plain read (HashWhole).
    static constexpr DWORD WHOLE_READ_LIMIT = 2048 * 1024;

    FileHasher();
    ~FileHasher();
    FileHasher(const FileHasher&) = delete;
    FileHasher& operator=(const FileHasher&) = delete;

    // As HashFile, without the pause of "-force:slow" (the caller's). With
    // kept, the lines it would log go to *kept instead, for a caller that
    // logs them when the file's turn comes.
    std::wstring Hash(HANDLE file, const std::atomic<bool>* abortRequested = nullptr,
                      std::wstring* kept = nullptr);
    // The MD5 text of a file of size bytes (1 to WHOLE_READ_LIMIT), read at
    // once from its current position through a handle opened for plain
    // reads (not overlapped); empty when it cannot be read whole. Logs
    // nothing.
    std::wstring HashWhole(HANDLE file, DWORD size);

  private:
    bool PrepareBlock();
    bool PrepareEvents();

    unsigned char* block_ = nullptr;
    HANDLE events_[2];
};

// Opens path the way HashFile needs it (read, share read); INVALID_HANDLE_VALUE
// when it does not open.
HANDLE OpenFileForHash(const wchar_t* path);
