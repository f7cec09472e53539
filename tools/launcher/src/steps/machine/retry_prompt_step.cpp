#include "retry_prompt_step.h"

#include "button_subclass.h"
#include "localization.h"
#include "log.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

#include <mmsystem.h>

uint32_t RetryCount = 0;
const uint32_t AUTO_RETRY_DELAYS[6] = {5000, 25000, 30000, 60000, 60000, 120000};
DWORD (*RetryClock)() = [] { return static_cast<DWORD>(timeGetTime()); };

namespace {

constexpr uint32_t MAX_AUTO_RETRIES = 5;
constexpr UINT_PTR HEADLESS_POLL_TIMER = 1;
constexpr UINT HEADLESS_POLL_MS = 1000;

std::wstring LocalText(const char* key)
{
    std::wstring text;
    GetLocalizedText(key, text);
    return text;
}

void InitPage(HWND page, ReqRetryPrompt* step)
{
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(step));
    step->page = page;
    HWND parent = GetParent(page);

    std::wstring text = LocalText("UPDATE_FAILED") + L"\n\n";
    std::wstring error;
    bool fatal = false;
    GetStepError(error, fatal);
    if (!error.empty())
        text += error;
    else if (!fatal)
        text += LocalText("RETRY_LATER");

    ++RetryCount;
    bool countdown = !fatal && RetryCount <= MAX_AUTO_RETRIES;

    HWND main = GetDlgItem(parent, IDC_MAIN_BUTTON);
    HWND alt = GetDlgItem(parent, IDC_ALT_BUTTON);
    SetWindowTextByKey(main, "RETRY", true);
    EnableWindow(main, TRUE);
    SetWindowTextByKey(alt, "GET_LOGS", true);
    EnableWindow(alt, TRUE);

    if (!countdown) {
        // GET_LOGS takes the keyboard focus only where it is shown: hidden,
        // it would take the space bar of a player who sees RETRY. Headless,
        // nobody is there to press a button: the text goes to the console
        // and the run ends as failed, so a script that started it does not
        // take the failure for a success.
        if (!HeadlessMode)
            FocusActionButton(alt);
        SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (HeadlessMode)
            EndFailedRun(EXIT_RUN_FAILED);
        return;
    }
    step->kind = STEP_PROGRESS_HEAVY;
    step->countdownStart = RetryClock();
    step->countdownEnd = step->countdownStart + AUTO_RETRY_DELAYS[RetryCount];
    text += L"\n\n" + LocalText("AUTO_RETRY");
    SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (HeadlessMode)
        SetTimer(page, HEADLESS_POLL_TIMER, HEADLESS_POLL_MS, nullptr);
}

void Press(HWND page, int id)
{
    HWND parent = GetParent(page);
    if (id == IDC_ALT_BUTTON && MessageBoxByKey(parent, "GET_LOGS_WARNING", "WARNING",
                                                MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) != IDOK)
        return;
    RetryCount = 0;
    SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, 0);
    PostStepFailed(parent, page, id == IDC_MAIN_BUTTON ? CHAIN_MAIN : CHAIN_SUPPORT);
}

} // namespace

HWND ReqRetryPrompt::Run(HWND parent)
{
    // A retry page that cannot be shown has no retry page to fail to.
    return ShowStepPage(parent, DialogProc, reinterpret_cast<LPARAM>(this), PageFailure::EndRun);
}

float ReqRetryPrompt::GetProgress()
{
    if (countdownStart == 0 || countdownEnd == 0)
        return 0.0f;
    DWORD now = RetryClock();
    if (now < countdownEnd)
        return static_cast<float>(now - countdownStart) / static_cast<float>(countdownEnd - countdownStart);
    countdownStart = 0;
    countdownEnd = 0;
    if (page) {
        HWND parent = GetParent(page);
        SendMessageW(parent, WM_STEP_SHOW_TEXT, 0, 0);
        PostStepFailed(parent, page, CHAIN_MAIN);
    }
    return 1.0f;
}

INT_PTR CALLBACK ReqRetryPrompt::DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* step = reinterpret_cast<ReqRetryPrompt*>(GetWindowLongPtrW(page, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        InitPage(page, reinterpret_cast<ReqRetryPrompt*>(lParam));
        return 1;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 && (LOWORD(wParam) == IDC_MAIN_BUTTON || LOWORD(wParam) == IDC_ALT_BUTTON)) {
            Press(page, LOWORD(wParam));
            return 1;
        }
        return 0;
    case WM_TIMER:
        if (step && wParam == HEADLESS_POLL_TIMER)
            step->GetProgress();
        return 0;
    case WM_DESTROY:
        KillTimer(page, HEADLESS_POLL_TIMER);
        if (step)
            step->page = nullptr;
        SetWindowLongPtrW(page, DWLP_USER, 0);
        return 1;
    default:
        return 0;
    }
}
