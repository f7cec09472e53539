// Helpers of the child-process and applet step tests: an install folder
// holding the game's stand-in and a run of one step to its end message.
#pragma once

#include "requirement.h"
#include "test_support.h"

#include <windows.h>

#include <string>

namespace applet_test {

// The current cluster's install folder in a temporary download folder, with
// Vantorel.x64.exe (the stand-in) in it. The stand-in's script and record go
// through the environment; everything is put back on destruction.
class GameInstall {
  public:
    GameInstall();
    ~GameInstall();
    bool Ready() const { return ready_; }
    std::wstring InstallDir() const;
    std::wstring Exe() const { return InstallDir() + L"\\Vantorel.x64.exe"; }
    std::wstring RecordPath() const { return download_ / L"record.txt"; }
    // The stand-in's script for the next starts.
    void Script(const std::wstring& script);
    // The record's text, "" when nothing was started.
    std::string Record() const;

  private:
    testing_support::TempDir download_;
    bool ready_ = false;
};

struct StepOutcome {
    bool finishedAtOnce = false; // Run returned null
    bool succeeded = false;      // WM_STEP_SUCCEEDED arrived
    bool failed = false;         // WM_STEP_FAILED arrived
    int chain = -1;              // its chain type
};

// Runs the step with parent and dispatches messages until the step's end
// message reaches parent (at most limitMs), then destroys the page as the
// main window does. onTick, when given, runs between message batches.
StepOutcome RunStepToEnd(Requirement& step, HWND parent, DWORD limitMs = 60000,
                         void (*onTick)(Requirement& step, HWND page) = nullptr);

// The StepError's text.
std::wstring StepErrorText();

} // namespace applet_test
