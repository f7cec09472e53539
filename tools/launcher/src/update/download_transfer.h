// DownloadTransfer: one object on its way from its source (an HTTP response
// or a stretch of the offline installer archive) into an open file, ".lzma"
// objects decoded on the way, with the MD5 of exactly the bytes written.
//
// A transfer lives for one try of one object and belongs to one thread. The
// requests that resume it all continue the same received count, MD5 context
// and decoder. The body readers take their bytes from a BodySource, so the
// WinINet response (content_transport.h) stays at the edge.
#pragma once

#include "md5.h"

#include <windows.h>
#include <wininet.h>

#include <LzmaDec.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

class ContentReader;

// The answer of one request of a transfer and of its body reader.
enum TransferResult : int {
    TRANSFER_DONE = 0,    // the whole object is stored and hashed
    TRANSFER_RETRY = 1,   // the request failed; the bytes stored so far are good
    TRANSFER_RESTART = 2, // the stored bytes cannot be continued
    TRANSFER_FAILED = 3,  // give up
};

// Where a body reader takes its bytes from.
class BodySource {
  public:
    virtual ~BodySource() = default;
    // Reads up to size bytes into buffer. True with *read bytes (0: the body
    // has ended), or false after a failure, whose name (a narrow text, for
    // the log and the StepError) goes into errorName.
    virtual bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) = 0;
    // The bytes the source says are still to come, or -1 when it does not say.
    virtual int64_t DeclaredLength() const { return -1; }
};

// Empties an open file and puts its position back at its start.
void Truncate(HANDLE file);

// Plain heap allocation and release for the LZMA decoder.
extern ISzAlloc LzmaAllocator;

// The ".lzma" object header: 5 property bytes, then the decoded size as an
// unsigned 64-bit little-endian number.
constexpr size_t LZMA_HEADER_SIZE = 13;

constexpr size_t TRANSFER_INPUT_SIZE = 16384;
constexpr size_t TRANSFER_OUTPUT_SIZE = 32768;
constexpr size_t NO_ARCHIVE_PART = SIZE_MAX;
constexpr uint64_t NO_SIZE_LIMIT = UINT64_MAX;

// The most bytes an LZMA stream decodes from one of its bytes. The longest
// match (273 bytes) takes 14 coded decisions, and a decision costs the stream
// at least log2(2048/2017) bits (its probability never passes 2017/2048), so
// a byte of stream yields at most about 7,090 bytes; rounded up.
constexpr uint64_t LZMA_MAX_EXPANSION = 8192;

struct DownloadTransfer {
    DownloadTransfer();  // a fresh transfer: nothing received, MD5 started, no decoder
    ~DownloadTransfer(); // frees the decoder; the target file is its owner's to close
    DownloadTransfer(const DownloadTransfer&) = delete;
    DownloadTransfer& operator=(const DownloadTransfer&) = delete;

    // HTTP bodies from source. bytesDone is the step's counter of bytes taken
    // from the network (added to atomically); abortRequested is polled
    // between reads.
    TransferResult ReadRawBody(BodySource& source, std::atomic<int64_t>& bytesDone,
                               const std::atomic<bool>& abortRequested);
    TransferResult ReadLzmaBody(BodySource& source, std::atomic<int64_t>& bytesDone,
                                const std::atomic<bool>& abortRequested);

    // The same from the open request, through its reader (content_transport.cpp).
    TransferResult ReadRawBody(std::atomic<int64_t>& bytesDone, const std::atomic<bool>& abortRequested);
    TransferResult ReadLzmaBody(std::atomic<int64_t>& bytesDone, const std::atomic<bool>& abortRequested);

    // The archive twins: source reads the archive (a read of 0 bytes while
    // bytes are still due counts as a failed read). ExtractRaw copies left
    // bytes. Their failures carry the no-retry flag; callers only ask
    // whether they gave TRANSFER_DONE.
    TransferResult ExtractRaw(BodySource& source, std::atomic<int64_t>& bytesDone,
                              const std::atomic<bool>& abortRequested);
    TransferResult ExtractLzma(BodySource& source, std::atomic<int64_t>& bytesDone,
                               const std::atomic<bool>& abortRequested);

    HANDLE targetFile = nullptr;     // not owned
    HINTERNET request = nullptr;     // the current request; null between requests
    ContentReader* reader = nullptr; // sends the request and reads its body
    int64_t received = 0;            // bytes taken from the source, header included: the resume offset
    std::wstring name;               // the target's name for failure texts
    Md5Context md5;                  // digest of the bytes written so far
    CLzmaDec decoder;
    uint64_t left = 0; // bytes still to produce (decoded, or raw archive bytes to copy)
    std::wstring remoteName;
    std::wstring url;                     // names the transfer in every log line
    size_t archivePart = NO_ARCHIVE_PART; // the archive part the next read comes from
    int64_t partOffset = 0;               // offset of the next archive read within that part
    uint32_t requestFlags = 0;
    // The current request's answer came from another scheme, host or port
    // than it was sent to: WinINet followed a redirect there.
    bool answeredElsewhere = false;
    // The most bytes the object may store, and the most it may take from its
    // source (received). One that is larger is refused (TRANSFER_FAILED)
    // before a byte past either limit is written, and the target is emptied:
    // an ".lzma" object by the size its header declares, an answer by the
    // length it declares, or else once its bytes pass the limit.
    uint64_t limit = NO_SIZE_LIMIT;
    uint64_t sourceLimit = NO_SIZE_LIMIT;
    // Limits both to what the manifest gives an object of objectSize bytes as
    // transferred: a raw object stores no more; an ".lzma" object stores no
    // more than that many bytes of stream can decode to.
    void LimitToObject(int64_t objectSize, bool lzma);
    unsigned char input[TRANSFER_INPUT_SIZE];
    unsigned char output[TRANSFER_OUTPUT_SIZE];
    uint64_t inputPosition = 0;
    uint64_t inputSize = 0;
    uint64_t outputFill = 0;
};
