// ReqDownload: the second base of the steps that move many bytes. Keeps the
// step's statistics map, measures the speed over the last 15 seconds,
// estimates the finishing time and writes the main window's right-hand
// status line (IDC_STATUS_DETAIL): what is left, the speed, the time left.
//
// The samples are taken by one thread per step (the user-interface thread for
// the update step); the statistics map is shared with the download threads
// and every access to it takes StatisticsLock.
#pragma once

#include "requirement.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

class ReqDownload {
  public:
    ReqDownload();
    virtual ~ReqDownload();
    ReqDownload(const ReqDownload&) = delete;
    ReqDownload& operator=(const ReqDownload&) = delete;

    // Takes a sample (at most once a second) and writes the status line of
    // the page's parent. done and total are used as unsigned. Nothing in
    // headless mode.
    void UpdateStatusText(HWND page, int64_t done, int64_t total);

    // The status text for done and total at tick now (timeGetTime) and the
    // wall clock (whole seconds since the epoch); updates the samples and the
    // estimate as UpdateStatusText does.
    std::wstring ComposeStatusText(int64_t done, int64_t total, DWORD now, double wallClock);

    // Statistics after putting "TotalDownloaded", "DownloadedContent",
    // "DownloadSize" and "DownloadTime" into it (keys already there keep
    // their values); a copy taken under the lock.
    StatisticsMap AddDownloadStatistics();

    // The map's two write operations, under the lock: put key with value
    // unless present; add 1 to key (1 when absent).
    void PutStatistic(const std::wstring& key, int64_t value);
    void CountStatistic(const std::wstring& key);

    // The final counts when the update page goes: DownloadedContent = done,
    // and the bytes since the last sample join WindowBytes.
    void FinishCounts(int64_t done);

    struct SpeedSample {
        int64_t bytes;
        uint32_t milliseconds;
    };

    std::mutex StatisticsLock;
    StatisticsMap Statistics;
    int64_t LastSampleBytes = 0;
    uint32_t LastSampleTick = 0; // 0: no sample yet
    std::deque<SpeedSample> SpeedSamples;
    int64_t WindowBytes = 0;
    int64_t DownloadSize = 0;
    int64_t DownloadedContent = 0;
    uint32_t WindowMs = 0;
    double Speed = 0;
    std::deque<double> FinishEstimates;
    double EstimateMean = 0;
    double EstimateError = 1.7976931348623157e308;
    uint32_t LastLogTick = 0;

  private:
    void TakeSample(int64_t done, int64_t total, DWORD now, double wallClock);
};

// The localised "HOURS", "MINUTES" and "MINUTE" texts, loaded again by every
// ReqDownload constructor.
extern wchar_t HoursText[64];
extern wchar_t MinutesText[64];
extern wchar_t MinuteText[64];
