// A launcher started by a test: run to its end the way a player would end it
// (PLAY on the ready page, or closing the window on the ready or retry
// page), or ended at a moment of the test's choosing, the way a crash or a
// power cut would end it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// The last page a run showed before it ended.
enum class LauncherPage { None, Ready, Retry };

class LauncherProcess {
  public:
    // Starts the built Launcher.exe with arguments.
    explicit LauncherProcess(const std::wstring& arguments);
    // Starts program (a full path) with arguments.
    LauncherProcess(const std::wstring& program, const std::wstring& arguments);
    ~LauncherProcess(); // a launcher still running is killed
    LauncherProcess(const LauncherProcess&) = delete;
    LauncherProcess& operator=(const LauncherProcess&) = delete;

    bool Started() const { return process_ != nullptr; }
    bool Running() const;
    // Polls done() every 10 ms; false when the launcher ended first or
    // timeoutMs passed.
    bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
    // Terminates the process at once and waits (bounded) until it is gone.
    void Kill();
    // Waits, touching nothing, until the launcher ends by itself. Returns
    // the exit code, or nothing when it still runs after timeoutMs (it is
    // left running).
    std::optional<int> WaitForItsEnd(DWORD timeoutMs);

    // Waits, pumping this thread's messages (a second launcher may ask a
    // window of this thread to come forward), until the launcher ends. On
    // the ready page it presses PLAY when pressPlay, else closes the window;
    // on the retry page it closes the window. Returns the exit code, or
    // nothing when the launcher still runs after timeoutMs (it is then
    // killed).
    std::optional<int> RunToItsEnd(bool pressPlay = false, DWORD timeoutMs = 120000);
    // Once: presses PLAY (when pressPlay) or closes the window when the
    // launcher shows a ready or retry page it has not been handled on.
    void HandlePage(bool pressPlay);
    // The page last handled.
    LauncherPage LastPage() const { return lastPage_; }

    // The launcher's main window, null while it has none.
    HWND Window() const { return MainWindow(); }
    // The caption of the main button while it is enabled, else "".
    std::wstring EnabledMainButton() const;
    // The text the Win32 text pane holds (with the browser interface, the
    // hidden pane through which texts reach the page).
    std::wstring PaneText() const;
    // Where the main button is on the screen: the Win32 button, or where
    // the browser interface draws its own when the Win32 one is hidden.
    POINT MainButtonOnScreen() const;

  private:
    HWND MainWindow() const;
    // The page the main window shows now, judged by its main button.
    LauncherPage CurrentPage(HWND window) const;

    HANDLE process_ = nullptr;
    HWND handledWindow_ = nullptr;
    LauncherPage lastPage_ = LauncherPage::None;
};

// Runs the built Launcher.exe with "-headless" and arguments as a script
// does, through testing_support::RunProcess: standard output and error are
// one pipe, read into *output while it runs. Waits at most timeoutMs;
// returns the exit code, or nothing when the launcher still ran (it is then
// ended from outside, as by a script's time-out, and the test goes on).
// onStart, when given, is called with the launcher's process id as soon as
// it runs.
std::optional<int> RunHeadless(const std::wstring& arguments, std::string* output, DWORD timeoutMs = 120000,
                               const std::function<void(DWORD processId)>& onStart = nullptr);

// Whether some launcher of this user holds the single-instance mutex.
bool LauncherInstanceRunning();

// A string value of the launcher's client-type settings ("ReadCba", ...),
// "" when it is missing.
std::wstring ClientTypeSetting(const wchar_t* name);

// Clicks the left mouse button with the real pointer at a point of the
// screen, clicks times in a row, 120 ms from one press to the next (two:
// the double click of a quick hand).
void ClickScreenAt(POINT point, int clicks = 1);

// The size of a file, -1 when it does not exist.
int64_t FileSize(const std::wstring& path);
