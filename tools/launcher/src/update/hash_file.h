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

// HashFile for many files in turn: the read buffers and events are made once
// and kept from file to file. One thread at a time.
class FileHasher {
  public:
    FileHasher();
    ~FileHasher();
    FileHasher(const FileHasher&) = delete;
    FileHasher& operator=(const FileHasher&) = delete;

    // As HashFile.
    std::wstring Hash(HANDLE file, const std::atomic<bool>* abortRequested = nullptr);
    // As Hash, for a file whose digest was taken ahead (not empty): the
    // same pause under "-force:slow" and the same answer to quitting.
    std::wstring HashedAhead(const std::wstring& digest, const std::atomic<bool>* abortRequested = nullptr);

  private:
    bool Prepare();

    bool slow_;
    unsigned char* block_ = nullptr;
    HANDLE events_[2];
};

// Opens path the way HashFile needs it (read, share read); INVALID_HANDLE_VALUE
// when it does not open.
HANDLE OpenFileForHash(const wchar_t* path);
