#include "content_server.h"
#include "download_transfer.h"
#include "localization.h"
#include "md5.h"
#include "step_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::TestServer;

namespace {

// Bytes of one response: at most chunk bytes a read; fails (as a dropped
// connection would) once failAt bytes have been given.
class BytesSource : public BodySource {
  public:
    BytesSource(std::string bytes, size_t chunk = 100000, size_t failAt = SIZE_MAX)
        : bytes_(std::move(bytes)), chunk_(chunk), failAt_(failAt)
    {
    }
    bool Read(void* buffer, uint32_t size, uint32_t* read, std::string& errorName) override
    {
        ++reads;
        if (position_ >= failAt_) {
            errorName = "ERROR_INTERNET_CONNECTION_RESET";
            return false;
        }
        size_t n = std::min<size_t>({size, chunk_, bytes_.size() - position_, failAt_ - position_});
        memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        *read = static_cast<uint32_t>(n);
        return true;
    }
    int64_t DeclaredLength() const override { return declared; }
    size_t position() const { return position_; }
    int reads = 0;
    int64_t declared = -1; // the answer's Content-Length

  private:
    std::string bytes_;
    size_t chunk_;
    size_t failAt_;
    size_t position_ = 0;
};

// Fails its reads as a wait that quitting cut short does: the abort flag is
// raised when the read gives up.
class QuittingSource : public BodySource {
  public:
    explicit QuittingSource(std::atomic<bool>& abortRequested) : abortRequested_(abortRequested) {}
    bool Read(void*, uint32_t, uint32_t* read, std::string& errorName) override
    {
        *read = 0;
        abortRequested_ = true;
        errorName = "ERROR_INTERNET_TIMEOUT";
        return false;
    }

  private:
    std::atomic<bool>& abortRequested_;
};

std::string Md5Hex(const std::string& bytes)
{
    Md5Context context;
    MD5Init(context);
    MD5Update(context, bytes.data(), bytes.size());
    std::wstring wide = MD5FinalText(context);
    return std::string(wide.begin(), wide.end());
}

std::string Narrow(const std::wstring& wide)
{
    return std::string(wide.begin(), wide.end());
}

// A transfer into a fresh file of its own.
class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LoadLocalizationTable();
        CreateStepErrorLock();
        Fresh();
    }
    // A new transfer into an emptied target.
    void Fresh()
    {
        transfer.reset();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        SetStepError(L"untouched", false);
        path = dir / L"target.tmp";
        file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        NewTransfer();
    }
    void TearDown() override
    {
        transfer.reset();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    void NewTransfer()
    {
        transfer = std::make_unique<DownloadTransfer>();
        transfer->targetFile = file;
        transfer->name = path;
        transfer->url = L"http://127.0.0.1/Data/a.bin.lzma";
    }
    std::string Written()
    {
        FlushFileBuffers(file);
        return ReadFileBytes(path);
    }
    std::string Digest() { return Narrow(MD5FinalText(transfer->md5)); }
    std::wstring ErrorText(bool* fatal = nullptr)
    {
        std::wstring text;
        bool isFatal = false;
        GetStepError(text, isFatal);
        if (fatal)
            *fatal = isFatal;
        return text;
    }
    // An ".lzma" object made by the test server.
    std::string LzmaObject(int64_t size, int seed, ContentObject* info = nullptr,
                           const std::string& extra = "")
    {
        ContentObject object =
            content_server::Put("/t/o" + std::to_string(seed) + ".{md5}.lzma", size, seed, extra);
        EXPECT_TRUE(object.ok);
        if (info)
            *info = object;
        return content_server::Object(object.name);
    }

    TempDir dir;
    std::wstring path;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::unique_ptr<DownloadTransfer> transfer;
    std::atomic<int64_t> bytesDone{0};
    std::atomic<bool> abortRequested{false};
};

} // namespace

