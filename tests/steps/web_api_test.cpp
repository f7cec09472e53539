// ReqWebAPI against the local HTTPS test server.
#include "launcher_settings.h"
#include "secure_redirect.h"
#include "server_config.h"
#include "steps_test_support.h"
#include "web_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

using testing_support::RecordedRequest;
using testing_support::TempDir;
using testing_support::TestServer;

namespace {

static_assert(WM_WEBAPI_DONE >= WM_APP, "dialog messages occupy WM_USER and up");

std::wstring Port()
{
    return std::to_wstring(TestServer::HttpsPort());
}

class WebApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer::Reset());
        SetHost(L"localhost:" + Port());
        ServerCluster = SC_PUBLIC;
    }
    void TearDown() override { ReloadServerConfig(ini_.c_str()); }

    void SetHost(const std::wstring& host)
    {
        std::string text = "[Public]\r\nApi=" + std::string(host.begin(), host.end()) + "\r\n";
        ASSERT_TRUE(testing_support::WriteFileBytes(ini_, text));
        ReloadServerConfig(ini_.c_str());
    }
    std::wstring TestBase() { return L"https://localhost:" + Port() + L"/webapi-test/"; }

    TempDir dir_;
    std::wstring ini_ = dir_ / L"Vantorel.ini";
};

TEST_F(WebApiTest, EmptyBodySendsAGetToTheApiBase)
{
    ASSERT_TRUE(TestServer::AddRoute("GET", "/api/clientIP.php", 200, "203.0.113.7"));
    steps_test::LogCapture log;
    ReqWebAPI request(STEP_PROGRESS_MARQUEE);
    ASSERT_TRUE(request.OpenSession(WEBAPI_API));
    request.requestPath = L"clientIP.php";
    request.ExecuteRequest();
    EXPECT_EQ(request.status, 200u);
    EXPECT_EQ(request.answer, "203.0.113.7");

    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/api/clientIP.php");
    EXPECT_TRUE(requests[0].tls);
    std::string text = log.Text();
    EXPECT_NE(text.find("GET /api/clientIP.php"), std::string::npos); // the request headers
    EXPECT_NE(text.find("203.0.113.7\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Could not"), std::string::npos);
}

TEST_F(WebApiTest, BodySendsAPostWithExactlyThoseBytesAndNoAddedHeaders)
{
    steps_test::LogCapture log;
    ReqWebAPI request(STEP_PROGRESS_HIDDEN);
    ASSERT_TRUE(request.OpenSession(WEBAPI_STATS));
    request.requestPath = L"launcherUpload.php";
    request.body = "{\"TotalTime\":0,\"ClientType\":\"\"}";
    request.ExecuteRequest();
    EXPECT_EQ(request.status, 404u);
    EXPECT_EQ(request.answer, "not found");

    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/stats/launcherUpload.php");
    EXPECT_EQ(requests[0].body, request.body);
    EXPECT_EQ(requests[0].Header("Content-Type"), "");
    EXPECT_NE(log.Text().find("Could not get request launcherUpload.php (status: 404)\r\n"),
              std::string::npos);
}

TEST_F(WebApiTest, AnswerWithoutLengthIsReadInPieces)
{
    ReqWebAPI request(STEP_PROGRESS_HIDDEN);
    ASSERT_TRUE(request.OpenSessionForUrl(TestBase().c_str()));
    request.requestPath = L"unsized?bytes=1000";
    request.ExecuteRequest();
    EXPECT_EQ(request.status, 200u);
    ASSERT_EQ(request.answer.size(), 1000u);
    EXPECT_EQ(request.answer.substr(990), "0123456789");
}

