#include "hash_file.h"

#include "command_line.h"
#include "log.h"
#include "md5.h"

#include <cstdint>

namespace {

constexpr DWORD kChunk = 256 * 1024;
constexpr int kMaxBuffers = 2;

struct ReadSlot {
    OVERLAPPED overlapped = {};
    HANDLE event = nullptr;
    DWORD expected = 0;
    DWORD completedAtOnce = 0; // bytes when ReadFile finished synchronously
    bool synchronous = false;
    bool pending = false; // issued and not yet consumed
};

// Owns the read buffers, the events and every read still in flight.
class HashPipeline {
  public:
    HashPipeline(HANDLE file, DWORD chunk, int buffers) : file_(file), chunk_(chunk), buffers_(buffers)
    {
        block_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(chunk) * buffers,
                                                          MEM_COMMIT | MEM_RESERVE | MEM_TOP_DOWN,
                                                          PAGE_READWRITE));
        for (int i = 0; i < kMaxBuffers; ++i)
            slots_[i].event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
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
        if (block_)
            VirtualFree(block_, 0, MEM_RELEASE);
        for (auto& slot : slots_) {
            if (slot.event)
                CloseHandle(slot.event);
        }
    }

    bool Ready() const { return block_ && slots_[0].event && slots_[1].event; }
    unsigned char* Buffer(int index) { return block_ + static_cast<size_t>(chunk_) * index; }
    ReadSlot& Slot(int index) { return slots_[index]; }

  private:
    HANDLE file_;
    DWORD chunk_;
    int buffers_;
    unsigned char* block_ = nullptr;
    ReadSlot slots_[kMaxBuffers];
};

// Issues the read of slot index at offset; false when reading has to stop.
bool IssueRead(HANDLE file, HashPipeline& pipeline, int index, uint64_t offset, DWORD count)
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
            LogPrintf(L"ReadFile returned synchronously with %d bytes read (expected %d)\n", read, count);
            return false;
        }
        slot.synchronous = true;
        slot.completedAtOnce = read;
        slot.pending = true;
        return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        LogPrintf(L"ReadFile failed during hash (0x%08X)\n", error);
        return false;
    }
    slot.pending = true;
    return true;
}

// Waits for the read of slot index; gives its byte count, or false.
bool CompleteRead(HANDLE file, ReadSlot& slot, DWORD& bytes)
{
    slot.pending = false;
    if (slot.synchronous) {
        bytes = slot.completedAtOnce;
        return true;
    }
    DWORD wait = WaitForSingleObject(slot.event, INFINITE);
    if (wait != WAIT_OBJECT_0) {
        LogPrintf(L"WaitForSingleObject returned %d during hash (0x%08X)\n", wait, GetLastError());
        // Still in flight: leave it to the pipeline's clean-up.
        slot.pending = true;
        return false;
    }
    if (!GetOverlappedResult(file, &slot.overlapped, &bytes, TRUE)) {
        LogPrintf(L"GetOverlappedResult failed during hash (0x%08X)\n", GetLastError());
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

std::wstring HashFile(HANDLE file)
{
    if (HasOption(L"-force:slow"))
        Sleep(500);

    Md5Context md5;
    MD5Init(md5);

    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
        LogPrintf(L"GetFileInformationByHandle failed for hash (0x%08X)\n", GetLastError());
        return std::wstring();
    }
    const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size == 0) {
        LogWrite(L"Could not hash 0-byte file\n");
        return std::wstring();
    }

    const DWORD chunk = size < kChunk ? static_cast<DWORD>(size) : kChunk;
    const int buffers = size > chunk ? 2 : 1;
    HashPipeline pipeline(file, chunk, buffers);
    if (!pipeline.Ready()) {
        LogPrintf(L"Could not allocate hash buffers (0x%08X)\n", GetLastError());
        return std::wstring();
    }

    uint64_t issued = 0;
    uint64_t consumed = 0;
    bool reading = true;
    for (;;) {
        while (reading && issued - consumed < static_cast<uint64_t>(buffers) && issued * chunk < size) {
            uint64_t offset = issued * chunk;
            DWORD count = static_cast<DWORD>(size - offset < chunk ? size - offset : chunk);
            if (!IssueRead(file, pipeline, static_cast<int>(issued % buffers), offset, count)) {
                reading = false;
                break;
            }
            ++issued;
        }
        if (consumed == issued)
            break;
        int index = static_cast<int>(consumed % buffers);
        ReadSlot& slot = pipeline.Slot(index);
        DWORD bytes = 0;
        if (!CompleteRead(file, slot, bytes))
            break;
        if (bytes != slot.expected) {
            LogPrintf(L"GetOverlappedResult says %d bytes read (expected %d)\n", bytes, slot.expected);
            break;
        }
        MD5Update(md5, pipeline.Buffer(index), bytes);
        ++consumed;
        if (consumed * chunk >= size)
            break;
    }
    return MD5FinalText(md5);
}
