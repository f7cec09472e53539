// Stand-in for the applet steps' maintenance requests until those steps are
// part of the launcher: the trigger is kept and the marker written, but no
// step acts on them yet.
#include "applets/maintenance_requests.h"

#include "clusters.h"
#include "launcher_settings.h"
#include "settings_store.h"

#include <string>

int64_t DefragTrigger = 0;

namespace {

std::wstring VerifyMarkerName()
{
    return std::wstring(L"VerifyVersion") + GetClusterFolderName(ServerCluster);
}

} // namespace

void SetVerifyPending(bool pending)
{
    WriteSettingDword(SCOPE_CLIENT_TYPE, VerifyMarkerName().c_str(), pending ? 0 : 2);
}

bool IsVerifyPending()
{
    return ReadSettingDword(SCOPE_CLIENT_TYPE, VerifyMarkerName().c_str(), 2) != 2;
}
