// What the report wizard's pages share: the WizardContext, the outcome of
// the send, and the small operations every page uses on its sheet.
#pragma once

#include <windows.h>

#include <string>

#include "answer.h"
#include "report_body.h"

// The SubmitPage's timer between two submit steps.
constexpr UINT_PTR SUBMIT_TIMER_ID = 1;
constexpr UINT SUBMIT_TIMER_MS = 100;

// Submit steps: 0 nothing sent, 1 crash files attached, 2 report posted,
// 3 finished (Next enabled).
constexpr int SUBMIT_STEP_FINISHED = 3;

// One per wizard run, handed to every page as its page parameter.
struct WizardContext {
    ReportBody* body = nullptr; // the report so far; appends move its cursor
    HFONT titleFont = nullptr;  // owned by the wizard
    int submitStep = 0;
    std::wstring folder; // the CrashFolder
    ServerAnswer answer; // bug number, fixed, rejected, suspect text
    bool failed = false; // the POST did not deliver the report (no 2xx answer)
    // While the POST runs the sheet keeps answering; its Cancel ends the
    // wait as a failed send would.
    bool sending = false;
    bool sendCancelled = false;
};

// What OutroPage shows, first match wins.
enum ReportOutcome { REPORT_FAILED, REPORT_REJECTED, REPORT_FIXED, REPORT_SUBMITTED };
ReportOutcome GetReportOutcome(const WizardContext& context);

// A text of the server's answer for display: UTF-8, or byte by byte
// (Latin-1) when it is not valid UTF-8.
std::wstring AnswerTextToWide(const char* text);

// WM_INITDIALOG of a page: keeps the context (the page parameter) in the
// page window's user data and returns it.
WizardContext* KeepPageContext(HWND page, LPARAM initParam);
WizardContext* GetPageContext(HWND page);

// Wizard buttons (PSWIZB_BACK, PSWIZB_NEXT, PSWIZB_FINISH; 0 for none).
void SetWizardButtons(HWND page, DWORD buttons);

// Sets the header title of the page to the text of key.
void SetPageHeaderTitleByKey(HWND page, const char* key);

// Answers a page notification with result (for page moves, the target
// page's dialog id; for activation, 0 to accept); returns TRUE for the
// dialog procedure to return.
INT_PTR SetPageResult(HWND page, LONG_PTR result);

// Shows or hides the control itemId of page.
void ShowPageControl(HWND page, int itemId, bool show);