TEST_F(WebApiTest, LengthsThatDoNotMatchTheBodyAreNotBelieved)
{
    steps_test::LogCapture log;
    {
        ReqWebAPI request(STEP_PROGRESS_HIDDEN);
        ASSERT_TRUE(request.OpenSessionForUrl(TestBase().c_str()));
        request.requestPath = L"unsized?bytes=" + std::to_wstring(WEBAPI_MAX_ANSWER + 10);
        request.ExecuteRequest();
        EXPECT_EQ(request.status, 206u);
        EXPECT_EQ(request.answer, "");
    }
    // A Content-Length far beyond what is sent, one that is not a number
    // (no empty success), and a body shorter than its length.
    struct Case {
        const char *name, *body, *length;
        unsigned status;
        const char* answer;
    } cases[] = {{"big.php", "short", "4294967296000", 206, ""},
                 {"nan.php", "", "abc", 206, ""},
                 {"short.php", "abc", "10", 200, "abc"}};
    for (const Case& c : cases) {
        ASSERT_TRUE(TestServer::AddRouteJson(
            std::string(R"({"method": "GET", "path": "/api/)") + c.name + R"(", "status": 200, "body": ")" +
            c.body + R"(", "headers": {"Content-Length": ")" + c.length + R"(", "Connection": "close"}})"));
        ReqWebAPI request(STEP_PROGRESS_HIDDEN);
        ASSERT_TRUE(request.OpenSession(WEBAPI_API));
        request.requestPath = std::wstring(c.name, c.name + strlen(c.name));
        request.ExecuteRequest();
        EXPECT_EQ(request.status, c.status) << c.name;
        EXPECT_EQ(request.answer, c.answer) << c.name;
    }
    EXPECT_NE(log.Text().find("Could not get request big.php (status: 206)\r\n"), std::string::npos);
    EXPECT_NE(log.Text().find("Could not get request nan.php (status: 206)\r\n"), std::string::npos);
}

TEST_F(WebApiTest, CertificateForAnotherNameIsRefused)
{
    SetHost(L"127.0.0.1:" + Port());
    steps_test::LogCapture log;
    ReqWebAPI request(STEP_PROGRESS_HIDDEN);
    ASSERT_TRUE(request.OpenSession(WEBAPI_API));
    request.requestPath = L"clientIP.php";
    request.ExecuteRequest();
    EXPECT_EQ(request.status, 0u);
    EXPECT_NE(log.Text().find("Could not send request for clientIP.php ("), std::string::npos);
    EXPECT_TRUE(TestServer::Requests().empty());
}

using Answer = std::pair<DWORD, std::string>;

// The status and answer of one synchronous request to path below the
// endpoint's base.
Answer Ask(int endpoint, const wchar_t* path, const std::string& body = "")
{
    ReqWebAPI request(STEP_PROGRESS_HIDDEN);
    if (!request.OpenSession(endpoint))
        return {~0u, "no session"};
    request.requestPath = path;
    request.body = body;
    request.ExecuteRequest();
    return {request.status, request.answer};
}

TEST_F(WebApiTest, AnAnswerSentOnToPlainHttpIsRefusedAndOneOverHttpsTaken)
{
    ASSERT_TRUE(TestServer::AddRoute("GET", "/api/clientIP.php", 200, "203.0.113.7"));
    std::string plain = "http://127.0.0.1:" + std::to_string(TestServer::HttpPort()) + "/api/clientIP.php";
    std::string elsewhere = "https://localhost:" + std::to_string(TestServer::OtherHttpsPort()) + "/api/next/moved.php";
    ASSERT_TRUE(TestServer::AddRouteJson(R"({"method": "GET", "path": "/api/plain.php", "status": 302, )"
                                         R"("headers": {"Location": ")" + plain + R"("}})"));
    ASSERT_TRUE(TestServer::AddRouteJson(R"({"method": "GET", "path": "/api/moved.php", "status": 302, )"
                                         R"("headers": {"Location": ")" + elsewhere + R"("}})"));
    ASSERT_TRUE(TestServer::AddRouteJson(R"({"method": "GET", "path": "/api/next/moved.php", "status": 301, )"
                                         R"("headers": {"Location": "../clientIP.php"}})"));
    steps_test::LogCapture log;
    EXPECT_EQ(Ask(WEBAPI_API, L"plain.php"), Answer(0, ""));
    std::string text = log.Text();
    EXPECT_NE(text.find("Refused the redirect of https://localhost:" + std::to_string(TestServer::HttpsPort()) +
                        "/api/plain.php to " + plain + ": "),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("203.0.113.7"), std::string::npos) << text;
    // The plain address was never asked.
    for (const RecordedRequest& r : TestServer::Requests())
        EXPECT_TRUE(r.tls) << r.path;

    // Sent on within https, to another server and from there to an address
    // relative to it, the answer is taken.
    EXPECT_EQ(Ask(WEBAPI_API, L"moved.php"), Answer(200, "203.0.113.7"));
    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].path, "/api/next/moved.php");
    EXPECT_EQ(requests[2].port, TestServer::OtherHttpsPort());
    EXPECT_EQ(requests[3].path, "/api/clientIP.php");
    EXPECT_EQ(requests[3].port, TestServer::OtherHttpsPort());

    // A chain without end is given up after a few hops; the statistics
    // upload's body goes along each 307.
    ASSERT_TRUE(TestServer::Reset());
    ASSERT_TRUE(TestServer::AddRouteJson(R"({"method": "*", "path": "/stats/loop.php", "status": 307, )"
                                         R"("headers": {"Location": "loop.php"}})"));
    EXPECT_EQ(Ask(WEBAPI_STATS, L"loop.php", "report"), Answer(0, ""));
    requests = TestServer::Requests();
    EXPECT_EQ(requests.size(), 1u + MAX_REDIRECT_HOPS);
    for (const RecordedRequest& r : requests) {
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.body, "report");
    }
    EXPECT_NE(log.Text().find("/stats/loop.php: more than "), std::string::npos) << log.Text();
}

