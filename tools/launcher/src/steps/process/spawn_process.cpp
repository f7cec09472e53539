#include "spawn_process.h"

#include "localization.h"
#include "log.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "step_messages.h"
#include "step_page.h"

#include <cwchar>

SpawnProcessTimings SpawnTimings;

namespace {

constexpr UINT_PTR POLL_TIMER = 1;
constexpr UINT POLL_MS = 33;
constexpr int TITLE_CAPACITY = 512;
// Not in every SDK's headers.
constexpr DWORD ERROR_ELEVATION_REQUIRED_CODE = 740;

// A pipe whose launcher end is not inheritable, so the child inherits only
// its own end. childReads: the child reads it (standard input).
bool MakeChildPipe(bool childReads, UniqueHandle& launcherEnd, UniqueHandle& childEnd)
{
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, TRUE};
    UniqueHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.Receive(), writeEnd.Receive(), &attributes, 0))
        return false;
    UniqueHandle& ours = childReads ? writeEnd : readEnd;
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), ours.Get(), GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return false;
    launcherEnd.Reset(duplicate);
    ours.Reset();
    childEnd = std::move(childReads ? readEnd : writeEnd);
    return true;
}

bool HasEnded(const UniqueHandle& thread)
{
    return !thread || WaitForSingleObject(thread.Get(), 0) != WAIT_TIMEOUT;
}

// The input-method windows the system gives every thread with windows;
// they are never the child's own window, and their title is no progress.
bool IsInputMethodWindow(HWND window)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return _wcsicmp(name, L"IME") == 0 || _wcsicmp(name, L"MSCTFIME UI") == 0;
}

const char* StartFailureKey(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return "NO_EXECUTABLE";
    case ERROR_ACCESS_DENIED:
    case ERROR_ELEVATION_REQUIRED_CODE:
        return "ACCESS_DENIED_EXECUTABLE";
    default:
        return "ERROR_LAUNCHING_EXECUTABLE";
    }
}

} // namespace

ReqSpawnProcess::ReqSpawnProcess(StepKind kind) : Requirement(kind) {}

ReqSpawnProcess::~ReqSpawnProcess()
{
    CloseProcessHandles();
    childWindow = nullptr;
}

HWND ReqSpawnProcess::Run(HWND parent)
{
    return ShowStepPage(parent, DialogProc, reinterpret_cast<LPARAM>(this));
}

float ReqSpawnProcess::GetProgress()
{
    return progress.load();
}

const wchar_t* ReqSpawnProcess::GetWorkingDirectory()
{
    return nullptr;
}

void ReqSpawnProcess::BuildEnvironment(EnvironmentBlock&) {}

void ReqSpawnProcess::OnFinished(bool)
{
    CloseProcessHandles();
}

void ReqSpawnProcess::OnStartFailed(DWORD error)
{
    SetStepErrorKey(StartFailureKey(error), false);
    PostStepFailed(GetParent(page), page, CHAIN_RETRY_PROMPT);
}

void ReqSpawnProcess::OnOutputLine(const std::wstring& line)
{
    LogWrite(line.c_str());
}

void ReqSpawnProcess::ParseWindowTitle(const wchar_t* title)
{
    wchar_t word[128];
    unsigned percent = 0;
    if (swscanf(title, L"%127ls %u%%", word, &percent) == 2)
        progress = percent / 100.0f;
}

INT_PTR CALLBACK ReqSpawnProcess::DialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    ReqSpawnProcess* step = reinterpret_cast<ReqSpawnProcess*>(GetWindowLongPtrW(page, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        LogWrite(L"ReqSpawnProcess - InitDialog\n");
        step = reinterpret_cast<ReqSpawnProcess*>(lParam);
        SetWindowLongPtrW(page, GWLP_USERDATA, lParam);
        SetDlgItemTextByKey(GetParent(page), IDC_STATUS_TEXT, step->GetStatusKey());
        step->page = page;
        step->StartProcess();
        return 0;
    case WM_TIMER:
        if (step && wParam == POLL_TIMER)
            step->PollProcess();
        return 0;
    case WM_DESTROY:
        if (step) {
            step->StopProcess();
            step->page = nullptr;
        }
        SetWindowLongPtrW(page, GWLP_USERDATA, 0);
        return 1;
    default:
        return 0;
    }
}

