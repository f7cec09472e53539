// Helpers of the machine-step tests: a parent window with the shared
// controls step pages drive, waits for the messages pages post to it, and a
// user that answers real dialogs.
#pragma once

#include "steps_test_support.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
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

// What a person does with one showing of a dialog: the shell's folder
// dialog, or a message box.
struct DialogAnswer {
    std::wstring typed;      // folder dialog: text for its edit box; empty leaves it
    bool ok = true;          // OK, else Cancel
    bool messageBox = false; // the answer is for a message box, not the folder dialog
};

// Answers, from a thread of its own as a person at the screen would, the
// dialogs that one thread (processId 0) or one process shows: one answer
// each, in order, each for a dialog not answered before. An answer counts
// once its dialog is no longer shown; while the dialog stays it is given
// again. When a dialog does not come in time, an answer does not take, or a
// dialog comes after the answers are used up, the user ends every dialog
// shown from then on (Cancel, then closing it). A dialog of this thread
// that takes neither, or that the user cannot find, is ended from this
// thread: a timer of the thread that made the user ends, from within the
// modal loop, every dialog of the thread still open ENDING_MS after the
// user began ending, so that loop returns and leaves the queue as it was.
// (A dialog of another process that takes neither gets a quit message to
// its thread.) The destructor stops the user and fails the test with what
// went wrong. So a miss is a failed test with a message, never a run that
// waits for ever.
class DialogUser {
  public:
    DialogUser(DWORD threadId, std::vector<DialogAnswer> answers, DWORD processId = 0);
    ~DialogUser();
    DialogUser(const DialogUser&) = delete;
    DialogUser& operator=(const DialogUser&) = delete;

    // The answers that took.
    int Answered() const { return answered_; }
    // Whether some user ends the dialogs instead of answering them: a
    // stand-in message box should then let the code under test leave.
    static bool AnyEnding() { return endingUsers_ > 0; }

    // How long a dialog is waited for, and how long an answer may take.
    static constexpr DWORD APPEAR_MS = 60000;
    static constexpr DWORD TAKE_MS = 30000;
    // How long a dialog of the thread may stay once the user ends dialogs.
    static constexpr DWORD ENDING_MS = 3000;

  private:
    enum class Kind { ANY, FOLDER_DIALOG, MESSAGE_BOX };
    // A dialog of the thread or process on screen and taking input, of the
    // kind, and not one answered before unless anyAnswered.
    HWND FindShown(Kind kind, bool anyAnswered = false) const;
    void Answer();
    void EndTheRest();
    void Fail(const std::string& what);
    // This thread's timer: ends the dialogs the user has left too long.
    static void CALLBACK EndLeftDialogs(HWND, UINT, UINT_PTR, DWORD);

    DWORD threadId_;
    DWORD processId_;
    std::vector<DialogAnswer> answers_;
    std::vector<HWND> answeredDialogs_;
    std::string failures_; // written under failuresLock_, read once the user has ended
    std::atomic<int> answered_{0};
    std::atomic<bool> stop_{false};
    std::atomic<DWORD> endingSince_{0}; // the tick count (made odd: never 0) once the user ends dialogs
    std::mutex failuresLock_;
    // Whether the dialogs are this thread's, ended here by timer_.
    const bool endedHere_;
    UINT_PTR timer_ = 0;
    std::vector<std::pair<HWND, DWORD>> seenSince_; // this thread's: a dialog and when the timer saw it
    DialogUser* outerUser_ = nullptr;
    static std::atomic<int> endingUsers_;
    std::thread thread_;
};

} // namespace machine_test