TEST_F(TransferTest, RawBodies)
{
    BytesSource empty("");
    EXPECT_EQ(transfer->ReadRawBody(empty, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(bytesDone, 0);

    NewTransfer();
    std::string body(100000, 'x');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 7);
    BytesSource source(body, 5000);
    EXPECT_EQ(transfer->ReadRawBody(source, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(transfer->received, 100000);
    EXPECT_EQ(bytesDone, 100000);
    EXPECT_EQ(Digest(), Md5Hex(body));
    EXPECT_TRUE(Written() == body);
    EXPECT_EQ(ErrorText(), L"untouched");
}

TEST_F(TransferTest, RawBodyInterruptedAndResumed)
{
    LogCapture log;
    std::string body(70000, 'r');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i % 251);
    BytesSource first(body, 4096, 40000);
    EXPECT_EQ(transfer->ReadRawBody(first, bytesDone, abortRequested), TRANSFER_RETRY);
    EXPECT_EQ(transfer->received, 40000);
    bool fatal = true;
    EXPECT_EQ(ErrorText(&fatal), L"Download was interrupted.\n\nERROR_INTERNET_CONNECTION_RESET");
    EXPECT_FALSE(fatal);
    EXPECT_TRUE(log.Contains("InternetReadFile failed for http://127.0.0.1/Data/a.bin.lzma "
                             "(ERROR_INTERNET_CONNECTION_RESET)\r\n"));

    BytesSource rest(body.substr(40000), 4096);
    EXPECT_EQ(transfer->ReadRawBody(rest, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), Md5Hex(body));
    EXPECT_TRUE(Written() == body);
}

TEST_F(TransferTest, AbortEndsWithoutStepError)
{
    LogCapture log;
    abortRequested = true;
    BytesSource source("abc");
    EXPECT_EQ(transfer->ReadRawBody(source, bytesDone, abortRequested), TRANSFER_FAILED);
    EXPECT_TRUE(log.Contains("Aborting download of http://127.0.0.1/Data/a.bin.lzma\r\n"));
    std::string object = LzmaObject(1000, 3);
    BytesSource lzma(object);
    EXPECT_EQ(transfer->ReadLzmaBody(lzma, bytesDone, abortRequested), TRANSFER_FAILED);
    BytesSource archive(object);
    EXPECT_EQ(transfer->ExtractLzma(archive, bytesDone, abortRequested), TRANSFER_FAILED);
    EXPECT_TRUE(log.Contains("Aborting extract of http://127.0.0.1/Data/a.bin.lzma\r\n"));
    EXPECT_EQ(ErrorText(), L"untouched");

    // A read whose wait was cut short by the abort is an abort too.
    abortRequested = false;
    QuittingSource quitting(abortRequested);
    EXPECT_EQ(transfer->ReadRawBody(quitting, bytesDone, abortRequested), TRANSFER_FAILED);
    abortRequested = false;
    EXPECT_EQ(transfer->ReadLzmaBody(quitting, bytesDone, abortRequested), TRANSFER_FAILED);
    EXPECT_EQ(ErrorText(), L"untouched");
    EXPECT_FALSE(log.Contains("InternetReadFile failed"));
}

TEST_F(TransferTest, TargetThatCannotBeWritten)
{
    LogCapture log;
    HANDLE readOnly = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    transfer->targetFile = readOnly;
    transfer->name = L"C:\\Games\\a.tmp";
    BytesSource source("some bytes");
    EXPECT_EQ(transfer->ReadRawBody(source, bytesDone, abortRequested), TRANSFER_FAILED);
    CloseHandle(readOnly);
    bool fatal = false;
    std::wstring text = ErrorText(&fatal);
    EXPECT_TRUE(fatal);
    EXPECT_EQ(text.rfind(L"Could not update file:\nC:\\\\Games\\\\a.tmp\n\n", 0), 0u) << Narrow(text);
    EXPECT_NE(text.find(L"[0x00000005]"), std::wstring::npos) << Narrow(text);
    EXPECT_TRUE(log.Contains("WriteFile failed for http://127.0.0.1/Data/a.bin.lzma (0x00000005)"));
}

TEST_F(TransferTest, LzmaWholeAndInSmallReads)
{
    ContentObject info;
    std::string object = LzmaObject(300000, 5, &info);
    BytesSource whole(object);
    EXPECT_EQ(transfer->ReadLzmaBody(whole, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), info.md5);
    EXPECT_EQ(static_cast<int64_t>(Written().size()), info.size);
    EXPECT_EQ(transfer->received, static_cast<int64_t>(object.size()));
    EXPECT_EQ(bytesDone, static_cast<int64_t>(object.size()));

    // The header split over reads, and the stream in tiny pieces.
    Fresh();
    BytesSource trickle(object, 7);
    EXPECT_EQ(transfer->ReadLzmaBody(trickle, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), info.md5);
}

TEST_F(TransferTest, EmptyLzmaObject)
{
    ContentObject info;
    std::string object = LzmaObject(0, 6, &info);
    BytesSource source(object);
    EXPECT_EQ(transfer->ReadLzmaBody(source, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Written(), "");
}

TEST_F(TransferTest, ResumedLzmaGivesTheSameDigest)
{
    ContentObject info;
    std::string object = LzmaObject(500000, 9, &info);
    const std::string content = [&] {
        BytesSource whole(object);
        EXPECT_EQ(transfer->ReadLzmaBody(whole, bytesDone, abortRequested), TRANSFER_DONE);
        return Written();
    }();
    ASSERT_EQ(static_cast<int64_t>(content.size()), info.size);

    // Dropped in the header, right after it, in mid-stream and near its end;
    // twice in one transfer for the last case.
    const size_t late = object.size() - 3000;
    for (size_t cut : {size_t(5), size_t(13), size_t(20000), object.size() / 2, late}) {
        Fresh();
        BytesSource first(object, 16384, cut);
        EXPECT_EQ(transfer->ReadLzmaBody(first, bytesDone, abortRequested), TRANSFER_RETRY) << cut;
        int64_t offset = transfer->received;
        EXPECT_LE(offset, static_cast<int64_t>(cut));
        if (cut < LZMA_HEADER_SIZE) {
            EXPECT_EQ(offset, 0); // a partial header is read again
        }
        size_t secondCut = cut == late ? object.size() - 1000 : SIZE_MAX;
        BytesSource second(object.substr(offset), 3000,
                           secondCut == SIZE_MAX ? SIZE_MAX : secondCut - offset);
        TransferResult result = transfer->ReadLzmaBody(second, bytesDone, abortRequested);
        if (result == TRANSFER_RETRY) {
            offset = transfer->received;
            BytesSource third(object.substr(offset), 1000);
            result = transfer->ReadLzmaBody(third, bytesDone, abortRequested);
        }
        EXPECT_EQ(result, TRANSFER_DONE) << cut;
        EXPECT_EQ(Digest(), info.md5) << cut;
        EXPECT_TRUE(Written() == content) << cut;
    }
}

TEST_F(TransferTest, DamagedLzmaObjects)
{
    LogCapture log;
    ContentObject info;
    std::string object = LzmaObject(200000, 11, &info);

    // The header says more than the stream holds.
    ContentObject longer;
    std::string tooLong = LzmaObject(200000, 11, &longer, "\"size_header\": 200100");
    BytesSource s1(tooLong);
    EXPECT_EQ(transfer->ReadLzmaBody(s1, bytesDone, abortRequested), TRANSFER_RESTART);
    bool fatal = true;
    EXPECT_EQ(ErrorText(&fatal), L"Downloaded data was corrupted.");
    EXPECT_FALSE(fatal);

    // Truncated: the body ends early.
    Fresh();
    BytesSource s2(object.substr(0, object.size() / 2));
    EXPECT_EQ(transfer->ReadLzmaBody(s2, bytesDone, abortRequested), TRANSFER_RESTART);
    EXPECT_TRUE(log.Contains("Bad LZMA stream in http://127.0.0.1/Data/a.bin.lzma\r\n"));

    // Shorter than a header.
    Fresh();
    BytesSource s3(object.substr(0, 9));
    EXPECT_EQ(transfer->ReadLzmaBody(s3, bytesDone, abortRequested), TRANSFER_RESTART);

    // Properties no decoder has.
    Fresh();
    std::string badProps = object;
    badProps[0] = static_cast<char>(230);
    BytesSource s4(badProps);
    EXPECT_EQ(transfer->ReadLzmaBody(s4, bytesDone, abortRequested), TRANSFER_RESTART);
    EXPECT_TRUE(log.Contains("LzmaDec_Allocate failed for http://127.0.0.1/Data/a.bin.lzma\r\n"));

    // A damaged stream: a decoder error, or bytes that miss the digest.
    Fresh();
    std::string flipped = object;
    flipped[object.size() / 3] ^= 0x55;
    BytesSource s5(flipped);
    TransferResult result = transfer->ReadLzmaBody(s5, bytesDone, abortRequested);
    EXPECT_TRUE(result == TRANSFER_RESTART || (result == TRANSFER_DONE && Digest() != info.md5));
}

TEST_F(TransferTest, HeaderSmallerThanTheStream)
{
    LogCapture log;
    ContentObject shorter;
    std::string object = LzmaObject(200000, 12, &shorter, "\"size_header\": 150000");
    BytesSource source(object);
    TransferResult result = transfer->ReadLzmaBody(source, bytesDone, abortRequested);
    // The decoder sees that the stream goes on past the declared end.
    EXPECT_EQ(result, TRANSFER_RESTART);
    EXPECT_TRUE(log.Contains("LzmaDec_DecodeToBuf failed for")) << log.Text();
}

TEST_F(TransferTest, NoInputReadAfterTheDeclaredSize)
{
    ContentObject info;
    std::string object = LzmaObject(1000, 13, &info);
    BytesSource source(object + std::string(1 << 20, 'z'), 16384);
    EXPECT_EQ(transfer->ReadLzmaBody(source, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), info.md5);
    EXPECT_LE(source.position(), object.size() + 16384);
}

TEST_F(TransferTest, ObjectsPastTheLimitAreRefusedBeforeAByteBeyondItIsStored)
{
    LogCapture log;
    const uint64_t limit = 50000;
    std::string body(100000, 'b');

    // A raw answer that declares more is not read.
    transfer->limit = limit;
    BytesSource declared(body, 5000);
    declared.declared = 100000;
    EXPECT_EQ(transfer->ReadRawBody(declared, bytesDone, abortRequested), TRANSFER_FAILED);
    EXPECT_EQ(declared.reads, 0);
    bool fatal = true;
    EXPECT_EQ(ErrorText(&fatal), L"Downloaded data was corrupted.");
    EXPECT_FALSE(fatal);
    EXPECT_TRUE(log.Contains("Refused http://127.0.0.1/Data/a.bin.lzma: it declares 100000 bytes, more "
                             "than the 50000 it may have\r\n"))
        << log.Text();

    // One that declares nothing stops at the limit, and what it stored is
    // not kept.
    Fresh();
    transfer->limit = limit;
    BytesSource undeclared(body, 5000);
    EXPECT_EQ(transfer->ReadRawBody(undeclared, bytesDone, abortRequested), TRANSFER_FAILED);
    EXPECT_TRUE(Written().empty());
    EXPECT_LE(undeclared.position(), limit + 5000);

    // Exactly the limit is taken.
    Fresh();
    transfer->limit = limit;
    BytesSource exact(body.substr(0, limit), 5000);
    exact.declared = static_cast<int64_t>(limit);
    EXPECT_EQ(transfer->ReadRawBody(exact, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Written(), body.substr(0, limit));

    // An ".lzma" object is refused by its header's size, an "unknown" size
    // (all bits set) too, before anything is decoded.
    for (const char* size : {"50001", "18446744073709551615"}) {
        Fresh();
        transfer->limit = limit;
        BytesSource packed(LzmaObject(60000, 14, nullptr, std::string("\"size_header\": ") + size));
        EXPECT_EQ(transfer->ReadLzmaBody(packed, bytesDone, abortRequested), TRANSFER_FAILED) << size;
        EXPECT_EQ(packed.position(), LZMA_HEADER_SIZE) << size;
        EXPECT_TRUE(Written().empty()) << size;
    }
    ContentObject info;
    Fresh();
    transfer->limit = limit;
    BytesSource packed(LzmaObject(limit, 15, &info));
    EXPECT_EQ(transfer->ReadLzmaBody(packed, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), info.md5);

    // Limited to an object size smaller than its stream, an ".lzma" answer
    // that declares the whole stream is not read, and one that declares
    // nothing is cut once it passes that size, nothing kept; a resumed one
    // counts what it has received. Exactly the size is taken.
    std::string stream = LzmaObject(60000, 16, &info);
    const int64_t size = static_cast<int64_t>(stream.size()) - 1000;
    for (int64_t received : {int64_t{0}, int64_t{-1}, size - 500}) {
        Fresh();
        transfer->LimitToObject(size, true);
        BytesSource longer(stream, 5000);
        if (received >= 0) {
            transfer->received = received;
            longer.declared = static_cast<int64_t>(stream.size()) - received;
        }
        EXPECT_EQ(transfer->ReadLzmaBody(longer, bytesDone, abortRequested), TRANSFER_FAILED) << received;
        EXPECT_LE(longer.position(), received >= 0 ? 0 : static_cast<size_t>(size) + 5000) << received;
        EXPECT_TRUE(Written().empty()) << received;
    }
    const std::string most = std::to_string(size);
    EXPECT_TRUE(log.Contains("Refused http://127.0.0.1/Data/a.bin.lzma: it declares " +
                             std::to_string(stream.size()) + " bytes, more than the " + most +
                             " it may have (the manifest gives it " + most + " bytes)\r\n"))
        << log.Text();
    EXPECT_TRUE(log.Contains("Refused http://127.0.0.1/Data/a.bin.lzma: it sent ")) << log.Text();
    Fresh();
    transfer->LimitToObject(static_cast<int64_t>(stream.size()), true);
    BytesSource whole(stream, 5000);
    whole.declared = static_cast<int64_t>(stream.size());
    EXPECT_EQ(transfer->ReadLzmaBody(whole, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), info.md5);
}

TEST_F(TransferTest, ArchiveExtraction)
{
    LogCapture log;
    std::string bytes(50000, 'a');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 13);
    transfer->left = bytes.size();
    BytesSource part(bytes + "next object");
    EXPECT_EQ(transfer->ExtractRaw(part, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), Md5Hex(bytes));
    EXPECT_EQ(part.position(), bytes.size()); // nothing of the next object

    // A part that ends early gives 0 bytes: a failed read, not a loop.
    Fresh();
    transfer->left = 100;
    BytesSource shrunk(bytes.substr(0, 40));
    EXPECT_NE(transfer->ExtractRaw(shrunk, bytesDone, abortRequested), TRANSFER_DONE);
    bool fatal = false;
    EXPECT_EQ(ErrorText(&fatal), L"Downloaded data was corrupted.");
    EXPECT_TRUE(fatal);
    EXPECT_TRUE(log.Contains("ReadArchiveFile failed for http://127.0.0.1/Data/a.bin.lzma\r\n"));

    Fresh();
    ContentObject info;
    std::string object = LzmaObject(70000, 14, &info);
    BytesSource archived(object + "following object bytes");
    EXPECT_EQ(transfer->ExtractLzma(archived, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), info.md5);

    Fresh();
    BytesSource cut(object.substr(0, 100));
    EXPECT_NE(transfer->ExtractLzma(cut, bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_TRUE(ErrorText(&fatal) == L"Downloaded data was corrupted." && fatal);
}
