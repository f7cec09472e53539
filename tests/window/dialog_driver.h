// Drives the launcher's modal dialogs from inside their own modal loops: each
// step runs on a timer tick with the dialog that is current then (the
// enabled, visible dialog of this thread), so a step that opens another
// modal dialog lets the next step drive that one.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace window_test {

class DialogDriver {
  public:
    using Step = std::function<void(HWND dialog)>;

    DialogDriver& Then(Step step);

    // Runs open() (which enters the modal loop) while the steps are fed to
    // the dialogs. Dialogs still open once the steps are used up, or after
    // timeoutMs, are ended. True when every step ran and no dialog had to
    // be ended.
    bool Run(const std::function<void()>& open, unsigned timeoutMs = 5000);
};

// The current modal dialog of this thread, or null.
HWND CurrentDialog();

// A click as the user makes it (the button's own BM_CLICK).
void Click(HWND dialog, int id);
// Selects a list position and tells the dialog, as a choice in the list does.
void Choose(HWND dialog, int id, int position);
bool Ticked(HWND dialog, int id);
std::wstring ItemText(HWND dialog, int id);
// The dialog repainted and, once the screen shows it painted (at most 5 s,
// else a test failure), written to artifacts\name.bmp.
void KeepPicture(HWND dialog, const std::wstring& name);

} // namespace window_test
