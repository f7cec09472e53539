#include "dialogs/headless_console.h"

#include "launcher.h"
#include "localization.h"
#include "log.h"
#include "requirement_queue.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"
#include "text_pane.h"

#include <cwchar>

namespace {

constexpr size_t PAGE_TEXT_CAPACITY = 1024;

bool IsUsableHandle(HANDLE handle)
{
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// A console that was attached or made may leave standard output unset (a
// GUI program starts without one): it then writes to the console itself.
void BindStandardOutputToConsole()
{
    if (IsUsableHandle(GetStdHandle(STD_OUTPUT_HANDLE)))
        return;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    // Kept for the whole run as the process's standard output.
    if (console != INVALID_HANDLE_VALUE)
        SetStdHandle(STD_OUTPUT_HANDLE, console);
}

HWND ConsoleParent()
{
    BindStandardOutputToConsole();
    HWND window = GetConsoleWindow();
    return window ? window : HWND_MESSAGE;
}

// A page's text is a block of its own on the console: the line after it
// starts on a line of its own.
void LogBlock(const wchar_t* text)
{
    LogWrite(text);
    size_t length = wcslen(text);
    if (length > 0 && text[length - 1] != L'\n')
        LogWrite(L"\n");
}

void LogShownText(WPARAM wParam, LPARAM lParam)
{
    MotdShown = false;
    if (!lParam)
        return;
    if (wParam == 1)
        LogWrite(L"RTF\n");
    else
        LogBlock(reinterpret_cast<const wchar_t*>(lParam));
}

void LogPageText(LPARAM key)
{
    wchar_t text[PAGE_TEXT_CAPACITY] = {};
    GetLocalizedTextBuffer(reinterpret_cast<const char*>(key), text, PAGE_TEXT_CAPACITY);
    LogBlock(text);
}

void MoveQueue(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (ClassifyStepMessage(message, wParam, lParam, CurrentStepPage, IsQueueRunning())) {
    case StepMessageAction::Defer:
        DeferStepMessage(dialog, message, wParam, lParam);
        return;
    case StepMessageAction::Ignore:
        return;
    case StepMessageAction::Handle:
        if (message == WM_STEP_SUCCEEDED)
            CompleteFrontStep(dialog, false);
        else
            ReplaceChain(dialog, static_cast<int>(lParam));
        ReplayDeferredStepMessages();
        return;
    }
}

} // namespace

HWND AcquireHeadlessConsole()
{
    if (GetConsoleWindow() || AttachConsole(ATTACH_PARENT_PROCESS))
        return ConsoleParent();
    if (IsUsableHandle(GetStdHandle(STD_OUTPUT_HANDLE)))
        return HWND_MESSAGE;
    if (AllocConsole())
        return ConsoleParent();
    return nullptr;
}

HWND StartHeadlessConsole(HWND parent)
{
    // The console dialog is no step's page: it is made without a step's
    // failure handling.
    HWND console = CreateStepPageWindow(parent, HeadlessDialogProc, 0);
    // A console window of another process (Wine's for a terminal) may not
    // take a child; a message-only parent serves as well.
    if (!console && parent != HWND_MESSAGE)
        console = CreateStepPageWindow(HWND_MESSAGE, HeadlessDialogProc, 0);
    if (!console)
        return nullptr;
    SharedMainWindow = console;
    RunQueue(console);
    ReplayDeferredStepMessages();
    return console;
}

INT_PTR CALLBACK HeadlessDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        if (SharedMainWindow == dialog)
            SharedMainWindow = nullptr;
        break;
    case WM_STEP_SUCCEEDED:
    case WM_STEP_FAILED:
        MoveQueue(dialog, message, wParam, lParam);
        break;
    case WM_STEP_SHOW_TEXT:
        LogShownText(wParam, lParam);
        break;
    case WM_STEP_PAGE_SHOWN:
        LogPageText(lParam);
        break;
    default:
        break;
    }
    return 0;
}
