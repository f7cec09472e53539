// Step pages: every step takes part in the user interface through the same
// empty, invisible child dialog (IDD_STEP_PAGE) of the main window. Its
// procedure drives the parent's shared controls and receives the action
// buttons' commands, which the main window passes on to the current page.
#pragma once

#include "exit_codes.h"

#include <windows.h>

#define IDD_STEP_PAGE 101

// Makes the page window modeless from the launcher's own module; null (with
// the thread's last error set) when it cannot be made, as where no window
// driver runs. Tests replace it to stand for such a machine.
using StepPageCreator = HWND (*)(HWND parent, DLGPROC proc, LPARAM param);
extern StepPageCreator CreateStepPageWindow;

// What a step whose page cannot be made does.
enum class PageFailure {
    FailStep, // the step fails to the retry page; headless, the run ends
    EndRun,   // the run ends: the retry page itself has nowhere to go
};

// Shows the page of a step. proc may be null; param is the step, or for the
// one-button pages a narrow key. Returns the page, or, when it cannot be
// made, parent: the step has then not finished but failed. The failure is
// logged with the system's reason, and the step's end is already on its way
// (WM_STEP_FAILED with CHAIN_RETRY_PROMPT and the reason as StepError), or
// the run ends with EXIT_NO_STEP_PAGE, as onFailure and HeadlessMode say.
HWND ShowStepPage(HWND parent, DLGPROC proc, LPARAM param, PageFailure onFailure = PageFailure::FailStep);

// A person's press counts only for a page that was on screen when the press
// began, and for a moment before it: the second click of a double click, or
// a click that was on its way while the page changed, would otherwise act on
// a page that was never seen (an agreement accepted unread). The moment is
// longer than the second half of a quick double click and shorter than anyone
// takes to read a new page's button.
constexpr DWORD PAGE_SETTLE_MS = 500;
// Whether a press that began at pressBegan (ticks) is one for a page shown at
// pageShown; the tick count may wrap between the two.
bool PressCountsForPage(DWORD pressBegan, DWORD pageShown);
// When the last step page was shown (GetTickCount), or 0 before the first.
DWORD StepPageShownAt();

// Ends a headless run that did not succeed: logs that it ends with exitCode
// and posts the quit message with it.
void EndFailedRun(int exitCode);

// The exit code of a headless run that ends on the QUIT page of key:
// EXIT_MACHINE_UNSUPPORTED for the machine's own shortcomings, else
// EXIT_RUN_FAILED.
int QuitPageExitCode(const char* key);

// One-button pages whose creation parameter is the narrow localisation key
// of the message to show. QUIT ends the launcher (with 0; headless, with
// QuitPageExitCode of the key); OK finishes the step (WM_STEP_SUCCEEDED to
// the parent). With no buttons to press (headless) both act at once, after
// the message has been shown.
INT_PTR CALLBACK QuitPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OkPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
