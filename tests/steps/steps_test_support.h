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

// A top-level window of a private class, destroyed with the object.
class PlainWindow {
public:
    PlainWindow();
    ~PlainWindow();
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

// Removes a pending quit message of this thread; true when there was one.
bool TakeQuitMessage();

// Dispatches the thread's pending messages (no quit message is taken).
void PumpMessages();

// Resets the queue's module state, the statistics and the command line.
void ResetQueueState();

} // namespace steps_test
