#include "file_look_ahead.h"

#include <process.h>

#include <algorithm>

namespace {

constexpr unsigned kThreadStack = 64 * 1024;
// Opening a file is mostly a wait for Wine's server, so even a machine of
// one or two processors gains from a few threads; more than eight would
// only add hashing threads' buffers, not speed.
constexpr int kMinThreads = 4;
constexpr int kMaxThreads = 8;

// A file to hash that should not fit one whole read goes straight to the
// hasher's pipeline.
bool IsLarge(const LookAheadRequest& request)
{
    return request.hash && request.sizeHint > static_cast<int64_t>(FileHasher::WHOLE_READ_LIMIT);
}

} // namespace

int FileLookAhead::PoolSize()
{
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return std::clamp(static_cast<int>(info.dwNumberOfProcessors), kMinThreads, kMaxThreads);
}

FileLookAhead::FileLookAhead(const std::vector<LookAheadRequest>& requests,
                             const std::atomic<bool>* abortRequested, int threads)
    : requests_(requests), abortRequested_(abortRequested), done_(requests.size()), ready_(requests.size(), 0)
{
    // The large files first, largest first: the time of the whole is then
    // about that of the largest file or of an equal share, whichever is
    // longer. The rest in the walk's order, which then follows close behind.
    order_.reserve(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        if (IsLarge(requests[i]))
            order_.push_back(i);
    }
    std::stable_sort(order_.begin(), order_.end(),
                     [&](size_t a, size_t b) { return requests[a].sizeHint > requests[b].sizeHint; });
    for (size_t i = 0; i < requests.size(); ++i) {
        if (!IsLarge(requests[i]))
            order_.push_back(i);
    }

    if (threads <= 0)
        threads = PoolSize();
    size_t count = requests.size() > 1 ? std::min(static_cast<size_t>(threads), requests.size()) : 0;
    for (size_t i = 0; i < count; ++i) {
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, kThreadStack, ThreadProc, this,
                                                                STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (thread)
            threads_.push_back(thread);
    }
    if (threads_.empty())
        ownHasher_ = std::make_unique<FileHasher>();
}

FileLookAhead::~FileLookAhead()
{
    // A thread finishes the file in its hands: the walk leaves early only
    // when the abort flag is set, which the hashes watch between chunks.
    AcquireSRWLockExclusive(&lock_);
    stopping_ = true;
    ReleaseSRWLockExclusive(&lock_);
    for (HANDLE thread : threads_) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

LookAheadFile FileLookAhead::Examine(size_t index, FileHasher& hasher) const
{
    LookAheadFile result;
    const LookAheadRequest& request = requests_[index];
    const wchar_t* path = request.path->c_str();
    if (!request.hash) {
        HANDLE file = OpenFileForHash(path);
        result.opened = file != INVALID_HANDLE_VALUE;
        if (result.opened)
            CloseHandle(file);
        return result;
    }
    if (!IsLarge(request)) {
        // A plain read of a handle opened without overlapping is the one
        // read that Wine serves without a round trip to its server; a file
        // that cannot be read whole this way is opened again for the pipeline.
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return result;
        LARGE_INTEGER size;
        if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= FileHasher::WHOLE_READ_LIMIT)
            result.digest = hasher.HashWhole(file, static_cast<DWORD>(size.QuadPart));
        CloseHandle(file);
        if (!result.digest.empty()) {
            result.opened = true;
            return result;
        }
    }
    HANDLE file = OpenFileForHash(path);
    if (file == INVALID_HANDLE_VALUE)
        return result;
    result.opened = true;
    result.digest = hasher.Hash(file, abortRequested_, &result.notes);
    CloseHandle(file);
    return result;
}

bool FileLookAhead::Take(size_t index, LookAheadFile& file)
{
    if (threads_.empty()) {
        if (Aborted())
            return false;
        file = Examine(index, *ownHasher_);
        return true;
    }
    AcquireSRWLockExclusive(&lock_);
    while (!ready_[index] && !aborted_) {
        waitingFor_ = index;
        SleepConditionVariableSRW(&resultReady_, &lock_, INFINITE, 0);
    }
    waitingFor_ = SIZE_MAX;
    bool ready = ready_[index] != 0;
    if (ready) {
        file = std::move(done_[index]);
        done_[index] = LookAheadFile();
    }
    ReleaseSRWLockExclusive(&lock_);
    return ready;
}

bool FileLookAhead::WaitReady(size_t index, DWORD ms)
{
    if (threads_.empty())
        return true; // Take does the work itself, with no one to wait for
    AcquireSRWLockExclusive(&lock_);
    const ULONGLONG until = GetTickCount64() + ms;
    while (!ready_[index] && !aborted_) {
        ULONGLONG now = GetTickCount64();
        if (now >= until)
            break;
        waitingFor_ = index;
        SleepConditionVariableSRW(&resultReady_, &lock_, static_cast<DWORD>(until - now), 0);
    }
    waitingFor_ = SIZE_MAX;
    bool ready = ready_[index] || aborted_;
    ReleaseSRWLockExclusive(&lock_);
    return ready;
}

unsigned __stdcall FileLookAhead::ThreadProc(void* self)
{
    static_cast<FileLookAhead*>(self)->Run();
    return 0;
}

void FileLookAhead::Run()
{
    FileHasher hasher;
    AcquireSRWLockExclusive(&lock_);
    while (!stopping_ && next_ < order_.size()) {
        if (Aborted()) {
            aborted_ = true;
            ReleaseSRWLockExclusive(&lock_);
            WakeAllConditionVariable(&resultReady_);
            return;
        }
        size_t index = order_[next_++];
        ReleaseSRWLockExclusive(&lock_);
        LookAheadFile result = Examine(index, hasher);
        AcquireSRWLockExclusive(&lock_);
        done_[index] = std::move(result);
        ready_[index] = 1;
        // Only the walk waits, and only for one file.
        if (waitingFor_ == index)
            WakeAllConditionVariable(&resultReady_);
    }
    ReleaseSRWLockExclusive(&lock_);
}
