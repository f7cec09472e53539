#include "req_diagnostic_tools.h"

#include "clusters.h"
#include "step_message_gate.h"
#include "strings.h"

#include <wininet.h>

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
    wchar_t host[260] = {};
    wchar_t user[260] = {};
    wchar_t password[260] = {};
    wchar_t path[260] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 260;
    parts.lpszUserName = user;
    parts.dwUserNameLength = 260;
    parts.lpszPassword = password;
    parts.dwPasswordLength = 260;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 260;
    std::wstring url = GetContentServerUrl();
    if (!InternetCrackUrlW(url.c_str(), 0, ICU_DECODE, &parts))
        host[0] = 0;
    CopyString(buffer, capacity, L"tracert.exe -d -w 1000 ");
    AppendString(buffer, capacity, host);
}

void ReqTaskList::BuildCommandLine(wchar_t* buffer, size_t capacity)
{
    CopyString(buffer, capacity, L"tasklist.exe");
}
