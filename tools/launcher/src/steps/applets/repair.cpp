#include "applet_steps.h"

#include "maintenance_requests.h"
#include "clusters.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "log.h"
#include "settings_store.h"
#include "step_error.h"
#include "strings.h"

namespace {

constexpr DWORD MARKER_MISSING = 0xFFFFFFFF;
constexpr DWORD MARKER_VERIFIED = 2;

} // namespace

HWND ReqRepair::Run(HWND parent)
{
    if (HasOption(L"-force:verify"))
        SetVerifyPending(true);
    std::wstring name = std::wstring(L"VerifyVersion") + GetClusterFolderName(ServerCluster);
    DWORD marker = ReadSettingDword(SCOPE_CLIENT_TYPE, name.c_str(), MARKER_MISSING);
    if (marker == MARKER_MISSING) {
        // A fresh install starts verified.
        WriteSettingDword(SCOPE_CLIENT_TYPE, name.c_str(), MARKER_VERIFIED);
        marker = MARKER_VERIFIED;
    }
    if (marker == MARKER_VERIFIED)
        return nullptr;
    LogWrite(L"Spawning RepairApplet\n");
    return ReqApplet::Run(parent);
}

void ReqRepair::OnOutputLine(const std::wstring& line)
{
    ReqApplet::OnOutputLine(line);
    if (line.find(L"Cache repair succeeded") != std::wstring::npos) {
        progress = 1.0f;
        RepairSucceeded = true;
    }
}

void ReqRepair::OnFinished(bool ok)
{
    if (ok && RepairSucceeded) {
        SetVerifyPending(false);
        PostSuccess();
        return;
    }
    // An applet that ended well without its success line has not repaired
    // the cache either; the retry page says so.
    if (ok)
        SetStepError(AppletFailureText(GetFailureKey()), false);
    // The marker stays pending: the next main chain repairs again.
    PostFailure();
}

void ReqRepair::GetAppletArguments(wchar_t* buffer, size_t capacity)
{
    CopyString(buffer, capacity, L" -applet:/QX/Types/Framework/CacheRepair");
}
