// The test harness itself: the local server answers over HTTP and over HTTPS
// for "localhost" with a certificate the prefix trusts, and records requests.
#include "test_support.h"

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

using testing_support::TestServer;

namespace {

// Plain WinINet GET with certificate checks left on; returns status, or -1.
int Fetch(const std::wstring& url, std::string* body)
{
    HINTERNET session = InternetOpenW(L"HarnessTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session)
        return -1;
    HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    int status = -1;
    if (request) {
        DWORD code = 0, size = sizeof code;
        if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr))
            status = static_cast<int>(code);
        char chunk[4096];
        DWORD read = 0;
        while (InternetReadFile(request, chunk, sizeof chunk, &read) && read > 0)
            body->append(chunk, read);
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return status;
}

TEST(Harness, ServerAnswersOverHttpAndTrustedHttps)
{
    ASSERT_NE(TestServer::HttpPort(), 0);
    ASSERT_NE(TestServer::HttpsPort(), 0);
    ASSERT_TRUE(TestServer::Reset());
    ASSERT_TRUE(TestServer::AddRoute("GET", "/hello", 200, "plain"));
    ASSERT_TRUE(TestServer::AddRoute("GET", "/secure", 201, "tls", "\"times\": 1"));

    std::string body;
    EXPECT_EQ(Fetch(TestServer::HttpBase() + L"/hello", &body), 200);
    EXPECT_EQ(body, "plain");
    body.clear();
    EXPECT_EQ(Fetch(TestServer::HttpsBase() + L"/secure", &body), 201);
    EXPECT_EQ(body, "tls");
    body.clear();
    EXPECT_EQ(Fetch(TestServer::HttpsBase() + L"/secure", &body), 404); // used up

    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/hello");
    EXPECT_FALSE(requests[0].tls);
    EXPECT_TRUE(requests[1].tls);
    EXPECT_EQ(requests[1].Header("user-agent"), "HarnessTest");
}

} // namespace
