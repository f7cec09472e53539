#include "req_dx_diag.h"

#include "localization.h"
#include "log.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"
#include "strings.h"
#include "support/support_folder.h"

namespace {

constexpr UINT_PTR POLL_TIMER = 1;
constexpr UINT POLL_MS = 33;

} // namespace

ReqDxDiag::~ReqDxDiag()
{
    StopDxDiag();
}

HWND ReqDxDiag::Run(HWND parent)
{
    return ShowStepPage(parent, PageProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ReqDxDiag::PageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    auto* step = reinterpret_cast<ReqDxDiag*>(GetWindowLongPtrW(page, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        step = reinterpret_cast<ReqDxDiag*>(lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, lParam);
        SetDlgItemTextByKey(GetParent(page), IDC_STATUS_TEXT, step->GetStatusKey());
        SetTimer(page, POLL_TIMER, POLL_MS, nullptr);
        step->page_ = page;
        step->StartDxDiag();
        return FALSE;
    case WM_TIMER:
        if (step)
            step->PollDxDiag();
        return TRUE;
    case WM_DESTROY:
        if (step) {
            step->StopDxDiag();
            step->page_ = nullptr;
        }
        SetWindowLongPtrW(page, GWLP_USERDATA, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void ReqDxDiag::StartDxDiag()
{
    wchar_t commandLine[1024] = {};
    CopyString(commandLine, 1024, L"DxDiag.exe");
    AppendString(commandLine, 1024, L" /dontskip");
    AppendString(commandLine, 1024, L" /whql:off");
    AppendString(commandLine, 1024, L" /tDxDiag.log");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                       GetSupportLogFolder(), &startup, &process_)) {
        LogPrintf(L"%s\n", commandLine);
        return;
    }
    std::wstring text = L"\nCreateProcess failed: ";
    AppendSystemErrorText(text, GetLastError(), 1033);
    text += L"\n\n";
    LogWrite(text.c_str());
    process_ = {};
    // Nothing to wait for: the step ends as a finished DxDiag would.
    PostStepSucceeded(page_);
}

void ReqDxDiag::PollDxDiag()
{
    if (!process_.hProcess)
        return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        SetTimer(page_, POLL_TIMER, POLL_MS, nullptr);
        return;
    }
    DWORD code = 0;
    if (GetExitCodeProcess(process_.hProcess, &code))
        LogPrintf(L"Process returned %d\n", static_cast<int>(code));
    else
        LogPrintf(L"GetExitCodeProcess failed (0x%08X)\n", GetLastError());
    CloseProcess();
    PostStepSucceeded(page_);
}

void ReqDxDiag::StopDxDiag()
{
    if (!process_.hProcess)
        return;
    if (WaitForSingleObject(process_.hProcess, 1000) == WAIT_TIMEOUT) {
        LogWrite(L"Grace period expired; terminating process\n");
        TerminateProcess(process_.hProcess, 0);
    }
    CloseProcess();
}

void ReqDxDiag::CloseProcess()
{
    if (process_.hThread)
        CloseHandle(process_.hThread);
    if (process_.hProcess)
        CloseHandle(process_.hProcess);
    process_ = {};
}
