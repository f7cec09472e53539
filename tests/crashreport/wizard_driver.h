// Drives the report wizard from inside the test process, like a user.
//
// A thread timer of the test's thread runs a script while the wizard's modal
// loop (or the details dialog's) dispatches messages: for each step it waits
// until the wizard shows the step's page (and, when asked, until Next or
// Finish can be pressed), records what the page shows, keeps a screenshot,
// and acts through the sheet's own messages (PSM_PRESSBUTTON) or a posted
// button click. Actions are posted, never sent, so no dialog ever runs
// inside the timer. A script that does not finish within its time limit
// cancels the wizard, so a test never hangs.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace wizard_testing {

// The details dialog in a script (the pages are named by their dialog ids).
constexpr int DETAILS_DIALOG = 104;

enum class Action {
    LOOK, // records the page and acts not
    NEXT,
    BACK,
    FINISH,
    CANCEL,
    TYPE_AND_NEXT,    // types Step::text into the repro steps edit, then Next
    CLICK_DETAILS,    // the page's Details button
    SHOW_IN_EXPLORER, // the details dialog's folder button (the dialog stays)
    OK,               // closes the details dialog
    CLOSE,            // closes the details dialog with its close box
};

struct Step {
    int page; // dialog id expected on screen
    Action action;
    bool waitForForward = false; // wait until Next or Finish is enabled
    std::wstring text;           // for TYPE_AND_NEXT
    std::wstring screenshot;     // file name (no extension) under the artefacts; "" for none
};

// What a page showed when its step ran.
struct Visit {
    int page = 0;
    std::wstring caption;                                            // the sheet's (or dialog's) caption
    std::map<int, std::wstring> texts;                               // control id -> text
    std::map<int, bool> visible;                                     // control id -> visible
    bool back = false, next = false, finish = false, cancel = false; // enabled and shown
    std::wstring screenshot; // full path of the kept bitmap, "" when none
};

class WizardDriver {
  public:
    explicit WizardDriver(std::vector<Step> script, unsigned timeLimitMs = 90000);
    ~WizardDriver();
    WizardDriver(const WizardDriver&) = delete;
    WizardDriver& operator=(const WizardDriver&) = delete;

    bool Finished() const { return next_ == script_.size(); }
    bool TimedOut() const { return timedOut_; }
    const std::vector<Visit>& Visits() const { return visits_; }
    // Every page id the sheet showed, in order, repeats included.
    const std::vector<int>& PagesSeen() const { return pagesSeen_; }

    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD);

  private:
    void Tick();
    bool RunStep(const Step& step);

    std::vector<Step> script_;
    size_t next_ = 0;
    unsigned ticksLeft_;
    bool timedOut_ = false;
    bool busy_ = false;
    UINT_PTR timer_ = 0;
    std::vector<Visit> visits_;
    std::vector<int> pagesSeen_;
};

// The folder where screenshots are kept: "artifacts" in the build tree.
std::wstring ArtifactsFolder();

// Writes the picture of the window's client area to path as a 24-bit BMP.
bool CaptureWindow(HWND window, const std::wstring& path);

// The sheet of the wizard on this thread, or null.
HWND FindWizardSheet();
// The same for another thread; it asks nothing of that thread's windows,
// so it also works while the thread does not answer.
HWND FindWizardSheetOf(DWORD threadId);

// The dialog id of the sheet's current page, or 0.
int CurrentPageId(HWND sheet);

} // namespace wizard_testing
