// ReqSpawnProcess: a step that runs one child process to its end while the
// launcher's page shows a status line.
//
// The child starts hidden with its standard input, output and error on
// pipes; its output lines reach OnOutputLine (one at a time, from the two
// reader threads of pipe_reader.h); its progress comes from the title of its
// top-level window ("Word 45%"), read by the page's 33 ms timer, which also
// notices the end and judges the exit code. When the page goes while the
// child still runs, the child is asked to stop through the semaphore
// "SoakStop" (released once a second) and terminated after the 30th release.
//
// Every CreateProcessW of the launcher's steps is made here.
#pragma once

#include "child_environment.h"
#include "pipe_reader.h"
#include "requirement.h"
#include "scoped_handles.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

// The waits of the stop and of the end of the output readers. Tests shorten
// them; the launcher keeps the defaults.
struct SpawnProcessTimings {
    DWORD stopWaitMs = 1000;    // wait for the child after each "SoakStop" release
    int stopReleases = 30;      // releases before the child is terminated
    DWORD readerGraceMs = 2000; // readers may go on this long after the child ended
    DWORD readerStopMs = 5000;  // wait for a reader asked to stop, before it is detached
};
extern SpawnProcessTimings SpawnTimings;

// Size of the command-line buffer BuildCommandLine fills.
constexpr size_t SPAWN_COMMAND_LINE_CAPACITY = 1024;

class ReqSpawnProcess : public Requirement {
  public:
    explicit ReqSpawnProcess(StepKind kind = STEP_PROGRESS_NORMAL);
    ~ReqSpawnProcess() override;

    // Shows the process page, whose creation starts the child.
    HWND Run(HWND parent) override;
    float GetProgress() override;

    // The child's command line, cut to capacity and terminated.
    virtual void BuildCommandLine(wchar_t* buffer, size_t capacity) = 0;
    // Null: the launcher's own folder.
    virtual const wchar_t* GetWorkingDirectory();
    // Leaving block empty lets the child inherit the launcher's environment.
    virtual void BuildEnvironment(EnvironmentBlock& block);
    virtual const char* GetStatusKey() = 0;
    virtual const char* GetFailureKey() = 0;
    // Whether the exit code counts as success; may set the StepError.
    virtual bool CheckExitCode(DWORD code) = 0;
    // The child and its readers have ended; subclasses close the handles
    // (as this does) and post the step's end.
    virtual void OnFinished(bool ok);
    // The child could not be started (error is the system's code): sets the
    // StepError and asks for the retry page.
    virtual void OnStartFailed(DWORD error);
    // One line of the child's output with its "\n"; base: to the log.
    virtual void OnOutputLine(const std::wstring& line);
    // The child's window title; "%s %u%%" sets progress.
    virtual void ParseWindowTitle(const wchar_t* title);

    static INT_PTR CALLBACK DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

    // Used by the page procedure and by OnFinished.
    void StartProcess();
    void PollProcess();
    void StopProcess();
    void CloseProcessHandles();

    HWND page = nullptr;
    std::atomic<float> progress{0.0f};
    // The child: its process handle (its thread handle is closed at once)
    // and its id; empty when no child runs.
    UniqueHandle processHandle;
    DWORD processId = 0;
    UniqueHandle stdinWrite; // kept open, never written
    UniqueHandle stdoutReader;
    UniqueHandle stderrReader;
    HWND childWindow = nullptr;

  private:
    static BOOL CALLBACK FindProcessWindowProc(HWND window, LPARAM step);
    bool ReadersEnded();
    // Waits graceMs for each reader, then asks it to stop and waits stopMs;
    // a reader that still runs is left behind, detached from the step.
    void EndReaders(DWORD graceMs, DWORD stopMs);
    void ReadChildTitle();

    std::shared_ptr<OutputSink> outputSink_;
    UniqueHandle readersStop_;
    ULONGLONG childEndedTick_ = 0; // when the poll first saw the child ended
};

// Whether window is on the owner chain of owned.
bool IsOwnedWindow(HWND window, HWND owned);

// Diagnostics after a failed start: the executable of the command line, its
// owner, and the current user.
void LogExecutableOwner(const wchar_t* commandLine);
void LogAccountOfSid(PSID owner);
