#include "applet.h"

#include "clusters.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "machine/platform_step.h"
#include "step_error.h"
#include "step_message_gate.h"
#include "game_launch.h"
#include "step_page.h"
#include "strings.h"

namespace {

constexpr DWORD STATUS_INVALID_IMAGE_FORMAT_CODE = 0xC000007B;

} // namespace

std::wstring AppletFailureText(const char* failureKey)
{
    std::wstring text, crashed;
    GetLocalizedText(failureKey, text);
    GetLocalizedText("AppletCrashed", crashed);
    return text + L"\r\n\r\n" + crashed;
}

HWND ReqApplet::Run(HWND parent)
{
    std::wstring log = GetClusterInstallDir(ServerCluster) + L"\\" + GetLogFileName();
    if (DeleteFileW(log.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
        return ReqSpawnProcess::Run(parent);
    kind = STEP_PROGRESS_HIDDEN;
    return ShowStepPage(parent, QuitPageProc, reinterpret_cast<LPARAM>("UPDATE_FAILED"));
}

void ReqApplet::BuildCommandLine(wchar_t* buffer, size_t capacity)
{
    if (capacity == 0)
        return;
    buffer[0] = L'\0';
    AppendString(buffer, capacity, L"\"");
    AppendString(buffer, capacity, GetGameExePath().c_str());
    AppendString(buffer, capacity, L"\"");
    AppendString(buffer, capacity, L" -silent -log:/");
    AppendString(buffer, capacity, GetLogFileName());
    wchar_t piece[64];
    FormatString(piece, 64, L" -graphicsDriver:%s", GraphicsDriverName(GraphicsAPI));
    AppendString(buffer, capacity, piece);
    FormatString(piece, 64, L" -threadedworker:%d", MTRenderingSupported && EnableMTRendering ? 1 : 0);
    AppendString(buffer, capacity, piece);
    AppendString(buffer, capacity, GetClusterGameOption(ServerCluster));
    AppendString(buffer, capacity, L" -language:");
    AppendString(buffer, capacity, LanguageCodeFromIndex(LanguageIndex));
    FormatString(piece, 64, L" -deferred:%d", EnableDeferred ? 1 : 0);
    AppendString(buffer, capacity, piece);
    size_t used = wcslen(buffer);
    if (used + 1 < capacity)
        GetAppletArguments(buffer + used, capacity - used);
}

void ReqApplet::BuildEnvironment(EnvironmentBlock& block)
{
    BuildChildEnvironment(block);
}

bool ReqApplet::CheckExitCode(DWORD code)
{
    if (code == 0)
        return true;
    if (code == STATUS_INVALID_IMAGE_FORMAT_CODE) {
        LogWrite(L"STATUS_INVALID_IMAGE_FORMAT -> Image format not supported on this system\n");
        return true;
    }
    SetStepError(AppletFailureText(GetFailureKey()), false);
    return false;
}

void ReqApplet::PostSuccess()
{
    CloseProcessHandles();
    PostStepSucceeded(page);
}

void ReqApplet::PostFailure(int chain)
{
    CloseProcessHandles();
    PostStepFailed(GetParent(page), page, chain);
}
