#include "applets/maintenance_requests.h"

#include "clusters.h"
#include "launcher_settings.h"
#include "settings_store.h"

#include <string>

int64_t DefragTrigger = 0;

namespace {

constexpr DWORD VERIFY_DONE = 2;
constexpr DWORD VERIFY_PENDING = 0;

std::wstring VerifyMarkerName()
{
    return std::wstring(L"VerifyVersion") + GetClusterFolderName(ServerCluster);
}

} // namespace

void SetVerifyPending(bool pending)
{
    WriteSettingDword(SCOPE_CLIENT_TYPE, VerifyMarkerName().c_str(), pending ? VERIFY_PENDING : VERIFY_DONE);
}

bool IsVerifyPending()
{
    return ReadSettingDword(SCOPE_CLIENT_TYPE, VerifyMarkerName().c_str(), VERIFY_DONE) != VERIFY_DONE;
}
