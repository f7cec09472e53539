#include "hash_file.h"

#include "command_line.h"
#include "log.h"
#include "md5.h"
#include "scoped_handles.h"

#include <cstdint>

namespace {

constexpr DWORD kChunk = 1024 * 1024;
constexpr int kMaxBuffers = 2;

struct ReadSlot {
    OVERLAPPED overlapped = {};
    HANDLE event = nullptr;
    DWORD expected = 0;
    DWORD completedAtOnce = 0; // bytes when ReadFile finished synchronously
    bool synchronous = false;
    bool pending = false; // issued and not yet consumed
};

// The reads of one file: the buffers and events are the hasher's, kept from
// file to file; every read still in flight is finished before the file is
// left.
class HashPipeline {
  public:
    HashPipeline(HANDLE file, unsigned char* block, const HANDLE* events, DWORD chunk, int buffers)
        : file_(file), block_(block), chunk_(chunk), buffers_(buffers)
    {
        for (int i = 0; i < kMaxBuffers; ++i)
            slots_[i].event = events[i];
    }

    ~HashPipeline()
    {
        // A read still in flight writes into the block: finish it first.
        for (int i = 0; i < buffers_; ++i) {
            if (slots_[i].pending && !slots_[i].synchronous) {
                CancelIoEx(file_, &slots_[i].overlapped);
                DWORD ignored = 0;
                GetOverlappedResult(file_, &slots_[i].overlapped, &ignored, TRUE);
            }
        }
    }

    HashPipeline(const HashPipeline&) = delete;
    HashPipeline& operator=(const HashPipeline&) = delete;

    unsigned char* Buffer(int index) { return block_ + static_cast<size_t>(chunk_) * index; }
    ReadSlot& Slot(int index) { return slots_[index]; }

  private:
    HANDLE file_;
    unsigned char* block_;
    DWORD chunk_;
    int buffers_;
    ReadSlot slots_[kMaxBuffers];
};

// Feeds the digest, in order, with the buffers that the read loop hands over.
//
// Threaded, the hashing runs on a thread of the process's pool beside the
// reads: Wine copies the data of an overlapped read of a disk file inside
// ReadFile itself, so one thread alone would read and hash by turns. The pool
// keeps its threads from file to file, which a thread of our own per file
// would not. Otherwise (one buffer only, or no pool work to be had) each
// buffer is hashed as it is handed over. The hand-over uses no kernel
// objects, so it costs next to nothing beside the reads.
class BufferHasher {
  public:
    BufferHasher(Md5Context& md5, bool threaded) : md5_(md5)
    {
        if (threaded) {
            work_ = CreateThreadpoolWork(WorkCallback, this, nullptr);
            if (work_)
                SubmitThreadpoolWork(work_);
        }
    }

    ~BufferHasher() { Finish(); }

    BufferHasher(const BufferHasher&) = delete;
    BufferHasher& operator=(const BufferHasher&) = delete;

    // Adds the bytes after those handed over before. They must stay untouched
    // until Hashed() counts them.
    void Hand(const unsigned char* data, DWORD bytes)
    {
        if (!work_) {
            MD5Update(md5_, data, bytes);
            ++handed_;
            ++hashed_;
            return;
        }
        AcquireSRWLockExclusive(&lock_);
        pieces_[handed_ % kMaxBuffers] = Piece{data, bytes};
        ++handed_;
        ReleaseSRWLockExclusive(&lock_);
        WakeConditionVariable(&handedChanged_);
    }

    // How many of the handed buffers have been hashed.
    uint64_t Hashed()
    {
        AcquireSRWLockShared(&lock_);
        uint64_t hashed = hashed_;
        ReleaseSRWLockShared(&lock_);
        return hashed;
    }

    // Waits until more than count buffers have been hashed, or all handed.
    void WaitForHashed(uint64_t count)
    {
        AcquireSRWLockExclusive(&lock_);
        while (hashed_ <= count && hashed_ < handed_)
            SleepConditionVariableSRW(&hashedChanged_, &lock_, INFINITE, 0);
        ReleaseSRWLockExclusive(&lock_);
    }

    // Hashes everything handed over and ends the pool work.
    void Finish()
    {
        if (!work_)
            return;
        AcquireSRWLockExclusive(&lock_);
        finishing_ = true;
        ReleaseSRWLockExclusive(&lock_);
        WakeConditionVariable(&handedChanged_);
        WaitForThreadpoolWorkCallbacks(work_, FALSE);
        CloseThreadpoolWork(work_);
        work_ = nullptr;
    }

