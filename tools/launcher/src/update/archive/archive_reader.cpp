// Reading objects out of the offline installer archive.
#include "offline_archive.h"

#include "md5.h"

namespace {

// The stored bytes of one archived object. Reads stop at the object's end,
// so a decoder that wants more input sees the end of the body instead of the
// next object (or the end of the archive).
class ArchiveBodySource : public BodySource {
  public:
    ArchiveBodySource(DownloadTransfer& transfer, int64_t size) : transfer_(transfer), left_(size) {}
    bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) override
    {
        *read = 0;
        if (left_ <= 0)
            return true;
        uint32_t want = left_ < size ? static_cast<uint32_t>(left_) : size;
        if (!ReadArchiveFile(transfer_, buffer, want, read)) {
            errorName = "ERROR_READ_FAULT";
            return false;
        }
        left_ -= *read;
        return true;
    }

  private:
    DownloadTransfer& transfer_;
    int64_t left_;
};

bool ContainsLzma(const std::wstring& name)
{
    return name.find(L".lzma") != std::wstring::npos;
}

} // namespace

bool ReadArchiveFile(DownloadTransfer& transfer, void* buffer, uint32_t length, uint32_t* read)
{
    *read = 0;
    if (transfer.archivePart >= ArchiveParts.size())
        return false;
    const ArchivePart& part = ArchiveParts[transfer.archivePart];
    if (transfer.partOffset < 0 || transfer.partOffset >= part.size)
        return false;
    int64_t rest = part.size - transfer.partOffset;
    DWORD want = rest < length ? static_cast<DWORD>(rest) : length;

    // An explicit offset: the handle's own file position is shared by every
    // thread that reads this part.
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(transfer.partOffset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(transfer.partOffset) >> 32);
    DWORD got = 0;
    if (!ReadFile(part.file.Get(), buffer, want, &got, &at) || got == 0 || got > want)
        return false;
    *read = got;
    transfer.partOffset += got;
    if (transfer.partOffset == part.size) {
        transfer.partOffset = 0;
        ++transfer.archivePart;
    }
    return true;
}

bool ExtractArchivedObject(const ArchiveEntry& entry, HANDLE file, const std::wstring& name,
                           const std::wstring& remoteName, std::wstring& hash,
                           std::atomic<int64_t>& bytesDone, const std::atomic<bool>& abortRequested,
                           int64_t* taken)
{
    hash.clear();
    DownloadTransfer transfer;
    transfer.targetFile = file;
    transfer.name = name;
    transfer.remoteName = remoteName;
    transfer.url = L"archive://" + remoteName;
    transfer.left = static_cast<uint64_t>(entry.size);
    transfer.LimitToObject(entry.size, ContainsLzma(remoteName));

    // The part that holds the object's first byte.
    int64_t offset = entry.address;
    size_t part = 0;
    while (part < ArchiveParts.size() && offset >= ArchiveParts[part].size) {
        offset -= ArchiveParts[part].size;
        ++part;
    }
    transfer.archivePart = part < ArchiveParts.size() ? part : NO_ARCHIVE_PART;
    transfer.partOffset = offset;

    ArchiveBodySource source(transfer, entry.size);
    TransferResult result = ContainsLzma(remoteName) ? transfer.ExtractLzma(source, bytesDone, abortRequested)
                                                     : transfer.ExtractRaw(source, bytesDone, abortRequested);
    if (taken)
        *taken = transfer.received;
    if (result != TRANSFER_DONE)
        return false;
    hash = MD5FinalText(transfer.md5);
    return true;
}
