// The body readers of a DownloadTransfer: raw and LZMA, from an HTTP response
// or from the offline installer archive.
#include "download_transfer.h"

#include "internet_errors.h"
#include "localization.h"
#include "log.h"
#include "step_error.h"
#include "strings.h"
#include "whole_write.h"

#include <cstdlib>
#include <cstring>

namespace {

void* LzmaAlloc(void*, size_t size)
{
    return malloc(size);
}

void LzmaFree(void*, void* address)
{
    free(address);
}

// What differs between the HTTP readers and their archive twins.
struct ReaderKind {
    bool archive;
    const wchar_t* abortLine;
};

const ReaderKind kHttp = {false, L"Aborting download of %s\n"};
const ReaderKind kArchive = {true, L"Aborting extract of %s\n"};

std::wstring DoubleBackslashes(const std::wstring& text)
{
    std::wstring doubled;
    for (wchar_t c : text) {
        doubled += c;
        if (c == L'\\')
            doubled += c;
    }
    return doubled;
}

// A failed read of the body: the bytes stored so far stay good.
TransferResult ReadFailed(const ReaderKind& kind, const DownloadTransfer& t, bool header,
                          const std::string& errorName)
{
    if (kind.archive) {
        LogPrintf(header ? L"ReadArchiveFile of header failed for %s\n" : L"ReadArchiveFile failed for %s\n",
                  t.url.c_str());
        SetStepErrorKey("DownloadCorrupted", true);
    } else {
        LogPrintf(header ? L"InternetReadFile of header failed for %s (%S)\n"
                         : L"InternetReadFile failed for %s (%S)\n",
                  t.url.c_str(), errorName.c_str());
        ReportInternetFailure("DownloadInterrupted", errorName.c_str());
    }
    return TRANSFER_RETRY;
}

// A read that failed because the step is going away is an abort, not a
// failure to report.
TransferResult ReadFailedOrAborted(const ReaderKind& kind, const DownloadTransfer& t, bool header,
                                   const std::string& errorName, const std::atomic<bool>& abortRequested)
{
    if (abortRequested.load()) {
        LogPrintf(kind.abortLine, t.url.c_str());
        return TRANSFER_FAILED;
    }
    return ReadFailed(kind, t, header, errorName);
}

// The object cannot be decoded: start it again from byte 0.
TransferResult Corrupted(const ReaderKind& kind)
{
    SetStepErrorKey("DownloadCorrupted", kind.archive);
    return TRANSFER_RESTART;
}

// An object larger than the transfer may take or store: amount (what it
// declares, or what it has sent so far) passes bound. Asking again would
// bring the same bytes, so the transfer gives up, and the target keeps
// nothing of them.
TransferResult TooLarge(const ReaderKind& kind, DownloadTransfer& t, const wchar_t* what, bool declared,
                        uint64_t amount, uint64_t bound)
{
    wchar_t manifest[64] = L"";
    if (t.sourceLimit != NO_SIZE_LIMIT)
        FormatString(manifest, 64, L" (the manifest gives it %I64u bytes)", t.sourceLimit);
    LogPrintf(declared ? L"Refused %s: it declares %I64u bytes%s, more than the %I64u it may have%s\n"
                       : L"Refused %s: it sent %I64u bytes%s, more than the %I64u it may have%s\n",
              t.url.c_str(), amount, what, bound, manifest);
    Truncate(t.targetFile);
    SetStepErrorKey("DownloadCorrupted", kind.archive);
    return TRANSFER_FAILED;
}

// Whether count bytes more than the received ones pass bound.
bool Passes(const DownloadTransfer& t, uint64_t count, uint64_t bound)
{
    return static_cast<uint64_t>(t.received) + count > bound;
}

// The bytes an answer declares, counted from the object's first byte (a
// resumed answer declares only the rest), or 0 when it declares none. One
// that declares more than the transfer may take is refused before a byte of
// it is read.
uint64_t DeclaredTotal(const BodySource& source, const DownloadTransfer& t)
{
    int64_t declared = source.DeclaredLength();
    return declared < 0 ? 0 : static_cast<uint64_t>(t.received) + static_cast<uint64_t>(declared);
}

// Writes the bytes to the target and adds them to the digest.
bool Store(DownloadTransfer& t, const unsigned char* bytes, size_t count)
{
    if (count == 0)
        return true;
    DWORD error = WriteWhole(t.targetFile, bytes, count);
    if (error != ERROR_SUCCESS) {
        LogPrintf(L"WriteFile failed for %s (0x%08X)\n", t.url.c_str(), error);
        std::wstring text;
        GetLocalizedText("FailedFileUpdate", text);
        text += L"\n" + DoubleBackslashes(t.name) + L"\n\n";
        AppendSystemErrorText(text, error, 1024);
        SetStepError(text, true);
        return false;
    }
    MD5Update(t.md5, bytes, count);
    return true;
}

void CountReceived(DownloadTransfer& t, std::atomic<int64_t>& bytesDone, uint32_t count)
{
    t.received += count;
    bytesDone.fetch_add(count);
}

// One read of the source; a source that claims more bytes than asked for is
// treated as failed rather than trusted.
bool ReadFrom(BodySource& source, void* buffer, uint32_t size, uint32_t* read, std::string& errorName)
{
    *read = 0;
    if (!source.Read(buffer, size, read, errorName))
        return false;
    if (*read > size) {
        errorName = "ERROR_INVALID_DATA";
        *read = 0;
        return false;
    }
    return true;
}

// Reads the 13-byte header, however the source splits it. Gives the bytes
// read (fewer than 13 when the body ended first), or -1 after a failure.
int ReadHeader(BodySource& source, unsigned char* header, std::string& errorName)
{
    uint32_t have = 0;
    while (have < LZMA_HEADER_SIZE) {
        uint32_t read = 0;
        if (!ReadFrom(source, header + have, static_cast<uint32_t>(LZMA_HEADER_SIZE) - have, &read,
                      errorName))
            return -1;
        if (read == 0)
            break;
        have += read;
    }
    return static_cast<int>(have);
}

TransferResult ReadLzma(const ReaderKind& kind, DownloadTransfer& t, BodySource& source,
                        std::atomic<int64_t>& bytesDone, const std::atomic<bool>& abortRequested)
{
    std::string errorName;
    uint64_t declared = DeclaredTotal(source, t);
    if (declared > t.sourceLimit)
        return TooLarge(kind, t, L"", true, declared, t.sourceLimit);
    if (t.received == 0) {
        unsigned char header[LZMA_HEADER_SIZE];
        int got = ReadHeader(source, header, errorName);
        if (got < 0)
            return ReadFailedOrAborted(kind, t, true, errorName, abortRequested);
        if (got < static_cast<int>(LZMA_HEADER_SIZE)) {
            LogPrintf(L"Bad LZMA stream in %s\n", t.url.c_str());
            return Corrupted(kind);
        }
        uint64_t size = 0;
        for (int i = 7; i >= 0; --i)
            size = (size << 8) | header[5 + i];
        // Refused before anything is decoded; an "unknown" size (all bits
        // set) is larger than any limit.
        if (size > t.limit)
            return TooLarge(kind, t, L" decoded", true, size, t.limit);
        if (Passes(t, LZMA_HEADER_SIZE, t.sourceLimit))
            return TooLarge(kind, t, L"", false, LZMA_HEADER_SIZE, t.sourceLimit);
        // Matches never reach further back than the decoded size, so a larger
        // dictionary would only be memory the header asks for in vain.
        unsigned char props[LZMA_PROPS_SIZE];
        memcpy(props, header, LZMA_PROPS_SIZE);
        uint32_t dictionary =
            props[1] | (props[2] << 8) | (props[3] << 16) | (static_cast<uint32_t>(props[4]) << 24);
        if (size < dictionary) {
            uint32_t needed = size < 4096 ? 4096 : static_cast<uint32_t>(size);
            for (int i = 0; i < 4; ++i)
                props[1 + i] = static_cast<unsigned char>(needed >> (8 * i));
        }
        if (LzmaDec_Allocate(&t.decoder, props, LZMA_PROPS_SIZE, &LzmaAllocator) != SZ_OK) {
            LogPrintf(L"LzmaDec_Allocate failed for %s\n", t.url.c_str());
            return Corrupted(kind);
        }
        CountReceived(t, bytesDone, LZMA_HEADER_SIZE);
        LzmaDec_Init(&t.decoder);
        t.left = size;
        t.inputPosition = t.inputSize = 0;
        t.outputFill = 0;
    }

    // An empty file needs no stream.
    if (t.left == 0)
        return TRANSFER_DONE;
    bool inputEnded = false;
    for (;;) {
        if (abortRequested.load()) {
            LogPrintf(kind.abortLine, t.url.c_str());
            return TRANSFER_FAILED;
        }
        if (!inputEnded && t.inputPosition == t.inputSize) {
            uint32_t read = 0;
            if (!ReadFrom(source, t.input, static_cast<uint32_t>(TRANSFER_INPUT_SIZE), &read, errorName))
                return ReadFailedOrAborted(kind, t, false, errorName, abortRequested);
            if (Passes(t, read, t.sourceLimit))
                return TooLarge(kind, t, L"", false, t.received + read, t.sourceLimit);
            if (read > 0)
                CountReceived(t, bytesDone, read);
            else
                inputEnded = true;
            t.inputPosition = 0;
            t.inputSize = read;
        }

        SizeT room = TRANSFER_OUTPUT_SIZE - t.outputFill;
        ELzmaFinishMode mode = LZMA_FINISH_ANY;
        if (room >= t.left) {
            room = static_cast<SizeT>(t.left);
            mode = LZMA_FINISH_END;
        }
        SizeT available = static_cast<SizeT>(t.inputSize - t.inputPosition);
        ELzmaStatus status;
        SRes result = LzmaDec_DecodeToBuf(&t.decoder, t.output + t.outputFill, &room,
                                          t.input + t.inputPosition, &available, mode, &status);
        if (result != SZ_OK) {
            LogPrintf(L"LzmaDec_DecodeToBuf failed for %s (0x%08X)\n", t.url.c_str(), result);
            return Corrupted(kind);
        }
        if (available == 0 && room == 0) {
            LogPrintf(L"Bad LZMA stream in %s\n", t.url.c_str());
            return Corrupted(kind);
        }
        t.inputPosition += available;
        t.outputFill += room;
        t.left -= room;
        if (!Store(t, t.output, static_cast<size_t>(t.outputFill)))
            return TRANSFER_FAILED;
        t.outputFill = 0;
        if (t.left == 0)
            return TRANSFER_DONE;
    }
}

} // namespace

