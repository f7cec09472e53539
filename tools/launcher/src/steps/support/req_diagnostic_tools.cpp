#include "req_diagnostic_tools.h"

#include "clusters.h"
#include "step_message_gate.h"
#include "strings.h"
#include "url_parts.h"

void ReqDiagnosticTool::OnFinished(bool)
{
    CloseProcessHandles();
    PostStepSucceeded(page);
}

void ReqDiagnosticTool::OnStartFailed(DWORD)
{
    // The start failure and the executable's owner are already logged.
    CloseProcessHandles();
    PostStepSucceeded(page);
}

void ReqTraceRoute::BuildCommandLine(wchar_t* buffer, size_t capacity)
{
    UrlParts parts;
    CrackUrl(GetContentServerUrl(), parts);
    CopyString(buffer, capacity, L"tracert.exe -d -w 1000 ");
    AppendString(buffer, capacity, parts.host);
}

void ReqTaskList::BuildCommandLine(wchar_t* buffer, size_t capacity)
{
    CopyString(buffer, capacity, L"tasklist.exe");
}
