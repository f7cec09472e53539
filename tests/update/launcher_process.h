// A launcher started by a test that the test may end at a moment of its
// choosing, the way a crash or a power cut would end it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class LauncherProcess {
  public:
    // Starts the built Launcher.exe with arguments.
    explicit LauncherProcess(const std::wstring& arguments);
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

  private:
    HANDLE process_ = nullptr;
};

// The size of a file, -1 when it does not exist.
int64_t FileSize(const std::wstring& path);