  private:
    struct Piece {
        const unsigned char* data;
        DWORD bytes;
    };

    static void CALLBACK WorkCallback(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK)
    {
        static_cast<BufferHasher*>(context)->HashHanded();
    }

    void HashHanded()
    {
        for (;;) {
            AcquireSRWLockExclusive(&lock_);
            while (hashed_ == handed_ && !finishing_)
                SleepConditionVariableSRW(&handedChanged_, &lock_, INFINITE, 0);
            if (hashed_ == handed_) {
                ReleaseSRWLockExclusive(&lock_);
                return;
            }
            Piece piece = pieces_[hashed_ % kMaxBuffers];
            ReleaseSRWLockExclusive(&lock_);

            MD5Update(md5_, piece.data, piece.bytes);

            AcquireSRWLockExclusive(&lock_);
            ++hashed_;
            ReleaseSRWLockExclusive(&lock_);
            WakeConditionVariable(&hashedChanged_);
        }
    }

    Md5Context& md5_;
    PTP_WORK work_ = nullptr;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE handedChanged_ = CONDITION_VARIABLE_INIT; // or finishing_
    CONDITION_VARIABLE hashedChanged_ = CONDITION_VARIABLE_INIT;
    Piece pieces_[kMaxBuffers] = {};
    uint64_t handed_ = 0;
    uint64_t hashed_ = 0;
    bool finishing_ = false;
};

// Where a hash's lines go: to the log, or kept for a caller that logs them
// when the file's turn comes.
class HashNotes : public LogLineWriter {
  public:
    explicit HashNotes(std::wstring* kept) : kept_(kept) {}

    void Write(const wchar_t* text) override
    {
        if (kept_)
            kept_->append(text);
        else
            LogWrite(text);
    }

  private:
    std::wstring* kept_;
};

// Issues the read of slot index at offset; false when reading has to stop.
bool IssueRead(HANDLE file, HashPipeline& pipeline, int index, uint64_t offset, DWORD count, HashNotes& notes)
{
    ReadSlot& slot = pipeline.Slot(index);
    HANDLE event = slot.event;
    slot = ReadSlot();
    slot.event = event;
    slot.overlapped.Offset = static_cast<DWORD>(offset);
    slot.overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    slot.overlapped.hEvent = event;
    slot.expected = count;

    DWORD read = 0;
    if (ReadFile(file, pipeline.Buffer(index), count, &read, &slot.overlapped)) {
        if (read != count) {
            notes.Printf(L"ReadFile returned synchronously with %d bytes read (expected %d)\n", read, count);
            return false;
        }
        slot.synchronous = true;
        slot.completedAtOnce = read;
        slot.pending = true;
        return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        notes.Printf(L"ReadFile failed during hash (0x%08X)\n", error);
        return false;
    }
    slot.pending = true;
    return true;
}

// Waits for the read of slot index; gives its byte count, or false.
bool CompleteRead(HANDLE file, ReadSlot& slot, DWORD& bytes, HashNotes& notes)
{
    slot.pending = false;
    if (slot.synchronous) {
        bytes = slot.completedAtOnce;
        return true;
    }
    // A read that has already finished needs no wait: Wine finishes a read of
    // a disk file inside ReadFile yet reports it pending, and a wait costs a
    // round trip to its server. The event left set is reset when the next
    // read of this buffer begins.
    // Without an event GetOverlappedResult waits on the file handle.
    if (slot.event && !HasOverlappedIoCompleted(&slot.overlapped)) {
        DWORD wait = WaitForSingleObject(slot.event, INFINITE);
        if (wait != WAIT_OBJECT_0) {
            notes.Printf(L"WaitForSingleObject returned %d during hash (0x%08X)\n", wait, GetLastError());
            // Still in flight: leave it to the pipeline's clean-up.
            slot.pending = true;
            return false;
        }
    }
    if (!GetOverlappedResult(file, &slot.overlapped, &bytes, TRUE)) {
        notes.Printf(L"GetOverlappedResult failed during hash (0x%08X)\n", GetLastError());
        return false;
    }
    return true;
}

} // namespace