ISzAlloc LzmaAllocator = {LzmaAlloc, LzmaFree};

void Truncate(HANDLE file)
{
    LARGE_INTEGER zero = {};
    SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
}

void DownloadTransfer::LimitToObject(int64_t objectSize, bool lzma)
{
    uint64_t size = objectSize > 0 ? static_cast<uint64_t>(objectSize) : 0;
    sourceLimit = size;
    limit = !lzma ? size : size > INT64_MAX / LZMA_MAX_EXPANSION ? INT64_MAX : size * LZMA_MAX_EXPANSION;
}

DownloadTransfer::DownloadTransfer()
{
    MD5Init(md5);
    LzmaDec_Construct(&decoder);
}

DownloadTransfer::~DownloadTransfer()
{
    LzmaDec_Free(&decoder, &LzmaAllocator);
}

TransferResult DownloadTransfer::ReadRawBody(BodySource& source, std::atomic<int64_t>& bytesDone,
                                             const std::atomic<bool>& abortRequested)
{
    std::string errorName;
    // The bytes taken are the bytes stored.
    uint64_t bound = limit < sourceLimit ? limit : sourceLimit;
    uint64_t declared = DeclaredTotal(source, *this);
    if (declared > bound)
        return TooLarge(kHttp, *this, L"", true, declared, bound);
    while (!abortRequested.load()) {
        uint32_t read = 0;
        if (!ReadFrom(source, output, static_cast<uint32_t>(TRANSFER_OUTPUT_SIZE), &read, errorName))
            return ReadFailedOrAborted(kHttp, *this, false, errorName, abortRequested);
        if (read == 0)
            return TRANSFER_DONE;
        if (Passes(*this, read, bound))
            return TooLarge(kHttp, *this, L"", false, received + read, bound);
        CountReceived(*this, bytesDone, read);
        if (!Store(*this, output, read))
            return TRANSFER_FAILED;
    }
    LogPrintf(kHttp.abortLine, url.c_str());
    return TRANSFER_FAILED;
}

