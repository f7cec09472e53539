// The firewall GUIDs are defined here, once for the launcher.
#include <windows.h>
#include <initguid.h>
#include <netfw.h>

#include "firewall_objects.h"

#include "strings.h"

namespace {

HRESULT CreatePolicy(INetFwPolicy2** policy)
{
    return CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                            reinterpret_cast<void**>(policy));
}

HRESULT CreateRule(INetFwRule** rule)
{
    return CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                            reinterpret_cast<void**>(rule));
}

HRESULT CreateManager(INetFwMgr** manager)
{
    return CoCreateInstance(CLSID_NetFwMgr, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwMgr,
                            reinterpret_cast<void**>(manager));
}

HRESULT CreateAuthorizedApplication(INetFwAuthorizedApplication** application)
{
    return CoCreateInstance(CLSID_NetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                            IID_INetFwAuthorizedApplication, reinterpret_cast<void**>(application));
}

} // namespace

HRESULT CoCreateInstanceAsAdmin(HWND owner, INetFwPolicy2** policy)
{
    wchar_t classId[50] = {};
    if (StringFromGUID2(CLSID_NetFwPolicy2, classId, 50) == 0)
        return E_FAIL;
    wchar_t moniker[260] = {};
    FormatString(moniker, 260, L"Elevation:Administrator!new:%s", classId);
    BIND_OPTS3 options = {};
    options.cbStruct = sizeof(options);
    options.hwnd = owner;
    options.dwClassContext = CLSCTX_LOCAL_SERVER;
    return CoGetObject(moniker, &options, IID_INetFwPolicy2, reinterpret_cast<void**>(policy));
}

const FirewallObjectFactory PlatformFirewallObjects = {CreatePolicy, CoCreateInstanceAsAdmin, CreateRule,
                                                       CreateManager, CreateAuthorizedApplication};

FirewallObjectFactory FirewallObjects = PlatformFirewallObjects;
