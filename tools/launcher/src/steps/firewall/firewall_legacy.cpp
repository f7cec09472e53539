// The firewall step where the policy interface cannot be created: the three
// programs go into the older list of authorised applications. No elevation
// is attempted here.
#include "req_firewall.h"

#include "firewall_objects.h"
#include "log.h"
#include "settings_store.h"

HWND ReqFirewall::RunLegacy()
{
    HRESULT result = FirewallObjects.createManager(legacyManager_.Receive());
    if (FAILED(result) || !legacyManager_) {
        LogPrintf(L"CoCreateInstance INetFwMgr failed: 0x%08lX\n", result);
        return nullptr;
    }
    result = legacyManager_.Get()->get_LocalPolicy(legacyPolicy_.Receive());
    if (FAILED(result) || !legacyPolicy_) {
        LogPrintf(L"INetFwMgr::get_LocalPolicy failed: 0x%08lx\n", result);
        return nullptr;
    }
    result = legacyPolicy_.Get()->get_CurrentProfile(legacyProfile_.Receive());
    if (FAILED(result) || !legacyProfile_) {
        LogPrintf(L"INetFwPolicy::get_CurrentProfile failed: 0x%08lx\n", result);
        return nullptr;
    }
    VARIANT_BOOL enabled = VARIANT_FALSE;
    result = legacyProfile_.Get()->get_FirewallEnabled(&enabled);
    if (FAILED(result)) {
        LogPrintf(L"INetFwProfile::get_FirewallEnabled failed: 0x%08lx\n", result);
        return nullptr;
    }
    if (enabled == VARIANT_FALSE) {
        LogWrite(L"Windows Firewall disabled\n");
        return nullptr;
    }
    LogWrite(L"Windows Firewall enabled\n");
    result = legacyProfile_.Get()->get_AuthorizedApplications(authorizedApplications_.Receive());
    if (FAILED(result) || !authorizedApplications_) {
        LogPrintf(L"INetFwProfile::get_AuthorizedApplications failed: 0x%08lx\n", result);
        return nullptr;
    }
    AuthorizeApplication(L"Launcher", launcherPath_.Get());
    AuthorizeApplication(L"Game 64", gamePath_.Get());
    AuthorizeApplication(L"FaultCourier", faultCourierPath_.Get());
    return nullptr;
}

void ReqFirewall::AuthorizeApplication(const wchar_t* name, BSTR path)
{
    ComPointer<INetFwAuthorizedApplication> application;
    HRESULT result = authorizedApplications_.Get()->Item(path, application.Receive());
    if (FAILED(result) || !application) {
        LogPrintf(L"%s is not currently authorized by the firewall\n", name);
        result = FirewallObjects.createAuthorizedApplication(application.Receive());
        if (FAILED(result) || !application) {
            LogPrintf(L"CoCreateInstance INetFwAuthorizedApplication failed: 0x%08lx\n", result);
            return;
        }
        result = application.Get()->put_ProcessImageFileName(path);
        if (FAILED(result)) {
            LogPrintf(L"INetFwAuthorizedApplication::put_ProcessImageFileName failed: 0x%08lx\n", result);
            return;
        }
        GetSettingsKeyPath(SCOPE_CLIENT_TYPE); // sets ClientType
        std::wstring entryName = L"Vantorel";
        if (!ClientType.empty())
            entryName += L" " + ClientType;
        entryName += std::wstring(L" ") + name;
        BstrString entry(SysAllocString(entryName.c_str()));
        result = application.Get()->put_Name(entry.Get());
        if (FAILED(result)) {
            LogPrintf(L"INetFwAuthorizedApplication::put_Name failed: 0x%08lx\n", result);
            return;
        }
        result = authorizedApplications_.Get()->Add(application.Get());
        if (FAILED(result)) {
            LogPrintf(L"INetFwAuthorizedApplications::Add failed: 0x%08lx\n", result);
            return;
        }
    } else {
        VARIANT_BOOL enabled = VARIANT_FALSE;
        NET_FW_SCOPE scope = NET_FW_SCOPE_ALL;
        BstrString addresses;
        if (FAILED(application.Get()->get_Enabled(&enabled)) || enabled == VARIANT_FALSE) {
            LogPrintf(L"%s authorization is disabled in the firewall\n", name);
        } else if (FAILED(application.Get()->get_Scope(&scope)) || scope != NET_FW_SCOPE_ALL) {
            LogPrintf(L"%s authorization scope is restricted in the firewall\n", name);
        } else if (FAILED(application.Get()->get_RemoteAddresses(addresses.Receive())) || !addresses ||
                   wcscmp(addresses.Get(), L"*") != 0) {
            LogPrintf(L"%s authorization remote addresses are restricted to %s in the firewall\n", name,
                      addresses ? addresses.Get() : L"?");
        } else {
            return; // authorised as wanted
        }
    }
    if (FAILED(application.Get()->put_Enabled(VARIANT_TRUE)))
        LogPrintf(L"Failed to enable %s authorization in the firewall\n", name);
    if (FAILED(application.Get()->put_Scope(NET_FW_SCOPE_ALL)))
        LogPrintf(L"Failed to set scope for %s in the firewall\n", name);
    if (FAILED(application.Get()->put_RemoteAddresses(any_.Get())))
        LogPrintf(L"Failed to set remote addresses for %s in the firewall\n", name);
}