TransferResult DownloadTransfer::ReadLzmaBody(BodySource& source, std::atomic<int64_t>& bytesDone,
                                              const std::atomic<bool>& abortRequested)
{
    return ReadLzma(kHttp, *this, source, bytesDone, abortRequested);
}

TransferResult DownloadTransfer::ExtractRaw(BodySource& source, std::atomic<int64_t>& bytesDone,
                                            const std::atomic<bool>& abortRequested)
{
    std::string errorName;
    while (!abortRequested.load()) {
        if (left == 0)
            return TRANSFER_DONE;
        uint32_t want = left < TRANSFER_OUTPUT_SIZE ? static_cast<uint32_t>(left)
                                                    : static_cast<uint32_t>(TRANSFER_OUTPUT_SIZE);
        uint32_t read = 0;
        // A part that shrank after it was opened gives 0 bytes: a failed read,
        // not a reason to read again without end.
        if (!ReadFrom(source, output, want, &read, errorName) || read == 0)
            return ReadFailed(kArchive, *this, false, errorName);
        CountReceived(*this, bytesDone, read);
        if (!Store(*this, output, read))
            return TRANSFER_FAILED;
        left -= read;
    }
    LogPrintf(kArchive.abortLine, url.c_str());
    return TRANSFER_FAILED;
}

TransferResult DownloadTransfer::ExtractLzma(BodySource& source, std::atomic<int64_t>& bytesDone,
                                             const std::atomic<bool>& abortRequested)
{
    return ReadLzma(kArchive, *this, source, bytesDone, abortRequested);
}
