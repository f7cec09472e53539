#include "file_look_ahead.h"

#include "hash_file.h"
#include "md5.h"

#include <process.h>

namespace {

// Files open at once ahead of the one being hashed.
constexpr size_t kAhead = 32;
// Files up to this size are read whole, in one read, into a buffer of each
// thread's; larger ones are left to the hash's pipeline of two reads.
constexpr DWORD kWholeLimit = 1024 * 1024;
constexpr unsigned kThreadStack = 64 * 1024;
// Threads that open and read: the round trips of one wait while another's
// are served.
constexpr int kThreads = 4;

// The MD5 text of the whole file of size bytes, read at once from a handle
// opened for plain reads; empty on any failure or a short read.
std::wstring DigestWhole(HANDLE file, DWORD size, std::vector<unsigned char>& buffer)
{
    buffer.resize(size);
    DWORD read = 0;
    if (!ReadFile(file, buffer.data(), size, &read, nullptr) || read != size)
        return std::wstring();
    Md5Context md5;
    MD5Init(md5);
    MD5Update(md5, buffer.data(), size);
    return MD5FinalText(md5);
}

void CloseOpened(LookAheadFile& opened)
{
    if (opened.file != INVALID_HANDLE_VALUE)
        CloseHandle(opened.file);
    opened.file = INVALID_HANDLE_VALUE;
}

} // namespace

FileLookAhead::FileLookAhead(const std::vector<LookAheadRequest>& requests)
    : requests_(requests), opened_(requests.size()), ready_(requests.size(), 0)
{
    for (int i = 0; i < kThreads && requests.size() > 1; ++i) {
        HANDLE thread = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, kThreadStack, ThreadProc, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (thread)
            threads_.push_back(thread);
    }
}

FileLookAhead::~FileLookAhead()
{
    AcquireSRWLockExclusive(&lock_);
    stopping_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
    for (HANDLE thread : threads_) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    for (LookAheadFile& opened : opened_)
        CloseOpened(opened);
    for (HANDLE file : toClose_)
        CloseHandle(file);
}

LookAheadFile FileLookAhead::Open(size_t index, std::vector<unsigned char>& buffer) const
{
    LookAheadFile opened;
    const LookAheadRequest& request = requests_[index];
    if (!request.hash) {
        opened.file = OpenFileForHash(request.path->c_str());
        return opened;
    }
    // A plain read of a handle opened without overlapping is the one read
    // that Wine serves without a round trip to its server; a file that is not
    // read whole here is opened again the way the hash's pipeline needs it.
    opened.file = CreateFileW(request.path->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (opened.file == INVALID_HANDLE_VALUE)
        return opened;
    LARGE_INTEGER size;
    if (GetFileSizeEx(opened.file, &size) && size.QuadPart > 0 && size.QuadPart <= kWholeLimit)
        opened.digest = DigestWhole(opened.file, static_cast<DWORD>(size.QuadPart), buffer);
    if (opened.digest.empty()) {
        CloseHandle(opened.file);
        opened.file = OpenFileForHash(request.path->c_str());
    }
    return opened;
}

LookAheadFile FileLookAhead::Take(size_t index)
{
    if (threads_.empty()) {
        std::vector<unsigned char> buffer;
        return Open(index, buffer);
    }
    AcquireSRWLockExclusive(&lock_);
    // Indexes skipped are never taken: the thread may open past them.
    if (taken_ < index) {
        taken_ = index;
        WakeAllConditionVariable(&changed_);
    }
    while (!ready_[index])
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    LookAheadFile opened = std::move(opened_[index]);
    opened_[index] = LookAheadFile();
    taken_ = index + 1;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
    return opened;
}

void FileLookAhead::Release(HANDLE file)
{
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (threads_.empty()) {
        CloseHandle(file);
        return;
    }
    AcquireSRWLockExclusive(&lock_);
    toClose_.push_back(file);
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
}

unsigned __stdcall FileLookAhead::ThreadProc(void* self)
{
    static_cast<FileLookAhead*>(self)->Run();
    return 0;
}

void FileLookAhead::Run()
{
    std::vector<HANDLE> closing;
    std::vector<unsigned char> buffer;
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
        while (!stopping_ && toClose_.empty() && (next_ == requests_.size() || next_ - taken_ >= kAhead))
            SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        if (stopping_)
            break;
        if (!toClose_.empty()) {
            closing.swap(toClose_);
            ReleaseSRWLockExclusive(&lock_);
            for (HANDLE file : closing)
                CloseHandle(file);
            closing.clear();
            AcquireSRWLockExclusive(&lock_);
            continue;
        }
        size_t index = next_++;
        ReleaseSRWLockExclusive(&lock_);
        LookAheadFile opened = Open(index, buffer);
        AcquireSRWLockExclusive(&lock_);
        opened_[index] = std::move(opened);
        ready_[index] = 1;
        WakeAllConditionVariable(&changed_);
    }
    ReleaseSRWLockExclusive(&lock_);
}
