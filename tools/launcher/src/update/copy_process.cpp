#include "copy_process.h"

#include "exit_codes.h"
#include "log.h"
#include "scoped_handles.h"

#include <vector>

namespace {

UniqueHandle CopyProcess;
UniqueHandle CopyJob;

// An inheritable duplicate of handle, for the copy.
UniqueHandle InheritableCopy(HANDLE handle)
{
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return UniqueHandle();
    return UniqueHandle(copy);
}

// A job whose last handle, this process's, ends every process in it.
UniqueHandle MakeKillOnCloseJob()
{
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job)
        return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
        job.Reset();
    return job;
}

bool StartHeadlessCopy(std::wstring& commandLine, STARTUPINFOW& startup, DWORD& error)
{
    const HANDLE standard[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                                GetStdHandle(STD_ERROR_HANDLE)};
    HANDLE* slots[3] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    for (HANDLE* slot : slots)
        *slot = nullptr;
    // The copies live until the copy has started; a slot whose handle is not
    // handed on stays empty.
    std::vector<UniqueHandle> copies;
    std::vector<HANDLE> inherited;
    for (HANDLE handle : StandardHandlesToHandOn(standard)) {
        UniqueHandle copy = InheritableCopy(handle);
        if (!copy)
            continue;
        for (int i = 0; i < 3; ++i) {
            if (standard[i] == handle)
                *slots[i] = copy.Get();
        }
        inherited.push_back(copy.Get());
        copies.push_back(std::move(copy));
    }
    startup.dwFlags |= STARTF_USESTDHANDLES;

    // Only the standard handles go to the copy, where the system can say so.
    STARTUPINFOEXW extended = {};
    extended.StartupInfo = startup;
    extended.StartupInfo.cb = sizeof(extended);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    const DWORD flags = NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED;
    if (!inherited.empty() && size > 0) {
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
        if (InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited.data(),
                                          inherited.size() * sizeof(HANDLE), nullptr, nullptr))
                extended.lpAttributeList = list;
            else
                DeleteProcThreadAttributeList(list);
        }
    }
    PROCESS_INFORMATION process = {};
    BOOL started = FALSE;
    // A system that refuses the list (one of the handles is not what it
    // takes) may still start the copy with every inheritable handle.
    if (extended.lpAttributeList) {
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                 flags | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                 &extended.StartupInfo, &process);
        error = started ? ERROR_SUCCESS : GetLastError();
        DeleteProcThreadAttributeList(extended.lpAttributeList);
        if (!started)
            LogPrintf(L"Could not start the launcher copy with a list of its handles (0x%08X); starting it "
                      L"without one\n",
                      error);
    }
    if (!started) {
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, !inherited.empty(), flags,
                                 nullptr, nullptr, &startup, &process);
        error = started ? ERROR_SUCCESS : GetLastError();
    }
    if (!started)
        return false;
    UniqueHandle thread(process.hThread);
    CopyProcess.Reset(process.hProcess);
    CopyJob = MakeKillOnCloseJob();
    if (!CopyJob || !AssignProcessToJobObject(CopyJob.Get(), CopyProcess.Get())) {
        // The copy still runs for this process's lifetime; it only outlives a
        // launcher that is ended from outside.
        LogPrintf(L"Could not tie the launcher copy to this process (0x%08X)\n", GetLastError());
        CopyJob.Reset();
    }
    ResumeThread(thread.Get());
    return true;
}

} // namespace

std::vector<HANDLE> StandardHandlesToHandOn(const HANDLE (&standard)[3])
{
    std::vector<HANDLE> handed;
    for (HANDLE handle : standard) {
        bool console = (reinterpret_cast<ULONG_PTR>(handle) & 3) == 3;
        if (!handle || handle == INVALID_HANDLE_VALUE || console)
            continue;
        bool again = false;
        for (HANDLE earlier : handed)
            again = again || earlier == handle;
        if (!again)
            handed.push_back(handle);
    }
    return handed;
}

bool StartLauncherCopy(std::wstring& commandLine, STARTUPINFOW& startup, DWORD& error)
{
    if (HeadlessMode)
        return StartHeadlessCopy(commandLine, startup, error);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process)) {
        error = GetLastError();
        return false;
    }
    error = ERROR_SUCCESS;
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    return true;
}

bool WaitsForLauncherCopy()
{
    return static_cast<bool>(CopyProcess);
}

int WaitForLauncherCopy()
{
    DWORD code = EXIT_RUN_FAILED;
    if (WaitForSingleObject(CopyProcess.Get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(CopyProcess.Get(), &code))
        code = EXIT_RUN_FAILED;
    CopyProcess.Reset();
    if (CopyJob) {
        // The game and the servers are the run's result, not its helpers.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        SetInformationJobObject(CopyJob.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
        CopyJob.Reset();
    }
    return static_cast<int>(code);
}
