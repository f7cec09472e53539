#include "download_progress.h"

#include "localization.h"
#include "log.h"
#include "step_messages.h"
#include "strings.h"

#include <climits>
#include <cmath>
#include <ctime>

wchar_t HoursText[64];
wchar_t MinutesText[64];
wchar_t MinuteText[64];

namespace {

constexpr size_t kMaxSpeedSamples = 15;
constexpr size_t kMaxEstimates = 300;
constexpr size_t kMinEstimatesForTime = 10;
constexpr size_t kTextCapacity = 1024;
constexpr double kMaxDouble = 1.7976931348623157e308;
constexpr double kEpsilon = 2.220446049250313e-16;

double AsUnsigned(int64_t value)
{
    return static_cast<double>(static_cast<uint64_t>(value));
}

} // namespace

ReqDownload::ReqDownload()
{
    GetLocalizedTextBuffer("HOURS", HoursText, 64);
    GetLocalizedTextBuffer("MINUTES", MinutesText, 64);
    GetLocalizedTextBuffer("MINUTE", MinuteText, 64);
}

ReqDownload::~ReqDownload() = default;

void ReqDownload::TakeSample(int64_t done, int64_t total, DWORD now, double wallClock)
{
    if (SpeedSamples.size() >= kMaxSpeedSamples) {
        WindowBytes -= SpeedSamples.front().bytes;
        WindowMs -= SpeedSamples.front().milliseconds;
        SpeedSamples.pop_front();
    }
    const uint32_t elapsed = now - LastSampleTick;
    WindowMs += elapsed;
    WindowBytes += done - LastSampleBytes;
    DownloadSize = total;
    DownloadedContent = done;
    SpeedSamples.push_back({done - LastSampleBytes, elapsed});
    LastSampleBytes = done;
    LastSampleTick = now;
    if (WindowMs != 0)
        Speed = static_cast<double>(WindowBytes) * 1000.0 / WindowMs;

    if (Speed < 1) {
        EstimateError = kMaxDouble;
        FinishEstimates.clear();
        return;
    }
    const double remaining = AsUnsigned(total) - AsUnsigned(done);
    if (FinishEstimates.size() >= kMaxEstimates)
        FinishEstimates.pop_front();
    FinishEstimates.push_back(remaining / Speed + wallClock);
    const size_t count = FinishEstimates.size();
    if (count < kMinEstimatesForTime)
        return;
    double sum = 0;
    for (double estimate : FinishEstimates)
        sum += estimate;
    EstimateMean = sum / count;
    // The spread around the mean, summed directly: the estimates are
    // epoch seconds, whose squares would swamp the difference.
    double squares = 0;
    for (double estimate : FinishEstimates)
        squares += (estimate - EstimateMean) * (estimate - EstimateMean);
    const double variance = std::fabs(squares / count);
    const double deviation = variance < kEpsilon ? 0.0 : std::sqrt(variance);
    EstimateError = deviation / std::sqrt(static_cast<double>(count));
}

std::wstring ReqDownload::ComposeStatusText(int64_t done, int64_t total, DWORD now, double wallClock)
{
    const double totalBytes = AsUnsigned(total);
    double factor = 1.0 / 1024;
    const wchar_t* unit = L"KB";
    if (totalBytes >= 1048576) {
        factor = 1.0 / 1048576;
        unit = L"MB";
    } else if (totalBytes < 1024) {
        factor = 1;
        unit = L"B";
    }
    const double left = totalBytes * factor - AsUnsigned(done) * factor;

    if (LastSampleTick == 0) {
        LastSampleTick = now;
        LastSampleBytes = done;
    }
    if (static_cast<uint32_t>(now - LastSampleTick) > 999)
        TakeSample(done, total, now, wallClock);

    wchar_t speedText[128] = L"";
    if (Speed > 1) {
        double speedFactor = 1;
        const wchar_t* speedUnit = L"B/s";
        if (Speed >= 1048576) {
            speedFactor = 1.0 / 1048576;
            speedUnit = L"MB/s";
        } else if (Speed >= 1024) {
            speedFactor = 1.0 / 1024;
            speedUnit = L"KB/s";
        }
        const int shown = static_cast<int>(Speed * speedFactor + 0.5);
        FormatString(speedText, 128, L" (%d %s) ", shown, speedUnit);
        if (static_cast<uint32_t>(now - LastLogTick) > 2000) {
            LastLogTick = now;
            LogPrintf(L"Downloading @ %d %s\n", shown, speedUnit);
        }
    }

    wchar_t timeText[160] = L"";
    if (EstimateMean > wallClock + 10 && EstimateError < 60) {
        // A very slow link puts the finish beyond what an int holds.
        const double ahead = std::floor(EstimateMean - wallClock + 0.5);
        const int seconds = ahead >= INT_MAX ? INT_MAX : static_cast<int>(ahead);
        const int hours = seconds / 3600;
        const int minutes = static_cast<int>(std::floor(static_cast<float>(seconds / 60 - hours * 60) + 0.5f +
                                                        static_cast<float>(seconds % 60) / 60.0f));
        if (hours > 0)
            FormatString(timeText, 160, L" ~%0.1f %s", minutes / 60.0f + hours, HoursText);
        else if (minutes > 0)
            FormatString(timeText, 160, L" ~%d %s", minutes, minutes > 1 ? MinutesText : MinuteText);
    }

    wchar_t text[kTextCapacity];
    FormatString(text, kTextCapacity, L"%0.1f %s%s%s", left, unit, speedText, timeText);
    return text;
}

void ReqDownload::UpdateStatusText(HWND page, int64_t done, int64_t total)
{
    if (HeadlessMode)
        return;
    HWND control = GetDlgItem(GetParent(page), IDC_STATUS_DETAIL);
    wchar_t current[kTextCapacity] = L"";
    GetWindowTextW(control, current, static_cast<int>(kTextCapacity));
    std::wstring text = ComposeStatusText(done, total, timeGetTime(), static_cast<double>(time(nullptr)));
    if (text != current)
        SetTransparentText(control, text.c_str());
}

StatisticsMap ReqDownload::AddDownloadStatistics()
{
    std::lock_guard<std::mutex> lock(StatisticsLock);
    Statistics.emplace(L"TotalDownloaded", WindowBytes);
    Statistics.emplace(L"DownloadedContent", DownloadedContent);
    Statistics.emplace(L"DownloadSize", DownloadSize);
    Statistics.emplace(L"DownloadTime", static_cast<int64_t>(WindowMs));
    return Statistics;
}

void ReqDownload::PutStatistic(const std::wstring& key, int64_t value)
{
    std::lock_guard<std::mutex> lock(StatisticsLock);
    Statistics.emplace(key, value);
}

void ReqDownload::CountStatistic(const std::wstring& key)
{
    std::lock_guard<std::mutex> lock(StatisticsLock);
    ++Statistics[key];
}

void ReqDownload::FinishCounts(int64_t done)
{
    DownloadedContent = done;
    WindowBytes += done - LastSampleBytes;
}
