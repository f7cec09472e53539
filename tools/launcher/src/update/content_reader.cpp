#include "content_reader.h"

#include <process.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// How often a waiting caller looks at the abort flag.
constexpr DWORD kAbortPollMs = 100;
// How long Finish awaits a running call before leaving it to the reader: the
// last query of a body that has been read whole returns at once.
constexpr DWORD kFinishWaitMs = 100;
constexpr unsigned kReaderStack = 0x10000;
// The ring of bytes between the reader and its caller.
constexpr uint32_t kRingSize = 1u << 18;

// Reads of what WinINet holds (under Wine at most its 8 KiB buffer) cost
// several times more a byte than reads of 32 KiB. So while the bytes come so
// fast that a read of kLargeRead ends far within the stall time, the reader
// asks for that much at once: a small read that brought kFastBytes within
// kFastSmallReadUs starts such reads, and one that takes longer than
// kFastLargeReadUs ends them. Should a line slow down that much in the middle
// of a large read, that read may outlast the stall time: its bytes are then
// asked for again, those before it are kept.
constexpr DWORD kLargeRead = 32768;
constexpr DWORD kFastBytes = 4096;
constexpr int64_t kFastSmallReadUs = 2000;
constexpr int64_t kFastLargeReadUs = 50000;

int64_t NowUs()
{
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency;
}

DWORD LastErrorOfFailure()
{
    DWORD error = GetLastError();
    return error ? error : ERROR_INTERNET_INTERNAL_ERROR;
}

} // namespace

// What the caller and the reader thread share, under lock. The last of the
// two to let go frees it.
struct ContentReader::Shared {
    enum Task { IDLE, SEND, STREAM };

    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE toReader = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE toCaller = CONDITION_VARIABLE_INIT;
    Task task = IDLE;
    bool quit = false; // the caller has let go: end once idle
    bool stop = false; // the caller is done with the body
    SharedInternetHandle request;
    std::wstring headers;
    bool sendDone = false;
    BOOL sent = FALSE;
    DWORD sendError = 0;
    bool streamStarted = false;
    bool bodyEnded = false;
    DWORD bodyError = 0; // 0: the body ended cleanly
    // Bytes [taken, stored) of the ring are the caller's to take; the rest
    // is the reader's to fill. Each side touches its own stretch unlocked.
    uint64_t stored = 0;
    uint64_t taken = 0;
    unsigned char* ring = new (std::nothrow) unsigned char[kRingSize];

    Shared() = default;
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;
    ~Shared() { delete[] ring; }

    static unsigned __stdcall Thread(void* argument);
    // Both run with the lock held and let go of it around each call.
    void SendRequest();
    void StreamBody();
};

unsigned __stdcall ContentReader::Shared::Thread(void* argument)
{
    auto* handed = static_cast<std::shared_ptr<Shared>*>(argument);
    std::shared_ptr<Shared> self = std::move(*handed);
    delete handed;
    AcquireSRWLockExclusive(&self->lock);
    for (;;) {
        if (self->task == SEND)
            self->SendRequest();
        else if (self->task == STREAM)
            self->StreamBody();
        else if (self->quit)
            break;
        else
            SleepConditionVariableSRW(&self->toReader, &self->lock, INFINITE, 0);
    }
    // No call runs on the request any more.
    SharedInternetHandle request = std::move(self->request);
    ReleaseSRWLockExclusive(&self->lock);
    return 0;
}

void ContentReader::Shared::SendRequest()
{
    HINTERNET handle = request.Get();
    const wchar_t* extra = headers.empty() ? nullptr : headers.c_str();
    DWORD extraLength = headers.empty() ? 0 : static_cast<DWORD>(-1);
    ReleaseSRWLockExclusive(&lock);
    BOOL ok = HttpSendRequestW(handle, extra, extraLength, nullptr, 0);
    DWORD error = ok ? 0 : LastErrorOfFailure();
    AcquireSRWLockExclusive(&lock);
    sent = ok;
    sendError = error;
    sendDone = true;
    task = IDLE;
    WakeConditionVariable(&toCaller);
}