void ReqSpawnProcess::StartProcess()
{
    wchar_t commandLine[SPAWN_COMMAND_LINE_CAPACITY] = {};
    BuildCommandLine(commandLine, SPAWN_COMMAND_LINE_CAPACITY);
    commandLine[SPAWN_COMMAND_LINE_CAPACITY - 1] = L'\0';
    LogWrite(L"\n");
    LogWrite(commandLine);
    LogWrite(L"\n");

    UniqueHandle childIn, childOut, childErr, stdoutRead, stderrRead;
    bool piped = MakeChildPipe(true, stdinWrite, childIn) && MakeChildPipe(false, stdoutRead, childOut) &&
                 MakeChildPipe(false, stderrRead, childErr);
    DWORD error = piped ? ERROR_SUCCESS : GetLastError();
    PROCESS_INFORMATION info = {};
    if (piped) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
        startup.wShowWindow = SW_HIDE;
        startup.hStdInput = childIn.Get();
        startup.hStdOutput = childOut.Get();
        startup.hStdError = childErr.Get();
        EnvironmentBlock environment;
        BuildEnvironment(environment);
        if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE,
                            CREATE_UNICODE_ENVIRONMENT | NORMAL_PRIORITY_CLASS,
                            environment.empty() ? nullptr : environment.data(), GetWorkingDirectory(),
                            &startup, &info))
            error = GetLastError();
    }
    // The child holds its own ends now (or there is no child).
    childIn.Reset();
    childOut.Reset();
    childErr.Reset();

    if (info.hProcess) {
        UniqueHandle(info.hThread).Reset();
        processHandle.Reset(info.hProcess);
        processId = info.dwProcessId;
        childEndedTick_ = 0;
        readersStop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        outputSink_ = std::make_shared<OutputSink>([this](const std::wstring& line) { OnOutputLine(line); });
        stdoutReader.Reset(StartPipeReader(stdoutRead.Release(), outputSink_, readersStop_.Get()));
        stderrReader.Reset(StartPipeReader(stderrRead.Release(), outputSink_, readersStop_.Get()));
        SetTimer(page, POLL_TIMER, POLL_MS, nullptr);
        return;
    }

    std::wstring text = L"CreateProcess failed: ";
    AppendSystemErrorText(text, error, 1033);
    text += L"\n";
    LogWrite(text.c_str());
    LogExecutableOwner(commandLine);
    CloseProcessHandles();
    OnStartFailed(error);
}

bool ReqSpawnProcess::ReadersEnded()
{
    return HasEnded(stdoutReader) && HasEnded(stderrReader);
}

void ReqSpawnProcess::ReadChildTitle()
{
    if (!childWindow && (!EnumWindows(FindProcessWindowProc, reinterpret_cast<LPARAM>(this)) || !childWindow))
        return;
    wchar_t title[TITLE_CAPACITY] = {};
    if (GetWindowTextW(childWindow, title, TITLE_CAPACITY) > 0)
        ParseWindowTitle(title);
}