HANDLE OpenFileForHash(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

static_assert(FileHasher::WHOLE_READ_LIMIT == kChunk * kMaxBuffers, "a whole read fills the read buffers");

FileHasher::FileHasher()
{
    for (HANDLE& event : events_)
        event = nullptr;
}

FileHasher::~FileHasher()
{
    if (block_)
        VirtualFree(block_, 0, MEM_RELEASE);
    for (HANDLE event : events_) {
        if (event)
            CloseHandle(event);
    }
}

bool FileHasher::PrepareBlock()
{
    if (!block_)
        block_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(kChunk) * kMaxBuffers,
                                                          MEM_COMMIT | MEM_RESERVE | MEM_TOP_DOWN,
                                                          PAGE_READWRITE));
    return block_ != nullptr;
}

// The events are made only for the first file of more than one chunk: each
// costs Wine a round trip to its server, which a hasher of small files need
// not pay.
bool FileHasher::PrepareEvents()
{
    for (HANDLE& event : events_) {
        if (!event)
            event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    return events_[0] && events_[1];
}

std::wstring HashFile(HANDLE file, const std::atomic<bool>* abortRequested)
{
    if (HasOption(L"-force:slow"))
        Sleep(500);
    return FileHasher().Hash(file, abortRequested);
}

std::wstring FileHasher::HashWhole(HANDLE file, DWORD size)
{
    if (size == 0 || size > WHOLE_READ_LIMIT || !PrepareBlock())
        return std::wstring();
    DWORD read = 0;
    if (!ReadFile(file, block_, size, &read, nullptr) || read != size)
        return std::wstring();
    Md5Context md5;
    MD5Init(md5);
    MD5Update(md5, block_, size);
    return MD5FinalText(md5);
}

std::wstring FileHasher::Hash(HANDLE file, const std::atomic<bool>* abortRequested, std::wstring* kept)
{
    HashNotes notes(kept);
    Md5Context md5;
    MD5Init(md5);

    // Only the size is needed: asking for the whole file information would
    // also fetch the file's name, which costs Wine a round trip to its server.
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file, &length)) {
        notes.Printf(L"GetFileInformationByHandle failed for hash (0x%08X)\n", GetLastError());
        return std::wstring();
    }
    const uint64_t size = static_cast<uint64_t>(length.QuadPart);
    if (size == 0) {
        notes.Write(L"Could not hash 0-byte file\n");
        return std::wstring();
    }

    const DWORD chunk = size < kChunk ? static_cast<DWORD>(size) : kChunk;
    const int buffers = size > chunk ? 2 : 1;
    if (!PrepareBlock() || (buffers > 1 && !PrepareEvents())) {
        notes.Printf(L"Could not allocate hash buffers (0x%08X)\n", GetLastError());
        return std::wstring();
    }
    // A file of one chunk has one read in flight, which the file handle
    // itself signals: an event would cost two round trips to Wine's server
    // (reset and set) for each small file.
    const HANDLE none[kMaxBuffers] = {};
    HashPipeline pipeline(file, block_, buffers > 1 ? events_ : none, chunk, buffers);
    // Declared after the pipeline: it is done with the buffers before they go.
    BufferHasher hasher(md5, buffers > 1);

    uint64_t issued = 0;
    uint64_t consumed = 0;
    bool reading = true;
    bool aborted = false;
    for (;;) {
        // A large file takes long: quitting is answered between chunks.
        if (abortRequested && abortRequested->load()) {
            notes.Write(L"Hashing stopped: the update is ending\n");
            aborted = true;
            break;
        }
        // A buffer takes its next read once its last one has been hashed.
        while (reading && issued - consumed < static_cast<uint64_t>(buffers) && issued * chunk < size &&
               (issued < static_cast<uint64_t>(buffers) || hasher.Hashed() > issued - buffers)) {
            uint64_t offset = issued * chunk;
            DWORD count = static_cast<DWORD>(size - offset < chunk ? size - offset : chunk);
            if (!IssueRead(file, pipeline, static_cast<int>(issued % buffers), offset, count, notes)) {
                reading = false;
                break;
            }
            ++issued;
        }
        if (consumed < issued) {
            int index = static_cast<int>(consumed % buffers);
            ReadSlot& slot = pipeline.Slot(index);
            DWORD bytes = 0;
            if (!CompleteRead(file, slot, bytes, notes))
                break;
            if (bytes != slot.expected) {
                notes.Printf(L"GetOverlappedResult says %d bytes read (expected %d)\n", bytes, slot.expected);
                break;
            }
            hasher.Hand(pipeline.Buffer(index), bytes);
            ++consumed;
            if (consumed * chunk >= size)
                break;
            continue;
        }
        if (!reading || issued * chunk >= size)
            break;
        hasher.WaitForHashed(issued - buffers);
    }
    hasher.Finish();
    return aborted ? std::wstring() : MD5FinalText(md5);
}
