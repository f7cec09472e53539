// Helpers of the steps tests: a captured LauncherLog, steps that record
// what happens to them, a plain parent window and the quit message.
#pragma once

#include "requirement.h"
#include "log_capture.h"
#include "test_support.h"

#include <windows.h>

#include <string>
#include <vector>

namespace steps_test {

using testing_support::LogCapture;

// A step with a fixed result of Run; it appends "run <tag>" and
// "delete <tag>" to a shared journal.
class JournalStep : public Requirement {
public:
    JournalStep(std::vector<std::wstring>& journal, std::wstring tag, StepKind kind = STEP_PROGRESS_NORMAL,
                HWND result = nullptr)
        : Requirement(kind), journal_(journal), tag_(std::move(tag)), result_(result)
    {
    }
    ~JournalStep() override { journal_.push_back(L"delete " + tag_); }
    HWND Run(HWND) override
    {
        journal_.push_back(L"run " + tag_);
        return result_;
    }
    StatisticsMap GetStatistics() override { return statistics; }
    float GetProgress() override { return progress; }

    StatisticsMap statistics;
    float progress = NO_STEP_PROGRESS;

private:
    std::vector<std::wstring>& journal_;
    std::wstring tag_;
    HWND result_;
};

// A top-level window of a private class, destroyed with the object. With
// mainWindowItems it has the main window's status line and progress bar.
class PlainWindow {
public:
  explicit PlainWindow(bool mainWindowItems = false);
  ~PlainWindow();
  HWND get() const { return window_; }
  std::wstring StatusText() const;

private:
    HWND window_ = nullptr;
};

// A stand-in main window for steps with pages: it has the main and
// alternative buttons and the status line, and records the step messages
// it receives (texts sent with WM_STEP_SHOW_TEXT are copied).
class StepHost {
public:
    StepHost();
    ~StepHost();
    HWND get() const { return window_; }
    HWND button() const { return GetDlgItem(window_, 1044); }

    // Pumps messages until a WM_STEP_SUCCEEDED or WM_STEP_FAILED arrives
    // (at most timeoutMs); true when one did.
    bool WaitForEnd(DWORD timeoutMs = 20000);

    // When set, WM_STEP_SUCCEEDED from the current page moves the queue on
    // as the main window does.
    bool driveQueue = false;
    int succeeded = 0;
    int failed = 0;
    std::vector<std::string> narrowTexts;  // WM_STEP_SHOW_TEXT with wParam 1
    std::vector<std::wstring> wideTexts;   // with wParam 0
    std::vector<std::string> pageKeys;     // WM_STEP_PAGE_SHOWN
    std::vector<int> shownAgreementAtText; // ShownAgreement when a text arrived

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
};

// Removes a pending quit message of this thread; true when there was one.
bool TakeQuitMessage();

// Dispatches the thread's pending messages (no quit message is taken).
void PumpMessages();

// Resets the queue's module state, the statistics and the command line.
void ResetQueueState();

// The localised text of a key in the current language.
std::wstring Text(const char* key);

} // namespace steps_test
