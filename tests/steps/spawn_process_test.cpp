// The child-process runner against the game's stand-in: output lines from
// split writes, a zero byte and high bytes; the title's progress on the
// bar; exit codes and a start failure; the graceful and the forced stop; a
// flood of output and a grandchild that keeps the pipes open.
#include "applet_test_support.h"
#include "log.h"
#include "localization.h"
#include "process/spawn_process.h"
#include "progress.h"
#include "requirement_queue.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "steps_test_support.h"
#include "strings.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

using applet_test::RunStepToEnd;
using applet_test::StepErrorText;
using testing_support::BuildFolder;
using testing_support::LogCapture;

using steps_test::Text;

namespace {

// Runs the stand-in (or any command line) and keeps what it reports.
class ChildStep : public ReqSpawnProcess {
  public:
    explicit ChildStep(const std::wstring& script, const std::wstring& commandLine = L"")
        : commandLine_(commandLine.empty() ? L"\"" + BuildFolder() + L"\\Vantorel.x64.exe\"" : commandLine)
    {
        SetEnvironmentVariableW(L"VANTOREL_STANDIN", script.c_str());
    }
    ~ChildStep() override { SetEnvironmentVariableW(L"VANTOREL_STANDIN", nullptr); }
    void BuildCommandLine(wchar_t* buffer, size_t capacity) override
    {
        CopyString(buffer, capacity, commandLine_.c_str());
    }
    const char* GetStatusKey() override { return "VERIFYING_DOWNLOAD_CACHE"; }
    const char* GetFailureKey() override { return "DefragCrashed"; }
    bool CheckExitCode(DWORD code) override
    {
        exitCode = code;
        return code == 0;
    }
    void OnFinished(bool ok) override
    {
        CloseProcessHandles();
        finished = true;
        if (ok)
            PostStepSucceeded(page);
        else
            PostStepFailed(GetParent(page), page, CHAIN_RETRY_PROMPT);
    }
    void OnOutputLine(const std::wstring& line) override
    {
        if (++active_ > 1)
            overlapped = true;
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (keepLines)
                lines.push_back(line);
            ++lineCount;
            totalLength += line.size();
            longest = std::max(longest, line.size());
        }
        --active_;
    }

    bool keepLines = true;
    std::vector<std::wstring> lines;
    size_t lineCount = 0;
    size_t totalLength = 0;
    size_t longest = 0;
    std::atomic<bool> overlapped{false};
    DWORD exitCode = 0xFFFFFFFF;
    bool finished = false;

  private:
    std::wstring commandLine_;
    std::mutex lock_;
    std::atomic<int> active_{0};
};

// The bar's highest position while the step ran (the step is the queue's
// front for UpdateProgress).
HWND BarWindow = nullptr;
int HighestBar = 0;
void ReadBar(Requirement&, HWND)
{
    UpdateProgress(BarWindow);
    HighestBar = std::max(HighestBar,
                          static_cast<int>(SendDlgItemMessageW(BarWindow, IDC_PROGRESS, PBM_GETPOS, 0, 0)));
}

class SpawnProcessTest : public testing::Test {
  protected:
    void SetUp() override { steps_test::ResetQueueState(); }
    void TearDown() override
    {
        SpawnTimings = SpawnProcessTimings();
        steps_test::ResetQueueState();
    }
    steps_test::PlainWindow parent_{true};
    LogCapture log_;
};

} // namespace

TEST_F(SpawnProcessTest, LinesTitleProgressAndSuccess)
{
    ChildStep* step = new ChildStep(L"raw:abc\\r\\ndef;sleep:150;raw:ghi\\r;sleep:150;raw:\\n;sleep:150;"
                                    L"raw:x\\0lost\\n;sleep:150;raw:\\xC3\\xA9;err:on error;title:Repair 45%;"
                                    L"sleep:1200;raw:tail;exit:0");
    AppendStep(step, L"Child");
    BarWindow = parent_.get();
    HighestBar = 0;
    applet_test::StepOutcome outcome = RunStepToEnd(*step, parent_.get(), 60000, ReadBar);

    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(0u, step->exitCode);
    EXPECT_EQ(Text("VERIFYING_DOWNLOAD_CACHE"), parent_.StatusText());
    // The zero byte ends its chunk; bytes above 0x7F stay single units.
    std::vector<std::wstring> output;
    for (const std::wstring& line : step->lines) {
        if (line != L"on error\n")
            output.push_back(line);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"abc\n", L"defghi\n", L"x\u00C3\u00A9tail\n"}), output);
    EXPECT_EQ(4u, step->lines.size());
    EXPECT_FLOAT_EQ(0.45f, step->GetProgress());
    EXPECT_NEAR(0.45 * 0x10000, HighestBar, 2);
    EXPECT_FALSE(step->overlapped);
    EXPECT_TRUE(log_.Contains("ReqSpawnProcess - InitDialog"));
    EXPECT_TRUE(log_.Contains("Process returned 0"));
    RequirementQueue.clear();
}

