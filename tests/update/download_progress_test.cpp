#include "download_progress.h"
#include "localization.h"
#include "log.h"
#include "step_messages.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

class ProgressTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        LoadLocalizationTable(); // English: "hours", "minutes", "minute"
    }
    const double wall = 1700000000.0;
};

} // namespace

TEST_F(ProgressTest, SizeUnitFollowsTheTotal)
{
    ReqDownload a, b, c;
    EXPECT_EQ(a.ComposeStatusText(100, 500, 1000, wall), L"400.0 B");
    EXPECT_EQ(b.ComposeStatusText(976, 2000, 1000, wall), L"1.0 KB");
    EXPECT_EQ(c.ComposeStatusText(0, 5 * 1048576, 1000, wall), L"5.0 MB");
    // The unit stays with the total as the rest shrinks.
    EXPECT_EQ(c.ComposeStatusText(5 * 1048576 - 1024, 5 * 1048576, 1100, wall), L"0.0 MB");
}

TEST_F(ProgressTest, SamplesAtMostOnceASecondAndSpeed)
{
    ReqDownload d;
    d.ComposeStatusText(0, 100000000, 5000, wall); // first call stamps the start
    EXPECT_EQ(d.LastSampleTick, 5000u);
    EXPECT_TRUE(d.SpeedSamples.empty());
    d.ComposeStatusText(500000, 100000000, 5999, wall);
    EXPECT_TRUE(d.SpeedSamples.empty()); // 999 ms is not enough
    std::wstring text = d.ComposeStatusText(2 * 1048576, 100000000, 7000, wall + 2);
    ASSERT_EQ(d.SpeedSamples.size(), 1u);
    EXPECT_EQ(d.WindowMs, 2000u);
    EXPECT_EQ(d.WindowBytes, 2 * 1048576);
    EXPECT_DOUBLE_EQ(d.Speed, 1048576.0);
    EXPECT_NE(text.find(L" (1 MB/s) "), std::wstring::npos) << text;

    // The window keeps 15 samples.
    DWORD now = 7000;
    int64_t done = 2 * 1048576;
    for (int i = 0; i < 20; ++i) {
        now += 1000;
        done += 2048;
        d.ComposeStatusText(done, 100000000, now, wall + i);
    }
    EXPECT_EQ(d.SpeedSamples.size(), 15u);
    EXPECT_EQ(d.WindowMs, 15000u);
    EXPECT_EQ(d.WindowBytes, 15 * 2048);
    EXPECT_DOUBLE_EQ(d.Speed, 2048.0);
    EXPECT_EQ(d.DownloadedContent, done);
    EXPECT_EQ(d.DownloadSize, 100000000);
}

TEST_F(ProgressTest, NoSpeedBelowOneBytePerSecond)
{
    ReqDownload d;
    d.EstimateMean = wall + 1000;
    d.EstimateError = 1;
    d.FinishEstimates.assign(12, wall + 1000);
    d.ComposeStatusText(10, 1000, 1000, wall);
    std::wstring text = d.ComposeStatusText(10, 1000, 3000, wall);
    EXPECT_EQ(text, L"990.0 B");
    EXPECT_TRUE(d.FinishEstimates.empty());
    EXPECT_EQ(d.EstimateError, 1.7976931348623157e308);
    EXPECT_EQ(d.EstimateMean, wall + 1000); // kept, but no longer shown
}

namespace {

// Feeds steady 1000-byte seconds until the estimate holds count values,
// with remaining bytes such that the finish lies secondsLeft ahead.
std::wstring SteadyText(ReqDownload& d, int count, int64_t secondsLeft, double wall)
{
    const int64_t total = 1000 * (count + secondsLeft);
    std::wstring text;
    d.ComposeStatusText(0, total, 1000, wall);
    for (int i = 1; i <= count; ++i)
        text = d.ComposeStatusText(1000 * i, total, 1000 + 1000 * i, wall + i);
    return text;
}

} // namespace