void ContentReader::Shared::StreamBody()
{
    HINTERNET handle = request.Get();
    DWORD ready = 0;   // bytes WinINet is known to hold
    bool fast = false; // the bytes come fast enough for large reads
    while (!stop && !quit) {
        uint64_t used = stored - taken;
        if (used == kRingSize) {
            SleepConditionVariableSRW(&toReader, &lock, INFINITE, 0);
            continue;
        }
        uint64_t offset = stored; // of the next byte in the body
        uint32_t at = static_cast<uint32_t>(offset % kRingSize);
        DWORD room = static_cast<DWORD>(std::min<uint64_t>(kRingSize - used, kRingSize - at));
        ReleaseSRWLockExclusive(&lock);
        DWORD error = 0;
        DWORD count = 0;
        bool ended = false;
        int64_t began = NowUs();
        if (fast) {
            // Large reads end where whole reads from the body's start would,
            // so a body held just past such a point is taken up to it. One
            // that comes back short has met the end of the body; the small
            // read after it ends the body.
            DWORD asked = std::min(kLargeRead - static_cast<DWORD>(offset % kLargeRead), room);
            if (!InternetReadFile(handle, ring + at, asked, &count)) {
                error = LastErrorOfFailure();
                count = 0;
            } else if (count == 0) {
                ended = true;
            }
            ready = 0;
            fast = count == asked && NowUs() - began <= kFastLargeReadUs;
        } else if (ready == 0 && !InternetQueryDataAvailable(handle, &ready, 0, 0)) {
            // Otherwise no more is read than WinINet holds. Nothing held
            // means the end of the body: the read of one byte then gives 0 at
            // once, and hands the connection back for the next request.
            error = LastErrorOfFailure();
            ready = 0;
        } else if (!InternetReadFile(handle, ring + at, ready ? std::min(ready, room) : 1, &count)) {
            error = LastErrorOfFailure();
            count = 0;
        } else if (count == 0) {
            ended = true;
        } else {
            ready -= std::min(count, ready);
            fast = ready == 0 && count >= kFastBytes && NowUs() - began <= kFastSmallReadUs;
        }
        AcquireSRWLockExclusive(&lock);
        stored += count;
        if (error || ended) {
            bodyEnded = true;
            bodyError = error;
        }
        WakeConditionVariable(&toCaller);
        if (bodyEnded)
            break;
    }
    task = IDLE;
    WakeConditionVariable(&toCaller);
}

ContentReader::~ContentReader()
{
    Abandon();
}

void ContentReader::Abandon()
{
    if (shared_) {
        AcquireSRWLockExclusive(&shared_->lock);
        shared_->quit = true;
        shared_->stop = true;
        WakeConditionVariable(&shared_->toReader);
        ReleaseSRWLockExclusive(&shared_->lock);
    }
    shared_.reset();
    started_ = false;
}

bool ContentReader::Start(DWORD* error)
{
    if (started_)
        return true;
    if (!shared_->ring) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    auto* handed = new std::shared_ptr<Shared>(shared_);
    HANDLE thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, kReaderStack, Shared::Thread, handed, 0, nullptr));
    if (!thread) {
        DWORD cause = GetLastError();
        *error = cause ? cause : ERROR_NOT_ENOUGH_MEMORY;
        delete handed;
        return false;
    }
    CloseHandle(thread);
    started_ = true;
    return true;
}

void ContentReader::Begin(const SharedInternetHandle& request)
{
    if (shared_) {
        // Busy only when the last request was not finished: leave it.
        AcquireSRWLockExclusive(&shared_->lock);
        bool busy = shared_->task != Shared::IDLE;
        ReleaseSRWLockExclusive(&shared_->lock);
        if (busy)
            Abandon();
    }
    if (!shared_)
        shared_ = std::make_shared<Shared>();
    AcquireSRWLockExclusive(&shared_->lock);
    shared_->request = request;
    shared_->sendDone = false;
    shared_->streamStarted = false;
    shared_->stop = false;
    shared_->bodyEnded = false;
    shared_->bodyError = 0;
    shared_->stored = shared_->taken = 0;
    ReleaseSRWLockExclusive(&shared_->lock);
}

