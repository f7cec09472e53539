#include "public_cache.h"

#include "binaries_step.h"
#include "clusters.h"
#include "install_purge.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "md5.h"
#include "scoped_handles.h"
#include "step_error.h"
#include "whole_write.h"

namespace {

constexpr DWORD kChunk = 262144;

// Two reads of the source in flight, each chunk written to the target and
// hashed as soon as it completes.
class OverlappedCopy {
  public:
    OverlappedCopy(HANDLE source, int64_t size) : source_(source), size_(size)
    {
        chunk_ = size < kChunk ? static_cast<DWORD>(size) : kChunk;
        buffers_ = size > chunk_ ? 2 : 1;
        block_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(chunk_) * buffers_,
                                                          MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN,
                                                          PAGE_READWRITE));
        for (int i = 0; i < 2; ++i)
            events_[i].Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    }
    ~OverlappedCopy()
    {
        // A read still in flight must end before its buffer goes.
        for (int64_t k = consumed_; k < issued_; ++k) {
            CancelIo(source_);
            DWORD bytes = 0;
            GetOverlappedResult(source_, &overlapped_[k % buffers_], &bytes, TRUE);
        }
        if (block_)
            VirtualFree(block_, 0, MEM_RELEASE);
    }
    bool Ready() const { return block_ && events_[0] && events_[1]; }

    // Copies; copied() tells how far it came.
    bool Run(ReqBinaries& step, HANDLE target, const std::wstring& localPath, Md5Context& md5);
    int64_t copied() const { return copied_; }

  private:
    DWORD LengthOf(int64_t k) const
    {
        int64_t end = (k + 1) * chunk_ < size_ ? (k + 1) * chunk_ : size_;
        return static_cast<DWORD>(end - k * chunk_);
    }
    bool Issue();
    bool Complete(DWORD& length);

    HANDLE source_;
    int64_t size_;
    DWORD chunk_ = 0;
    int buffers_ = 1;
    unsigned char* block_ = nullptr;
    UniqueHandle events_[2];
    OVERLAPPED overlapped_[2] = {};
    bool immediate_[2] = {};
    DWORD immediateLength_[2] = {};
    int64_t issued_ = 0;
    int64_t consumed_ = 0;
    int64_t copied_ = 0;
};

bool OverlappedCopy::Issue()
{
    int slot = static_cast<int>(issued_ % buffers_);
    int64_t offset = issued_ * chunk_;
    OVERLAPPED& o = overlapped_[slot];
    o = OVERLAPPED{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    o.hEvent = events_[slot].Get();
    DWORD expected = LengthOf(issued_);
    DWORD read = 0;
    if (ReadFile(source_, block_ + static_cast<size_t>(slot) * chunk_, expected, &read, &o)) {
        if (read != expected) {
            LogPrintf(L"ReadFile returned synchronously with %d bytes read (expected %d)\n", read, expected);
            return false;
        }
        immediate_[slot] = true;
        immediateLength_[slot] = read;
    } else if (GetLastError() != ERROR_IO_PENDING) {
        LogPrintf(L"ReadFile failed during hash (0x%08X)\n", GetLastError());
        return false;
    } else {
        immediate_[slot] = false;
    }
    ++issued_;
    return true;
}

bool OverlappedCopy::Complete(DWORD& length)
{
    int slot = static_cast<int>(consumed_ % buffers_);
    DWORD expected = LengthOf(consumed_);
    ++consumed_;
    if (immediate_[slot]) {
        length = immediateLength_[slot];
    } else {
        DWORD wait = WaitForSingleObject(events_[slot].Get(), INFINITE);
        if (wait != WAIT_OBJECT_0) {
            LogPrintf(L"WaitForSingleObject returned %d during hash (0x%08X)\n", wait, GetLastError());
            return false;
        }
        if (!GetOverlappedResult(source_, &overlapped_[slot], &length, TRUE)) {
            LogPrintf(L"GetOverlappedResult failed during hash (0x%08X)\n", GetLastError());
            return false;
        }
    }
    if (length != expected) {
        LogPrintf(L"GetOverlappedResult says %d bytes read (expected %d)\n", length, expected);
        return false;
    }
    return true;
}

bool OverlappedCopy::Run(ReqBinaries& step, HANDLE target, const std::wstring& localPath, Md5Context& md5)
{
    while (copied_ < size_) {
        // A large file takes long: quitting is answered between chunks.
        if (step.AbortRequested)
            return false;
        while (issued_ - consumed_ < buffers_ && issued_ * chunk_ < size_) {
            if (!Issue())
                return false;
        }
        int slot = static_cast<int>(consumed_ % buffers_);
        DWORD length = 0;
        if (!Complete(length))
            return false;
        const unsigned char* bytes = block_ + static_cast<size_t>(slot) * chunk_;
        DWORD error = WriteWhole(target, bytes, length);
        if (error != ERROR_SUCCESS) {
            LogPrintf(L"WriteFile failed for %s (0x%08X)\n", localPath.c_str(), error);
            std::wstring text;
            GetLocalizedText("FailedFileUpdate", text);
            text += L"\n" + localPath + L"\n\n";
            AppendSystemErrorText(text, error, 1024);
            SetStepError(text, true);
            return false;
        }
        MD5Update(md5, bytes, length);
        step.BytesDone.fetch_add(length);
        copied_ += length;
    }
    return true;
}

} // namespace

bool GetFileFromPublicCache(ReqBinaries& step, HANDLE file, std::wstring& hash, const ManifestEntry& entry)
{
    const std::wstring& current = GetClusterInstallDir(ServerCluster);
    const std::wstring& publicDir = GetClusterInstallDir(SC_PUBLIC);
    if (current.empty() || publicDir.empty() || entry.localPath.compare(0, current.size(), current) != 0)
        return false;
    std::wstring sourcePath = publicDir + entry.localPath.substr(current.size());
    UniqueHandle source(CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source)
        return false;
    step.Phase = PHASE_DOWNLOADING;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(source.Get(), &info)) {
        LogPrintf(L"GetFileFromPublicCache failed for hash (0x%08X)\n", GetLastError());
        return false;
    }
    int64_t size =
        static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    if (size == 0) {
        LogWrite(L"Could not copy 0-byte file\n");
        return false;
    }
    step.BytesToFetch.fetch_add(size - entry.size);

    Md5Context md5;
    MD5Init(md5);
    bool complete = false;
    int64_t copied = 0;
    {
        OverlappedCopy copy(source.Get(), size);
        complete = copy.Ready() && copy.Run(step, file, entry.localPath, md5);
        copied = copy.copied();
    }
    if (complete) {
        // The public install is another cluster's: a file that does not match
        // the manifest is downloaded rather than installed.
        std::wstring copiedHash = MD5FinalText(md5);
        if (copiedHash == entry.md5) {
            hash = entry.md5;
            return true;
        }
        LogPrintf(L"Public cache file %s does not match (%s)\n", sourcePath.c_str(), copiedHash.c_str());
    }
    // The download that follows fetches the whole object again.
    step.BytesToFetch.fetch_add(copied + entry.size - size);
    LARGE_INTEGER zero = {};
    SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    return false;
}
