// The body readers on real responses of the test server's content module,
// through WinINet, and the tree of WinINet handles they hang on.
#include "content_server.h"
#include "content_transport.h"
#include "localization.h"
#include "manifest.h"
#include "md5.h"
#include "step_error.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <process.h>

#include <memory>
#include <string>
#include <vector>

using testing_support::TempDir;
using testing_support::TestServer;

namespace {

std::string Narrow(const std::wstring& wide)
{
    return std::string(wide.begin(), wide.end());
}

std::wstring Wide(const std::string& narrow)
{
    return std::wstring(narrow.begin(), narrow.end());
}

// One kept-alive connection to the test server and one transfer into a file.
class HttpTransferTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LoadLocalizationTable();
        CreateStepErrorLock();
        ASSERT_TRUE(TestServer::Reset());
        session.Reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        ASSERT_TRUE(session);
        DWORD timeout = 2000;
        InternetSetOptionW(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
        connection = SharedInternetHandle::OpenChild(session, [](HINTERNET parent) {
            return InternetConnectW(parent, L"127.0.0.1", static_cast<INTERNET_PORT>(TestServer::HttpPort()),
                                    nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        });
        ASSERT_TRUE(connection);
        // Wine takes the receive time-out of the connection, not of the session.
        InternetSetOptionW(connection.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
        path = dir / L"object.tmp";
        file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        transfer.targetFile = file;
        transfer.name = path;
    }
    void TearDown() override
    {
        // A call still running keeps its handles open until it returns.
        reader.Finish();
        request.Reset();
        connection.Reset();
        session.Reset();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    // Sends one request for name through the reader, resuming from the
    // bytes received; gives the status code (0 when the request failed).
    DWORD Send(const std::string& name)
    {
        reader.Finish();
        transfer.url = TestServer::HttpBase() + Wide(name);
        request = SharedInternetHandle::OpenChild(connection, [&](HINTERNET parent) {
            return HttpOpenRequestW(parent, L"GET", Wide(name).c_str(), nullptr, nullptr, nullptr,
                                    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                        INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI,
                                    0);
        });
        transfer.request = request.Get();
        transfer.reader = &reader;
        if (!transfer.request)
            return 0;
        reader.Begin(request);
        std::wstring header;
        if (transfer.received > 0)
            header = L"Range: bytes=" + std::to_wstring(transfer.received) + L"-";
        if (!reader.Send(header, &abortRequested))
            return 0;
        DWORD status = 0;
        DWORD size = sizeof status;
        HttpQueryInfoW(transfer.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr);
        return status;
    }
    std::string Digest() { return Narrow(MD5FinalText(transfer.md5)); }

    TempDir dir;
    std::wstring path;
    HANDLE file = INVALID_HANDLE_VALUE;
    SharedInternetHandle session;
    SharedInternetHandle connection;
    SharedInternetHandle request;
    ContentReader reader;
    DownloadTransfer transfer;
    std::atomic<int64_t> bytesDone{0};
    std::atomic<bool> abortRequested{false};
};

} // namespace

TEST_F(HttpTransferTest, LzmaObjectResumedAfterAReset)
{
    ContentObject object = content_server::Put("/Data/big.bin.{md5}.lzma", 2000000, 21);
    ASSERT_TRUE(object.ok);
    ASSERT_TRUE(content_server::Fail(object.name, "[{\"reset_after\": 300000}]"));

    ASSERT_EQ(Send(object.name), 200u);
    EXPECT_EQ(transfer.ReadLzmaBody(bytesDone, abortRequested), TRANSFER_RETRY);
    std::wstring error;
    bool fatal = true;
    GetStepError(error, fatal);
    // A WinINet error name, or under Wine the socket's own code (a reset is
    // WSAECONNRESET, 0x00002746).
    EXPECT_EQ(error.rfind(L"Download was interrupted.\n\n", 0), 0u) << Narrow(error);
    EXPECT_GT(error.size(), wcslen(L"Download was interrupted.\n\n")) << Narrow(error);
    EXPECT_FALSE(fatal);
    const int64_t resumeAt = transfer.received;
    EXPECT_GT(resumeAt, 0);
    EXPECT_LE(resumeAt, 300000);

    ASSERT_EQ(Send(object.name), 206u);
    EXPECT_EQ(transfer.ReadLzmaBody(bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), object.md5);
    LARGE_INTEGER size;
    ASSERT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size.QuadPart, object.size);

    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Range"), "");
    EXPECT_EQ(requests[1].Header("Range"), "bytes=" + std::to_string(resumeAt) + "-");
}

TEST_F(HttpTransferTest, CleanCloseInABodyIsResumed)
{
    ContentObject object = content_server::Put("/Data/cut.bin.{md5}.lzma", 1000000, 22);
    ASSERT_TRUE(content_server::Fail(object.name, "[{\"close_after\": 100000}]"));
    ASSERT_EQ(Send(object.name), 200u);
    EXPECT_EQ(transfer.ReadLzmaBody(bytesDone, abortRequested), TRANSFER_RETRY);
    std::wstring error;
    bool fatal = true;
    GetStepError(error, fatal);
    EXPECT_EQ(error, L"Download was interrupted.\n\nERROR_INTERNET_CONNECTION_ABORTED");
    EXPECT_EQ(transfer.received, 100000);
    ASSERT_EQ(Send(object.name), 206u);
    EXPECT_EQ(transfer.ReadLzmaBody(bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), object.md5);
}

TEST_F(HttpTransferTest, RawBodyCutShortIsResumed)
{
    ContentObject raw = content_server::Put("/Data/cut.bin.{md5}.bulk", 300000, 23);
    ASSERT_TRUE(content_server::Fail(raw.name, "[{\"reset_after\": 150000}, {\"close_after\": 1000}]"));
    ASSERT_EQ(Send(raw.name), 200u);
    EXPECT_EQ(transfer.ReadRawBody(bytesDone, abortRequested), TRANSFER_RETRY);
    EXPECT_LT(transfer.received, 150001);
    int64_t first = transfer.received;
    ASSERT_EQ(Send(raw.name), 206u);
    EXPECT_EQ(transfer.ReadRawBody(bytesDone, abortRequested), TRANSFER_RETRY);
    EXPECT_EQ(transfer.received, first + 1000);
    ASSERT_EQ(Send(raw.name), 206u);
    EXPECT_EQ(transfer.ReadRawBody(bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_EQ(Digest(), raw.md5);
    EXPECT_EQ(bytesDone, raw.size);
}

TEST_F(HttpTransferTest, LongerContentLengthThanBody)
{
    ContentObject raw = content_server::Put("/Data/len.bin.{md5}.bulk", 5000, 26);
    ASSERT_TRUE(content_server::Fail(raw.name, "[{\"length\": 6000}]"));
    ASSERT_EQ(Send(raw.name), 200u);
    EXPECT_EQ(transfer.ReadRawBody(bytesDone, abortRequested), TRANSFER_RETRY);
    EXPECT_EQ(transfer.received, 5000);
}

TEST_F(HttpTransferTest, StalledBodyTimesOut)
{
    ContentObject object = content_server::Put("/Data/slow.bin.{md5}.bulk", 200000, 24);
    ASSERT_TRUE(content_server::Fail(object.name, "[{\"stall\": 6, \"after\": 5000}]"));
    ASSERT_EQ(Send(object.name), 200u);
    EXPECT_EQ(transfer.ReadRawBody(bytesDone, abortRequested), TRANSFER_RETRY);
    EXPECT_GE(transfer.received, 0);
    EXPECT_LE(transfer.received, 5000);
}

TEST_F(HttpTransferTest, FlippedByteMissesTheDigest)
{
    ContentObject object = content_server::Put("/Data/flip.bin.{md5}.bulk", 100000, 25);
    ASSERT_TRUE(content_server::Fail(object.name, "[{\"flip\": 777}]"));
    ASSERT_EQ(Send(object.name), 200u);
    EXPECT_EQ(transfer.ReadRawBody(bytesDone, abortRequested), TRANSFER_DONE);
    EXPECT_NE(Digest(), object.md5);
    EXPECT_EQ(transfer.received, object.size);
}

TEST_F(HttpTransferTest, ManifestUnderAnyNumber)
{
    const std::string md5 = "0123456789ABCDEF0123456789ABCDEF";
    const std::string text = "/Tools/Launcher.exe." + md5 + ".lzma,1000\n/Data/a.bin." + md5 + ".bulk,20\n";
    ASSERT_TRUE(content_server::PutManifest(text).ok);
    srand(3);
    std::wstring name = MakeManifestObjectName();
    ASSERT_EQ(Send(Narrow(name)), 200u);
    EXPECT_EQ(transfer.ReadLzmaBody(bytesDone, abortRequested), TRANSFER_DONE);
    std::string decoded = testing_support::ReadFileBytes(path);
    EXPECT_EQ(decoded, text);

    ManifestParseContext context;
    context.launcherRoot = L"C:\\L";
    context.installRoot = L"C:\\I";
    ASSERT_TRUE(LoadManifestText(context, decoded.data(), decoded.size()));
    EXPECT_EQ(ManifestEntries.size(), 2u);
}

namespace {

// As many threads as the download threads of a pass, each making and closing
// children of one session as fast as it can: WinINet changes the session's
// list of children with each.
constexpr int kTreeThreads = 8;
constexpr int kTreeRounds = 3000;

struct TreeWork {
    const SharedInternetHandle* session = nullptr;
    std::atomic<int> opened{0};
};

unsigned __stdcall OpenAndCloseChildren(void* argument)
{
    auto* work = static_cast<TreeWork*>(argument);
    for (int i = 0; i < kTreeRounds; ++i) {
        // Nothing is sent: neither call goes to the network.
        SharedInternetHandle connection =
            SharedInternetHandle::OpenChild(*work->session, [](HINTERNET parent) {
                return InternetConnectW(parent, L"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                        0);
            });
        SharedInternetHandle request = SharedInternetHandle::OpenChild(connection, [](HINTERNET parent) {
            return HttpOpenRequestW(parent, L"GET", L"/x", nullptr, nullptr, nullptr, INTERNET_FLAG_NO_UI, 0);
        });
        if (connection && request)
            work->opened.fetch_add(1);
    }
    return 0;
}

} // namespace

// The download threads of a pass open their connections of the step's
// session at once and close them at once; the worker then closes the
// session, which faulted when those changes had corrupted its children.
TEST(SharedInternetHandleTest, ChildrenMadeAndClosedByManyThreadsAtOnceLeaveTheSessionWhole)
{
    // Both are let go of when a thread does not end: it may still use them.
    auto session = std::make_unique<SharedInternetHandle>();
    session->Reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(*session);
    auto work = std::make_unique<TreeWork>();
    work->session = session.get();
    std::vector<HANDLE> threads;
    for (int i = 0; i < kTreeThreads; ++i) {
        HANDLE thread = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, OpenAndCloseChildren, work.get(), 0, nullptr));
        if (thread)
            threads.push_back(thread);
    }
    EXPECT_EQ(threads.size(), static_cast<size_t>(kTreeThreads));
    DWORD waited = threads.empty() ? WAIT_OBJECT_0
                                   : WaitForMultipleObjects(static_cast<DWORD>(threads.size()),
                                                            threads.data(), TRUE, 120000);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    if (waited >= WAIT_OBJECT_0 + threads.size()) {
        (void)session.release();
        (void)work.release();
        FAIL() << "the threads did not end within 120 s: making and closing children of the session hangs";
    }
    EXPECT_EQ(work->opened.load(), static_cast<int>(threads.size()) * kTreeRounds);
    session->Reset();
}
