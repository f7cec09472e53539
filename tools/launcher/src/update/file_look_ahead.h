// Opens and hashes the local files that the comparison walks through, ahead
// of it, on a small pool of threads sized to the processors, several files
// side by side. The walk still takes the files one by one in its own order
// and decides and logs everything itself: what a thread would have logged
// while hashing is kept with the file's result for the walk to log when the
// file's turn comes, so the log reads as if the files had been hashed one
// after the other.
//
// Each thread has one set of read buffers (a FileHasher): a small file is
// read whole into it through one plain read, which Wine serves without a
// round trip to its server, and a large one is hashed through the hasher's
// pipeline of overlapped reads. Opening and closing a file are round trips
// too; spread over the threads they overlap the hashing instead of adding
// to it. The threads start once, with the look-ahead, and take files until
// none is left; the large files are taken first, largest first, so that the
// longest hash does not begin last, and the others in the walk's order.
//
// What a digest stands for is the same as HashFile's: the MD5 of the file's
// bytes as they were read.
#pragma once

#include "hash_file.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct LookAheadRequest {
    const std::wstring* path;
    bool hash;        // else the file is only opened, to know that it is there
    int64_t sizeHint; // the size the file should have (the manifest's), for the order of work
};

struct LookAheadFile {
    bool opened = false; // the file opened for reading
    std::wstring digest; // its MD5 text; empty when not hashed or no digest could be had
    std::wstring notes;  // the lines its hash would have logged, in their order
};

class FileLookAhead {
  public:
    // requests (and their paths) and abortRequested must outlive the object.
    // threads: 0 sizes the pool to the processors.
    FileLookAhead(const std::vector<LookAheadRequest>& requests, const std::atomic<bool>* abortRequested,
                  int threads = 0);
    ~FileLookAhead();
    FileLookAhead(const FileLookAhead&) = delete;
    FileLookAhead& operator=(const FileLookAhead&) = delete;

    // The result of requests[index], once its file has been dealt with;
    // indexes are taken in increasing order, each at most once. False when
    // the abort flag was seen before the result was ready.
    bool Take(size_t index, LookAheadFile& file);
    // Waits up to ms for the result of requests[index]; true when Take(index)
    // would now give it without waiting (or the abort flag was seen).
    bool WaitReady(size_t index, DWORD ms);

    // The pool's size for this machine: the logical processors, at least 4
    // (opening is mostly waiting for Wine's server), at most 8.
    static int PoolSize();

  private:
    static unsigned __stdcall ThreadProc(void* self);
    void Run();
    LookAheadFile Examine(size_t index, FileHasher& hasher) const;
    bool Aborted() const { return abortRequested_ && abortRequested_->load(); }

    const std::vector<LookAheadRequest>& requests_;
    const std::atomic<bool>* abortRequested_;
    std::vector<size_t> order_;       // the order in which the threads take the files
    size_t next_ = 0;                 // the next position in order_ a thread takes
    std::vector<LookAheadFile> done_; // by index, until taken
    std::vector<char> ready_;         // by index: done_ holds its result
    size_t waitingFor_ = SIZE_MAX;    // the index the walk waits for, if any
    bool stopping_ = false;           // the look-ahead is going: take no more files
    bool aborted_ = false;            // a thread saw the abort flag and stopped
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE resultReady_ = CONDITION_VARIABLE_INIT;
    std::vector<HANDLE> threads_;           // none: Take does the work itself
    std::unique_ptr<FileHasher> ownHasher_; // Take's, without threads
};
