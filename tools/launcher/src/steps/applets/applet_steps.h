// The cache applet steps of the main chain, in their order around the
// content passes: Binaries1, CollectGarbage, Defrag0, Binaries2, Repair,
// Preprocess, Defrag1. Each decides in Run whether it has anything to do
// (null: nothing, the chain goes on), otherwise runs the game's executable
// as an applet and reads its output lines and window title.
#pragma once

#include "applet.h"
#include "download_progress.h"

#include <atomic>
#include <cstdint>

// DefragTrigger's value that runs the defragmenter without asking (set by
// CollectGarbage and the settings dialog's DEFRAG).
constexpr int64_t DEFRAG_WITHOUT_ASKING = -1;

// Clears the garbage of an old texture set: runs when the manifest lists
// exactly six ".TextureDx9." files, all present, and a missing ".LightMap."
// file. Success asks Defrag0 to defragment.
class ReqCollectGarbage : public ReqApplet {
  public:
    ReqCollectGarbage() : ReqApplet(STEP_PROGRESS_NORMAL) {}
    HWND Run(HWND parent) override;
    const char* GetStatusKey() override { return "DEFRAGMENTING_DOWNLOAD_CACHE"; }
    const char* GetFailureKey() override { return "DefragCrashed"; }
    void OnFinished(bool ok) override;
    void GetAppletArguments(wchar_t* buffer, size_t capacity) override;
    const wchar_t* GetLogFileName() override { return L"Clean.log"; }
};

// Defragments the download cache when DefragTrigger asks: Defrag0 (which 0)
// only without asking, Defrag1 (which 1) also by asking the user about a
// number of wasted bytes. Unused cache files are deleted first; too little
// free disk space skips the defragmenter with a message.
class ReqDefrag : public ReqApplet {
  public:
    explicit ReqDefrag(int which) : ReqApplet(STEP_PROGRESS_NORMAL), which(which) {}
    HWND Run(HWND parent) override;
    const char* GetStatusKey() override { return "DEFRAGMENTING_DOWNLOAD_CACHE"; }
    const char* GetFailureKey() override { return "DefragCrashed"; }
    void OnFinished(bool ok) override;
    void GetAppletArguments(wchar_t* buffer, size_t capacity) override;
    const wchar_t* GetLogFileName() override { return L"Defrag.log"; }

    int which;
};

// Verifies the download cache while the verify marker is pending; only the
// applet's success line clears the marker.
class ReqRepair : public ReqApplet {
  public:
    ReqRepair() : ReqApplet(STEP_PROGRESS_NORMAL) {}
    HWND Run(HWND parent) override;
    const char* GetStatusKey() override { return "VERIFYING_DOWNLOAD_CACHE"; }
    const char* GetFailureKey() override { return "RepairCrashed"; }
    void OnFinished(bool ok) override;
    void OnOutputLine(const std::wstring& line) override;
    void GetAppletArguments(wchar_t* buffer, size_t capacity) override;
    const wchar_t* GetLogFileName() override { return L"Repair.log"; }

    std::atomic<bool> RepairSucceeded{false};
};

// Brings the stripped assets up to date: reads the applet's download
// figures from its title and its counters and wasted space from its output;
// much waste asks Defrag1 to offer a defragmentation.
class ReqPreprocess : public ReqApplet, public ReqDownload {
  public:
    ReqPreprocess() : ReqApplet(STEP_PROGRESS_NORMAL) {}
    StatisticsMap GetStatistics() override;
    const char* GetStatusKey() override { return "CHECKING_FOR_NEW_CONTENT"; }
    const char* GetFailureKey() override { return "PreprocessCrashed"; }
    void OnFinished(bool ok) override;
    void OnOutputLine(const std::wstring& line) override;
    void ParseWindowTitle(const wchar_t* title) override;
    void GetAppletArguments(wchar_t* buffer, size_t capacity) override;
    const wchar_t* GetLogFileName() override { return L"Preprocess.log"; }

    // Written by the output lines (one at a time), read on the
    // user-interface thread.
    std::atomic<bool> SuccessLineSeen{false};
    std::atomic<uint32_t> HttpFailures{0};
    std::atomic<uint32_t> SharedUses{0};
    std::atomic<uint64_t> WastedBytes{0};
    std::atomic<int32_t> WastedPercent{0};
};
