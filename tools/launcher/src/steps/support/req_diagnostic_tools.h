// The support chain's two system tools, run with the child-process page:
// ReqTraceRoute ("TraceRoute": "tracert.exe -d -w 1000" to the content
// server) and ReqTaskList ("TaskList": "tasklist.exe"). Their output goes to
// the log line by line. Like every diagnostics step they succeed whatever
// the tool returned, and also when the tool cannot be started (it is then
// only logged): a missing tool must not end the gathering.
#pragma once

#include "process/spawn_process.h"

class ReqDiagnosticTool : public ReqSpawnProcess {
public:
    ReqDiagnosticTool() : ReqSpawnProcess(STEP_PROGRESS_NORMAL) {}
    const char* GetFailureKey() override { return "DIAGNOSTIC_FAILED"; }
    bool CheckExitCode(DWORD) override { return true; }
    void OnFinished(bool ok) override;
    void OnStartFailed(DWORD error) override;
};

class ReqTraceRoute : public ReqDiagnosticTool {
public:
    void BuildCommandLine(wchar_t* buffer, size_t capacity) override;
    const char* GetStatusKey() override { return "CHECKING_NET_ROUTE"; }
};

class ReqTaskList : public ReqDiagnosticTool {
public:
    void BuildCommandLine(wchar_t* buffer, size_t capacity) override;
    const char* GetStatusKey() override { return "CHECKING_TASK_LIST"; }
};