TEST_F(ProgressTest, TimeLeft)
{
    {
        ReqDownload d;
        std::wstring text = SteadyText(d, 9, 9000, wall);
        EXPECT_EQ(d.FinishEstimates.size(), 9u);
        EXPECT_EQ(text.find(L"~"), std::wstring::npos) << text; // fewer than 10 estimates
    }
    {
        ReqDownload d;
        EXPECT_EQ(SteadyText(d, 10, 9000, wall), L"8.6 MB (1000 B/s)  ~2.5 hours");
    }
    {
        ReqDownload d;
        std::wstring text = SteadyText(d, 10, 90, wall);
        EXPECT_NE(text.find(L" ~2 minutes"), std::wstring::npos) << text;
    }
    {
        ReqDownload d;
        std::wstring text = SteadyText(d, 10, 40, wall);
        EXPECT_NE(text.find(L" ~1 minute"), std::wstring::npos) << text;
        EXPECT_EQ(text.find(L"minutes"), std::wstring::npos) << text;
    }
    {
        ReqDownload d;
        std::wstring text = SteadyText(d, 10, 8, wall); // less than 10 seconds ahead
        EXPECT_EQ(text.find(L"~"), std::wstring::npos) << text;
    }
    {
        // Far beyond what an int of seconds holds: the longest time shown.
        ReqDownload d;
        std::wstring text = SteadyText(d, 10, int64_t(1) << 40, wall);
        EXPECT_NE(text.find(L" ~596523."), std::wstring::npos) << text;
        EXPECT_NE(text.find(L" hours"), std::wstring::npos) << text;
    }
}

TEST_F(ProgressTest, StatisticsKeepTheirFirstValues)
{
    ReqDownload d;
    d.WindowBytes = 10;
    d.DownloadedContent = 20;
    d.DownloadSize = 30;
    d.WindowMs = 40;
    StatisticsMap first = d.AddDownloadStatistics();
    EXPECT_EQ(first[L"TotalDownloaded"], 10);
    EXPECT_EQ(first[L"DownloadedContent"], 20);
    EXPECT_EQ(first[L"DownloadSize"], 30);
    EXPECT_EQ(first[L"DownloadTime"], 40);
    d.WindowBytes = 99;
    d.FinishCounts(55);
    EXPECT_EQ(d.AddDownloadStatistics(), first);
}

TEST_F(ProgressTest, CountsFromManyThreads)
{
    ReqDownload d;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&d] {
            for (int i = 0; i < 1000; ++i)
                d.CountStatistic(L"ERROR_SENDING");
        });
    }
    for (auto& t : threads)
        t.join();
    d.PutStatistic(L"ERROR_404", 1);
    d.PutStatistic(L"ERROR_404", 1);
    d.PutStatistic(L"Relaunched", 1);
    StatisticsMap map = d.AddDownloadStatistics();
    EXPECT_EQ(map[L"ERROR_SENDING"], 4000);
    EXPECT_EQ(map[L"ERROR_404"], 1);
}

TEST_F(ProgressTest, StatusLineOfTheMainWindow)
{
    HWND main =
        CreateWindowW(L"STATIC", L"", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(main, nullptr);
    HWND detail = CreateWindowW(L"STATIC", L"old", WS_CHILD, 0, 0, 100, 20, main,
                                reinterpret_cast<HMENU>(IDC_STATUS_DETAIL), nullptr, nullptr);
    HWND page = CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, main, nullptr, nullptr, nullptr);
    ASSERT_NE(page, nullptr);
    wchar_t text[64];

    ReqDownload d;
    HeadlessMode = true;
    d.UpdateStatusText(page, 100, 500);
    HeadlessMode = false;
    GetWindowTextW(detail, text, 64);
    EXPECT_STREQ(text, L"old");
    EXPECT_EQ(d.LastSampleTick, 0u); // no sample taken

    d.UpdateStatusText(page, 100, 500);
    GetWindowTextW(detail, text, 64);
    EXPECT_STREQ(text, L"400.0 B");
    EXPECT_NE(d.LastSampleTick, 0u);
    DestroyWindow(main);
}
