// Helpers of the window tests: the real main window made and torn down with
// the module state it reads, steps that show pages of their own, a bounded
// message pump, a captured LauncherLog and pictures of the screen.
#pragma once

#include "requirement.h"
#include "step_factory.h"
#include "log_capture.h"
#include "test_support.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace window_test {

// What the window is made with.
struct WindowOptions {
    int dpi = 96;              // what the display reports (LOGPIXELSX and Y)
    std::wstring extraOptions; // appended to "Launcher.exe -nocef"
    int clusterAccessLevel = 0;
    int languageIndex = 0;
    int serverCluster = 0;
    std::vector<int> installedLanguages = {0}; // English is always there
    bool startQueue = false;                   // keep the WM_STEP_NEXT of creation
};

// The main window of a test: LoadLauncherImages and CreateMainWindow with
// the given options; destroyed, with the queue cleared, the drawing
// objects deleted and the classes unregistered, on destruction. The
// WM_STEP_NEXT posted by creation is dropped unless startQueue.
class LauncherWindow {
public:
    explicit LauncherWindow(const WindowOptions& options = {});
    ~LauncherWindow();
    LauncherWindow(const LauncherWindow&) = delete;
    LauncherWindow& operator=(const LauncherWindow&) = delete;

    HWND get() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    HWND Pane() const;
    // An item's place in the window's client area.
    RECT ItemRect(int id) const;
    std::wstring Text(int id) const;

private:
    HWND window_ = nullptr;
};

// A step page: a hidden child of the main window that records the commands
// it receives.
HWND CreateTestPage(HWND parent);
std::vector<WPARAM>& PageCommands(HWND page);

// A step whose Run shows a test page (showPage) or finishes at once; it can
// run something inside Run (a modal loop) and counts its deletion.
class FakeStep : public Requirement {
public:
    FakeStep(StepKind kind, bool showPage) : Requirement(kind), showPage_(showPage) {}
    ~FakeStep() override;
    HWND Run(HWND parent) override;
    StatisticsMap GetStatistics() override { return statistics; }
    float GetProgress() override { return progress; }

    HWND page = nullptr;
    float progress = NO_STEP_PROGRESS;
    StatisticsMap statistics;
    std::function<void(FakeStep&, HWND parent)> duringRun;
    static int deleted;
    static int runs;

private:
    bool showPage_;
};

// Makes BuildChain's steps FakeSteps that show pages (so a built chain
// waits), with their usual kinds; the last made is LastFakeStep.
void UseFakeChainSteps();
extern FakeStep* LastFakeStep;

// Pumps this thread's messages until done() or timeoutMs; true when done()
// came true. A quit message is kept in QuitPosted and not dispatched.
bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 5000);
// Pumps for a while (at most timeoutMs, less when nothing is pending).
void PumpFor(unsigned milliseconds);
extern bool QuitPosted;

using testing_support::LogCapture;

// Message boxes answered by the test: each records its text and caption
// and returns Answer.
struct MessageBoxRecord {
    std::wstring text;
    std::wstring caption;
    UINT type;
};
class MessageBoxAnswer {
public:
    explicit MessageBoxAnswer(int answer);
    ~MessageBoxAnswer();
    std::vector<MessageBoxRecord> shown;
};

// The shell's opens recorded instead of made; result is what each returns.
class ShellRecorder {
public:
    explicit ShellRecorder(INT_PTR result = 42);
    ~ShellRecorder();
    std::vector<std::wstring> opened;
};

// Holds keys down (SetKeyboardState) for the object's lifetime.
class HeldKeys {
public:
    explicit HeldKeys(std::initializer_list<int> keys);
    ~HeldKeys();

private:
    std::vector<int> keys_;
};

// Real pointer input through SendInput, in screen coordinates.
void MovePointer(POINT screen);
void PressLeft();
void ReleaseLeft();

// The window's pixels as 32-bit BGRA rows, from the screen; written to
// path as a BMP when path is not empty.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Picture CaptureWindow(HWND window, const std::wstring& path = L"");

// The folder that keeps the run's artefacts (build tree\artifacts).
std::wstring ArtifactFolder();

} // namespace window_test