TEST_F(SpawnProcessTest, StartFailureAndRefusedExitCode)
{
    {
        std::wstring missing = L"\"" + BuildFolder() + L"\\no_such_game.exe\" -silent";
        ChildStep step(L"", missing);
        applet_test::StepOutcome outcome = RunStepToEnd(step, parent_.get());
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(CHAIN_RETRY_PROMPT, outcome.chain);
        EXPECT_FALSE(step.finished);
        EXPECT_EQ(Text("NO_EXECUTABLE"), StepErrorText());
        EXPECT_TRUE(log_.Contains("CreateProcess failed: "));
        EXPECT_TRUE(log_.Contains("no_such_game.exe\r\nCould not read binary file\r\n"));
    }
    {
        ChildStep step(L"out:crashing;exit:0xC0000005");
        applet_test::StepOutcome outcome = RunStepToEnd(step, parent_.get());
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(0xC0000005u, step.exitCode);
        EXPECT_EQ(Text("DefragCrashed") + L"\r\n\r\n" + Text("AppletCrashed"), StepErrorText());
        EXPECT_TRUE(log_.Contains("Process returned -1073741819"));
    }
}

TEST_F(SpawnProcessTest, GracefulAndForcedStop)
{
    SpawnTimings.stopWaitMs = 300;
    SpawnTimings.stopReleases = 3;
    for (bool honour : {true, false}) {
        ChildStep step(honour ? L"out:started;sleep:30000;exit:5"
                              : L"ignorestop;out:started;sleep:30000;exit:5");
        HWND page = step.Run(parent_.get());
        ASSERT_NE(nullptr, page);
        for (int i = 0; i < 500 && step.lines.empty(); ++i) {
            Sleep(20);
            steps_test::PumpMessages();
        }
        ASSERT_FALSE(step.lines.empty());
        DestroyWindow(page);
        EXPECT_FALSE(step.processHandle);
        EXPECT_FALSE(step.finished);
        EXPECT_TRUE(log_.Contains("Waiting for applet to gracefully shut down\r\n"));
        EXPECT_EQ(!honour, log_.Contains("Grace period expired; terminating process\r\n")) << honour;
        EXPECT_EQ(honour, step.lines.back() == L"SoakStop received\n") << honour;
    }
}

TEST_F(SpawnProcessTest, FloodAndGrandchildEndWithoutHang)
{
    // Three megabytes without a line end, then lines of 100 bytes: lines
    // are cut at the splitter's limit, nothing is lost, nothing waits.
    {
        ChildStep step(L"flood:3000000,0;raw:\\n;flood:1000000,100;out:end");
        step.keepLines = false;
        applet_test::StepOutcome outcome = RunStepToEnd(step, parent_.get(), 120000);
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_LE(step.longest, OutputLineSplitter::MaxLine + 1);
        // Every byte but the carriage return arrives, and each cut adds
        // its line feed: 45 cuts of the long line, its end, 10000 lines of
        // 100 and "end".
        EXPECT_EQ(4000005u + 45u, step.totalLength);
        EXPECT_EQ(45u + 1u + 10000u + 1u, step.lineCount);
    }
    // A grandchild holds the pipes for 30 s after the child ended: the
    // readers are asked to stop after their grace period, so the step ends
    // long before the grandchild does.
    {
        SpawnTimings.readerGraceMs = 300;
        ChildStep step(L"grandchild:30000;out:parent done;exit:0");
        applet_test::StepOutcome outcome = RunStepToEnd(step, parent_.get(), 15000);
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_EQ(std::vector<std::wstring>{L"parent done\n"}, step.lines);
    }
}
