// The report wizard's four pages, in the order the user meets them:
// IntroPage, ReproStepsPage, SubmitPage, OutroPage. Each page's procedure
// lives in its own file (page_*.cpp); every procedure gets the
// WizardContext as its page parameter.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <vector>

#include "wizard_context.h"

using PageList = std::vector<PROPSHEETPAGEW>;

// Append each page's description (its dialog, procedure and the context).
void AddIntroPage(PageList& pages, WizardContext* context);
void AddReproStepsPage(PageList& pages, WizardContext* context);
void AddSubmitPage(PageList& pages, WizardContext* context);
void AddOutroPage(PageList& pages, WizardContext* context);

// A page description of the dialog dialogId with the given page flags.
PROPSHEETPAGEW MakeWizardPage(int dialogId, DLGPROC procedure, WizardContext* context, DWORD flags);

INT_PTR CALLBACK IntroPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReproStepsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SubmitPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OutroPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// SubmitPage's steps: 1 attaches the crash files, 2 posts the report, 3
// finishes (Next enabled); each of the first two ends by starting the timer,
// whose tick marks the step done and runs the next. Step 2 dispatches the
// thread's messages while the POST runs; the sheet's Cancel ends that wait
// with the report counted as not sent.
void AdvanceSubmitStep(HWND page, WizardContext& context);
void OnSubmitTimer(HWND page, WizardContext& context);

// The bug number edit's word breaks, so that a double click selects the
// whole number: 0 for a left break and for a delimiter question, -1 for a
// right break.
int CALLBACK BugNumberWordBreakProc(LPWSTR text, int position, int length, int action);
