// Opens the files that the local comparison is about to hash, a few ahead of
// it, on threads of their own, reads and hashes the small ones whole, and
// closes the ones it is done with. Opening, reading and closing a file are each a round
// trip to Wine's server, costing together more than hashing a small file; on
// other threads they overlap the hashing instead of adding to it. The
// comparison still takes the files one by one, in order, and decides and
// logs everything itself: a small file that could not be read whole here is
// simply hashed from its handle as any other.
//
// What a small file's digest stands for is the same as HashFile's: the MD5
// of the file's bytes as they were read.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct LookAheadRequest {
    const std::wstring* path;
    bool hash; // else the file is only opened
};

struct LookAheadFile {
    HANDLE file = INVALID_HANDLE_VALUE; // as OpenFileForHash gives it
    std::wstring digest;                // of the whole file, when read whole
};

class FileLookAhead {
  public:
    // requests (and their paths) must outlive the object.
    explicit FileLookAhead(const std::vector<LookAheadRequest>& requests);
    ~FileLookAhead();
    FileLookAhead(const FileLookAhead&) = delete;
    FileLookAhead& operator=(const FileLookAhead&) = delete;

    // The file of requests[index]; indexes are taken in increasing order, each
    // at most once. The caller hands the handle back with Release.
    LookAheadFile Take(size_t index);
    // Closes a handle given by Take (on the thread, without waiting).
    void Release(HANDLE file);

  private:
    static unsigned __stdcall ThreadProc(void* self);
    void Run();
    LookAheadFile Open(size_t index, std::vector<unsigned char>& buffer) const;

    const std::vector<LookAheadRequest>& requests_;
    std::vector<LookAheadFile> opened_; // by index, until taken
    std::vector<char> ready_;           // by index: opened_ holds its file
    std::vector<HANDLE> toClose_;
    size_t next_ = 0;  // the next index a thread opens
    size_t taken_ = 0; // no index below this is taken any more
    bool stopping_ = false;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::vector<HANDLE> threads_; // none: Take opens and Release closes at once
};