bool ContentReader::Send(const std::wstring& headers, const std::atomic<bool>* abortRequested)
{
    if (abortRequested && abortRequested->load()) {
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
        return false;
    }
    DWORD error = ERROR_INVALID_HANDLE;
    if (!shared_ || !Start(&error)) {
        SetLastError(error);
        return false;
    }
    Shared& s = *shared_;
    AcquireSRWLockExclusive(&s.lock);
    s.headers = headers;
    s.sendDone = false;
    s.task = Shared::SEND;
    WakeConditionVariable(&s.toReader);
    while (!s.sendDone) {
        if (abortRequested && abortRequested->load()) {
            ReleaseSRWLockExclusive(&s.lock);
            Abandon();
            SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
            return false;
        }
        SleepConditionVariableSRW(&s.toCaller, &s.lock, kAbortPollMs, 0);
    }
    BOOL sent = s.sent;
    error = s.sendError;
    ReleaseSRWLockExclusive(&s.lock);
    SetLastError(error);
    return sent != FALSE;
}

bool ContentReader::Read(void* buffer, uint32_t size, uint32_t* read, DWORD* error, DWORD stallMs,
                         const std::atomic<bool>* abortRequested)
{
    *read = 0;
    *error = ERROR_INVALID_HANDLE;
    if (!shared_ || !Start(error))
        return false;
    *error = 0;
    Shared& s = *shared_;
    AcquireSRWLockExclusive(&s.lock);
    if (!s.streamStarted) {
        s.streamStarted = true;
        s.task = Shared::STREAM;
        WakeConditionVariable(&s.toReader);
    }
    DWORD began = GetTickCount();
    while (s.stored == s.taken && !s.bodyEnded) {
        DWORD waited = GetTickCount() - began;
        if ((abortRequested && abortRequested->load()) || waited >= stallMs) {
            ReleaseSRWLockExclusive(&s.lock);
            *error = ERROR_INTERNET_TIMEOUT;
            return false;
        }
        SleepConditionVariableSRW(&s.toCaller, &s.lock, std::min(kAbortPollMs, stallMs - waited), 0);
    }
    if (s.stored == s.taken) {
        *error = s.bodyError;
        ReleaseSRWLockExclusive(&s.lock);
        return *error == 0;
    }
    uint32_t at = static_cast<uint32_t>(s.taken % kRingSize);
    uint32_t count = static_cast<uint32_t>(
        std::min<uint64_t>(std::min<uint64_t>(size, s.stored - s.taken), kRingSize - at));
    ReleaseSRWLockExclusive(&s.lock);
    memcpy(buffer, s.ring + at, count);
    AcquireSRWLockExclusive(&s.lock);
    if (s.stored - s.taken == kRingSize)
        WakeConditionVariable(&s.toReader);
    s.taken += count;
    ReleaseSRWLockExclusive(&s.lock);
    *read = count;
    return true;
}

void ContentReader::Finish()
{
    if (!shared_)
        return;
    Shared& s = *shared_;
    AcquireSRWLockExclusive(&s.lock);
    s.stop = true;
    WakeConditionVariable(&s.toReader);
    DWORD began = GetTickCount();
    while (s.task != Shared::IDLE) {
        DWORD waited = GetTickCount() - began;
        if (waited >= kFinishWaitMs) {
            ReleaseSRWLockExclusive(&s.lock);
            Abandon(); // the reader lets go of the request after its call
            return;
        }
        SleepConditionVariableSRW(&s.toCaller, &s.lock, kFinishWaitMs - waited, 0);
    }
    SharedInternetHandle request = std::move(s.request);
    ReleaseSRWLockExclusive(&s.lock);
}
