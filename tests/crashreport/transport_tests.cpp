// The POST to the crash server and the bug number file.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "bug_number_file.h"
#include "crash_server.h"
#include "error_output.h"
#include "test_support.h"
#include "transport.h"

using crash_testing::AnswerCrashReports;
using crash_testing::CrashEndpoint;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::TestServer;

namespace {

std::string Errors;
void CollectError(const char* text)
{
    Errors += text;
}

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer::Reset());
        Errors.clear();
        SetErrorSink(CollectError);
    }
    void TearDown() override { SetErrorSink(nullptr); }

    // Posts a small report answered with status and text.
    bool Post(int status, const std::string& text, ServerAnswer& answer, bool parse = true)
    {
        EXPECT_TRUE(AnswerCrashReports(status, text));
        return PostCrashReport(CrashEndpoint().c_str(), "Description=x&Lang=en&Zip=", answer, parse);
    }

    // A port on which nothing listens.
    static int ClosedPort()
    {
        return TestServer::HttpsPort() == 1 ? 2 : 1;
    }
};

} // namespace

TEST_F(Transport, WireFormat)
{
    ServerAnswer answer;
    std::string body = "Description=a%20b%26c&Lang=en&Zip=UEsFBg%3D%3D";
    ASSERT_TRUE(AnswerCrashReports(200, "1"));
    ASSERT_TRUE(PostCrashReport(CrashEndpoint().c_str(), body.c_str(), answer, true));
    auto requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/CrashServer/CrashProcessREST.php");
    EXPECT_TRUE(requests[0].tls);
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].Header("User-Agent"), "FaultCourier");
    EXPECT_EQ(requests[0].body, body);
    EXPECT_EQ(Errors, "");
}

TEST_F(Transport, AnswersAreParsedOnlyWhenAskedAndOn200)
{
    ServerAnswer answer;
    ASSERT_TRUE(Post(200, "4711\r\nFIXED", answer));
    EXPECT_STREQ(answer.bugNumber, "4711");
    EXPECT_TRUE(answer.fixed);

    ServerAnswer suspect;
    ASSERT_TRUE(Post(200, "SUSPECT:Overlay Helper", suspect));
    EXPECT_TRUE(suspect.rejected);
    EXPECT_STREQ(suspect.suspectText, "Overlay Helper");

    ServerAnswer unparsed;
    ASSERT_TRUE(Post(200, "4711", unparsed, false));
    EXPECT_STREQ(unparsed.bugNumber, "");

    // Any status counts as delivered, with nothing read.
    ServerAnswer failed;
    ASSERT_TRUE(Post(500, "4711", failed));
    EXPECT_STREQ(failed.bugNumber, "");
    EXPECT_FALSE(failed.fixed);
    EXPECT_EQ(Errors, "");
}

TEST_F(Transport, FailuresPrintTheirErrorLine)
{
    ServerAnswer answer;
    std::wstring refused = L"https://localhost:" + std::to_wstring(ClosedPort()) + L"/CrashServer/CrashProcessREST.php";
    EXPECT_FALSE(PostCrashReport(refused.c_str(), "Description=x", answer, true));
    EXPECT_EQ(Errors, "Error: HttpSendRequest() failed. Error code: 12029\n");

    Errors.clear();
    EXPECT_FALSE(PostCrashReport(L"not a url", "Description=x", answer, true));
    EXPECT_EQ(Errors.rfind("Error: InternetCrackUrl() failed. Error code: ", 0), 0u) << Errors;
}

TEST(BugNumberFile, FolderComesFromTheBuildTree)
{
    EXPECT_EQ(BugNumberFolder(L"X:\\Build\\Code\\Tools\\FaultCourier.exe"), L"X:\\Build\\Temp\\");
    EXPECT_EQ(BugNumberFolder(L"D:\\Game\\Tools\\FaultCourier.exe"), L"D:\\Game\\Temp\\");
    EXPECT_EQ(BugNumberFolder(L"D:\\Game\\FaultCourier.exe"), L"");
}

TEST(BugNumberFile, NumbersCountUp)
{
    TempDir dir;
    std::wstring folder = dir.path() + L"\\";
    EXPECT_EQ(WriteBugNumberFile(folder, "4711"), folder + L"crash1.bug");
    EXPECT_EQ(WriteBugNumberFile(folder, "4712"), folder + L"crash2.bug");
    EXPECT_EQ(ReadFileBytes(folder + L"crash1.bug"), "4711");
    EXPECT_EQ(ReadFileBytes(folder + L"crash2.bug"), "4712");
    EXPECT_EQ(WriteBugNumberFile(folder + L"missing\\", "1"), L"");
}