void ReqSpawnProcess::PollProcess()
{
    if (!processHandle)
        return;
    if (WaitForSingleObject(processHandle.Get(), 0) == WAIT_TIMEOUT) {
        ReadChildTitle();
        return;
    }
    if (!ReadersEnded()) {
        // A grandchild may hold the pipes open: the readers get a grace
        // period, are then asked to stop, and are finally left behind.
        ULONGLONG now = GetTickCount64();
        if (childEndedTick_ == 0)
            childEndedTick_ = now;
        ULONGLONG waited = now - childEndedTick_;
        if (waited < SpawnTimings.readerGraceMs)
            return;
        SetEvent(readersStop_.Get());
        if (waited < static_cast<ULONGLONG>(SpawnTimings.readerGraceMs) + SpawnTimings.readerStopMs)
            return;
        EndReaders(0, 0);
    }

    DWORD code = 0;
    if (GetExitCodeProcess(processHandle.Get(), &code)) {
        LogPrintf(L"Process returned %d\n", static_cast<int>(code));
        if (CheckExitCode(code)) {
            OnFinished(true);
            return;
        }
    } else {
        LogPrintf(L"GetExitCodeProcess failed (0x%08X)\n", GetLastError());
    }
    std::wstring text, crashed;
    GetLocalizedText(GetFailureKey(), text);
    GetLocalizedText("AppletCrashed", crashed);
    SetStepError(text + L"\r\n\r\n" + crashed, false);
    OnFinished(false);
}

void ReqSpawnProcess::StopProcess()
{
    if (!processHandle)
        return;
    LogWrite(L"Waiting for applet to gracefully shut down\n");
    bool ended = false;
    for (int release = 0; release < SpawnTimings.stopReleases && !ended; ++release) {
        UniqueHandle stop(CreateSemaphoreA(nullptr, 0, 1024, "SoakStop"));
        if (stop)
            ReleaseSemaphore(stop.Get(), 1, nullptr);
        stop.Reset();
        ended = WaitForSingleObject(processHandle.Get(), SpawnTimings.stopWaitMs) != WAIT_TIMEOUT;
    }
    if (!ended) {
        LogWrite(L"Grace period expired; terminating process\n");
        TerminateProcess(processHandle.Get(), 0);
    }
    CloseProcessHandles();
}

void ReqSpawnProcess::EndReaders(DWORD graceMs, DWORD stopMs)
{
    for (UniqueHandle* reader : {&stdoutReader, &stderrReader}) {
        if (!*reader)
            continue;
        if (WaitForSingleObject(reader->Get(), graceMs) == WAIT_TIMEOUT) {
            SetEvent(readersStop_.Get());
            if (WaitForSingleObject(reader->Get(), stopMs) == WAIT_TIMEOUT) {
                LogWrite(L"Output reader did not end; left behind\n");
                if (outputSink_)
                    outputSink_->Detach();
            }
        }
        reader->Reset();
    }
}

void ReqSpawnProcess::CloseProcessHandles()
{
    bool childEnded = !processHandle || WaitForSingleObject(processHandle.Get(), 0) != WAIT_TIMEOUT;
    processHandle.Reset();
    processId = 0;
    // Readers of a child that still runs (the step goes away before it) are
    // stopped at once; otherwise they get the grace period to read the rest.
    EndReaders(childEnded ? SpawnTimings.readerGraceMs : 0, SpawnTimings.readerStopMs);
    if (outputSink_) {
        outputSink_->Detach();
        outputSink_.reset();
    }
    readersStop_.Reset();
    stdinWrite.Reset();
    childEndedTick_ = 0;
}

BOOL CALLBACK ReqSpawnProcess::FindProcessWindowProc(HWND window, LPARAM parameter)
{
    ReqSpawnProcess* step = reinterpret_cast<ReqSpawnProcess*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != step->processId || IsInputMethodWindow(window))
        return TRUE;
    if (step->childWindow && !IsChild(window, step->childWindow) && !IsOwnedWindow(window, step->childWindow))
        return TRUE;
    step->childWindow = window;
    return TRUE;
}

bool IsOwnedWindow(HWND window, HWND owned)
{
    // Bounded: an owner chain is short, and a cycle must not hang the poll.
    HWND owner = owned;
    for (int depth = 0; depth < 64; ++depth) {
        owner = GetWindow(owner, GW_OWNER);
        if (!owner)
            return false;
        if (owner == window)
            return true;
    }
    return false;
}
