// Helpers of the machine-step tests: a parent window with the shared
// controls step pages drive, and waits for the messages pages post to it.
#pragma once

#include "steps_test_support.h"

#include <windows.h>

#include <string>
#include <vector>

namespace machine_test {

// A plain top-level window with the main and second button and the status
// line as children, as the main window has them.
class PageParent {
  public:
    PageParent();
    HWND get() const { return window_.get(); }
    HWND Item(int id) const { return GetDlgItem(window_.get(), id); }
    std::wstring ItemText(int id) const;
    // The texts sent with WM_STEP_SHOW_TEXT (wide), in order; a hidden pane
    // is recorded as "<none>".
    std::vector<std::wstring> shownTexts;

  private:
    steps_test::PlainWindow window_;
};

// Dispatches this thread's messages until one with the given id is posted
// to window (taken, not dispatched) or timeoutMs has passed.
bool WaitForPosted(HWND window, UINT message, MSG* taken, DWORD timeoutMs);

// Keeps the registry value "DownloadDir" and puts it back afterwards.
class DownloadDirGuard {
  public:
    DownloadDirGuard();
    ~DownloadDirGuard();

  private:
    std::wstring saved_;
};

} // namespace machine_test
