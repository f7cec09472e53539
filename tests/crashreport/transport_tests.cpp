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

TEST_F(Transport, AnAddressThatCannotBeReadPrintsItsErrorLine)
{
    ServerAnswer answer;
    EXPECT_FALSE(PostCrashReport(L"not a url", "Description=x", answer, true));
    EXPECT_EQ(Errors.rfind("Error: InternetCrackUrl() failed. Error code: ", 0), 0u) << Errors;
}

TEST_F(Transport, AServerThatTricklesItsAnswerIsGivenUpAtTheDeadline)
{
    // One byte every half second never trips a wait's own time-out; the
    // whole answer would take about 50 s, the deadline is set to 3 s.
    ASSERT_TRUE(crash_testing::TrickleCrashAnswers(0.5, "12345"));
    const DWORD savedDeadline = CrashSendDeadlineMs;
    CrashSendDeadlineMs = 3000;
    ServerAnswer answer;
    const bool answered = PostCrashReport(CrashEndpoint().c_str(), "Description=x", answer, true);
    CrashSendDeadlineMs = savedDeadline;
    EXPECT_FALSE(answered);
    EXPECT_STREQ(answer.bugNumber, "");
    EXPECT_EQ(Errors, "Error: The crash server did not answer within 3 seconds\n");
    EXPECT_EQ(TestServer::Requests().size(), 1u);
}

TEST(BugNumberFile, FolderComesFromTheBuildTree)
{
    EXPECT_EQ(BugNumberFolder(L"X:\\Build\\Code\\Tools\\FaultCourier.exe"), L"X:\\Build\\Temp\\");
    EXPECT_EQ(BugNumberFolder(L"D:\\Game\\Tools\\FaultCourier.exe"), L"D:\\Game\\Temp\\");
    EXPECT_EQ(BugNumberFolder(L"D:\\Game\\FaultCourier.exe"), L"");
}

TEST(BugNumberFile, AMissingFolderGivesNoFile)
{
    TempDir dir;
    EXPECT_EQ(WriteBugNumberFile(dir.path() + L"\\missing\\", "1"), L"");
}
