#include "step_page.h"

#include "button_subclass.h"
#include "localization.h"
#include "log.h"
#include "requirement.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"

#include <cstring>
#include <string>

namespace {

// Shared body of the one-button pages: caption is the button's key; press
// is what the button does (given the page and the key of its message, which
// the page keeps in its user slot).
INT_PTR OneButtonPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, const char* caption,
                      void (*press)(HWND page, const char* key))
{
    HWND parent = GetParent(page);
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(page, DWLP_USER, lParam);
        HWND button = GetDlgItem(parent, IDC_MAIN_BUTTON);
        if (button) {
            EnableWindow(button, TRUE);
            SetWindowTextByKey(button, caption, true);
            FocusActionButton(button);
        }
        PostMessageW(parent, WM_STEP_PAGE_SHOWN, 0, lParam);
        // The console window has no button: act as if it was pressed.
        if (HeadlessMode)
            press(page, reinterpret_cast<const char*>(lParam));
        return 0;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && LOWORD(wParam) == IDC_MAIN_BUTTON) {
            press(page, reinterpret_cast<const char*>(GetWindowLongPtrW(page, DWLP_USER)));
            return 1;
        }
        return 0;
    case WM_DESTROY:
        SetWindowLongPtrW(page, DWLP_USER, 0);
        return 0;
    default:
        return 0;
    }
}

// A person who quits chose to; a headless run that gets here did not do its
// work, and the script that started it has to know.
void PressQuit(HWND, const char* key)
{
    if (HeadlessMode)
        PostQuitMessage(QuitPageExitCode(key));
    else
        PostQuitMessage(0);
}

// The page names itself, so a late press cannot end a step of a new chain.
void PressOk(HWND page, const char*)
{
    PostStepSucceeded(page);
}

HWND CreatePageDialog(HWND parent, DLGPROC proc, LPARAM param)
{
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_STEP_PAGE), parent, proc,
                              param);
}

DWORD LastPageShownAt = 0;

} // namespace

StepPageCreator CreateStepPageWindow = CreatePageDialog;

void EndFailedRun(int exitCode)
{
    LogPrintf(L"The run failed: it ends (exit code %d)\n", exitCode);
    PostQuitMessage(exitCode);
}

int QuitPageExitCode(const char* key)
{
    static const char* const machineKeys[] = {"UNSUPPORTED_OS", "UNSUPPORTED_CPU", "INSUFFICIENT_RAM",
                                              "ERROR_DX10_UNSUPPORTED", "NO_REMOTE"};
    for (const char* machine : machineKeys) {
        if (key && strcmp(key, machine) == 0)
            return EXIT_MACHINE_UNSUPPORTED;
    }
    return EXIT_RUN_FAILED;
}

bool PressCountsForPage(DWORD pressBegan, DWORD pageShown)
{
    return static_cast<LONG>(pressBegan - pageShown) >= static_cast<LONG>(PAGE_SETTLE_MS);
}

DWORD StepPageShownAt()
{
    return LastPageShownAt;
}

HWND ShowStepPage(HWND parent, DLGPROC proc, LPARAM param, PageFailure onFailure)
{
    HWND page = CreateStepPageWindow(parent, proc, param);
    if (page) {
        // The page set the buttons and sent its text while it was made.
        LastPageShownAt = GetTickCount();
        return page;
    }
    DWORD error = GetLastError();
    std::wstring reason;
    AppendSystemErrorText(reason, error, 1033);
    LogPrintf(L"Could not create the step page: %s\n", reason.c_str());
    // Counting the step as done would run the chain on without its work.
    if (onFailure == PageFailure::EndRun || HeadlessMode) {
        LogPrintf(L"No step page can be shown: the run ends (exit code %d)\n", EXIT_NO_STEP_PAGE);
        PostQuitMessage(EXIT_NO_STEP_PAGE);
        return parent;
    }
    std::wstring text;
    AppendSystemErrorText(text, error, 1024);
    SetStepError(text, false);
    PostStepFailed(parent, nullptr, CHAIN_RETRY_PROMPT);
    return parent;
}

INT_PTR CALLBACK QuitPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    return OneButtonPage(page, message, wParam, lParam, "QUIT", PressQuit);
}

INT_PTR CALLBACK OkPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    return OneButtonPage(page, message, wParam, lParam, "OK", PressOk);
}