TEST_F(WebApiTest, AnEmptyAnswerOverHttpsIsReportedByItsStatus)
{
    ASSERT_TRUE(TestServer::AddRoute("GET", "/api/clientIP.php", 204, ""));
    ASSERT_TRUE(TestServer::AddRoute("POST", "/stats/launcherUpload.php", 200, ""));
    EXPECT_EQ(Ask(WEBAPI_API, L"clientIP.php"), Answer(204, ""));
    EXPECT_EQ(Ask(WEBAPI_STATS, L"launcherUpload.php", "{}"), Answer(200, ""));
}

TEST_F(WebApiTest, UnknownClusterHasNoBase)
{
    ServerCluster = SC_MAX;
    ReqWebAPI request(STEP_PROGRESS_HIDDEN);
    EXPECT_FALSE(request.OpenSession(WEBAPI_API));
    request.requestPath = L"clientIP.php";
    request.ExecuteRequest();
    EXPECT_EQ(request.status, 0u);
}

// Waits (bounded) for WM_WEBAPI_DONE on page.
bool WaitForDone(HWND page)
{
    for (int i = 0; i < 600; ++i) {
        MSG message;
        if (PeekMessageW(&message, page, WM_WEBAPI_DONE, WM_WEBAPI_DONE, PM_REMOVE))
            return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
    }
    return false;
}

TEST_F(WebApiTest, ThreadedRequestReportsToItsPage)
{
    ASSERT_TRUE(TestServer::AddRoute("GET", "/api/clientIP.php", 200, "198.51.100.1", "\"delay\": 0.3"));
    steps_test::PlainWindow parent;
    ReqWebAPI request(STEP_PROGRESS_MARQUEE);
    HWND page = request.Run(parent.get());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(request.page, page);
    ASSERT_TRUE(request.OpenSession(WEBAPI_API));
    request.requestPath = L"clientIP.php";
    request.StartRequest();
    ASSERT_TRUE(WaitForDone(page));
    EXPECT_EQ(request.status, 200u);
    EXPECT_EQ(request.answer, "198.51.100.1");
    DestroyWindow(page);
}

TEST_F(WebApiTest, DestroyingTheStepWhileTheServerHangsReturnsInBoundedTime)
{
    // The server holds the request far longer than the destructor may wait.
    ASSERT_TRUE(TestServer::AddRoute("GET", "/api/hang.php", 200, "late", "\"delay\": 20, \"times\": 1"));
    steps_test::LogCapture log;
    steps_test::PlainWindow parent;
    auto request = std::make_unique<ReqWebAPI>(STEP_PROGRESS_MARQUEE);
    HWND page = request->Run(parent.get());
    ASSERT_TRUE(request->OpenSession(WEBAPI_API));
    request->requestPath = L"hang.php";
    request->StartRequest();
    for (int i = 0; i < 50 && TestServer::Requests().empty(); ++i)
        Sleep(100);
    ASSERT_EQ(TestServer::Requests().size(), 1u);
    ASSERT_TRUE(request->requestThread);

    const DWORD start = GetTickCount();
    request.reset();
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_LT(elapsed, WEBAPI_ABORT_WAIT_MS + 3000) << "the destructor waited for the hanging request";
    EXPECT_NE(log.Text().find("Request hang.php left to end on its own\r\n"), std::string::npos);
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, page, WM_WEBAPI_DONE, WM_WEBAPI_DONE, PM_REMOVE));
    DestroyWindow(page);
}

} // namespace
