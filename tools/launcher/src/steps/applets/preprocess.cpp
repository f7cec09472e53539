#include "applet_steps.h"

#include "maintenance_requests.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "log.h"
#include "step_error.h"
#include "strings.h"
#include "binaries/install_purge.h"

#include <algorithm>
#include <cwchar>

namespace {

// Waste beyond which the main chain's Defrag1 offers a defragmentation
// (strictly greater): the public cluster, then the others.
constexpr uint64_t PUBLIC_WASTE_BYTES = 0x20000000;
constexpr uint64_t OTHER_WASTE_BYTES = 0x40000000;
constexpr int32_t PUBLIC_WASTE_PERCENT = 33;
constexpr int32_t OTHER_WASTE_PERCENT = 50;

bool Contains(const std::wstring& line, const wchar_t* text)
{
    return line.find(text) != std::wstring::npos;
}

} // namespace

void ReqPreprocess::OnOutputLine(const std::wstring& line)
{
    ReqApplet::OnOutputLine(line);
    if (Contains(line, L"All stripped assets preprocessed")) {
        progress = 1.0f;
        if (!HasOption(L"-force:content_failure"))
            SuccessLineSeen = true;
    }
    if (Contains(line, L"stripped assets still pending preprocess")) {
        SetStepErrorKey("PreprocessFailed", false);
        CountStatistic(L"PreprocessFailed");
    }
    if (Contains(line, L"GetFromHTTP failed"))
        ++HttpFailures;
    if (Contains(line, L": Used shared /"))
        ++SharedUses;
    if (Contains(line, L"Wasted cache space: ")) {
        std::wstring figures = line.substr(line.rfind(L':'));
        figures.erase(std::remove(figures.begin(), figures.end(), L','), figures.end());
        unsigned long long bytes = 0;
        int percent = 0;
        if (swscanf(figures.c_str(), L": %llu bytes (%d%%)", &bytes, &percent) == 2) {
            WastedBytes = bytes;
            WastedPercent = percent;
        } else {
            LogWrite(L"Could not parse wasted cache space\n");
            WastedBytes = 0;
            WastedPercent = 0;
        }
    }
}

void ReqPreprocess::ParseWindowTitle(const wchar_t* title)
{
    long long done = 0, total = 0;
    int percent = 0;
    if (swscanf(title, L"Preprocess %lld/%lld %d%%", &done, &total, &percent) == 3) {
        progress = total != 0 ? static_cast<float>(done) / static_cast<float>(total) : percent / 100.0f;
        UpdateStatusText(page, done, total);
    } else if (swscanf(title, L"Preprocess %d%%", &percent) == 1) {
        progress = percent / 100.0f;
    }
}

void ReqPreprocess::OnFinished(bool ok)
{
    CloseProcessHandles();
    if (ok && SuccessLineSeen) {
        FinishCounts(DownloadSize);
        uint64_t wasted = WastedBytes;
        for (const UnusedCacheFile& file : ListUnusedCacheFiles())
            wasted += static_cast<uint64_t>(file.size);
        WastedBytes = wasted;
        bool isPublic = ServerCluster == SC_PUBLIC;
        if (wasted > (isPublic ? PUBLIC_WASTE_BYTES : OTHER_WASTE_BYTES) ||
            WastedPercent > (isPublic ? PUBLIC_WASTE_PERCENT : OTHER_WASTE_PERCENT))
            DefragTrigger = static_cast<int64_t>(wasted);
        PostSuccess();
        return;
    }
    if (EnableAggressiveDownload && SharedUses != 0 && HttpFailures != 0) {
        LogWrite(L"Automatically disabling aggressive download and retrying\n");
        EnableAggressiveDownload = false;
        PostFailure(CHAIN_MAIN);
        return;
    }
    // An applet that ended well without its success line (and without its
    // own failure line) still needs a reason on the retry page.
    if (ok) {
        std::lock_guard<std::mutex> hold(StatisticsLock);
        if (Statistics.find(L"PreprocessFailed") == Statistics.end())
            SetStepError(AppletFailureText(GetFailureKey()), false);
    }
    PostFailure();
}

StatisticsMap ReqPreprocess::GetStatistics()
{
    if (HttpFailures != 0)
        PutStatistic(L"GetFromHttp_Failures", HttpFailures);
    if (SharedUses != 0)
        PutStatistic(L"ProcessedSuccesfully", SharedUses);
    return AddDownloadStatistics();
}

void ReqPreprocess::GetAppletArguments(wchar_t* buffer, size_t capacity)
{
    CopyString(buffer, capacity, L" -applet:/QX/Types/Framework/ContentUpdate");
    if (!EnableAggressiveDownload)
        AppendString(buffer, capacity, L" unaggressive");
}
