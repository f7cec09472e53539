#include "firewall_rules.h"

#include "clusters.h"
#include "launcher_settings.h"
#include "log.h"
#include "scoped_handles.h"
#include "settings_store.h"

const FirewallProfile FirewallProfiles[3] = {
    {NET_FW_PROFILE2_DOMAIN, L"Domain"},
    {NET_FW_PROFILE2_PRIVATE, L"Private"},
    {NET_FW_PROFILE2_PUBLIC, L"Public"},
};

std::wstring FirewallGroupName()
{
    GetSettingsKeyPath(SCOPE_CLIENT_TYPE); // sets ClientType
    std::wstring name = L"Vantorel";
    if (SingleClusterMode && !ClientType.empty())
        name += L" " + ClientType;
    else if (!SingleClusterMode && ServerCluster != SC_PUBLIC)
        name += std::wstring(L" ") + GetClusterFolderName(ServerCluster);
    return name;
}

WantedRule MakeWantedRule(const std::wstring& group, const wchar_t* displayName, BSTR application,
                              int udp, BSTR remotePorts)
{
    WantedRule wanted;
    wanted.displayName = displayName;
    wanted.application = application;
    wanted.udp = udp;
    wanted.remotePorts = remotePorts;
    std::wstring stem = group + L" " + displayName + (udp ? L" (UDP" : L" (TCP");
    wanted.inboundName = stem + L"-In)";
    wanted.outboundName = stem + L"-Out)";
    return wanted;
}

namespace {

bool IsEmpty(BSTR text)
{
    return text == nullptr || text[0] == 0;
}

bool IsAny(BSTR text)
{
    return wcscmp(text, L"*") == 0;
}

// Reads a text property into owner; false when unreadable or empty.
template <typename Getter>
bool ReadText(Getter getter, BstrString& owner)
{
    return SUCCEEDED(getter(owner.Receive())) && !IsEmpty(owner.Get());
}

} // namespace

bool IsRuleCurrent(INetFwRules* rules, const WantedRule& wanted, bool inbound)
{
    const std::wstring& nameText = inbound ? wanted.inboundName : wanted.outboundName;
    const wchar_t* name = nameText.c_str();
    BstrString ruleName(SysAllocString(name));
    ComPointer<INetFwRule> rule;
    if (FAILED(rules->Item(ruleName.Get(), rule.Receive())) || !rule) {
        LogPrintf(L"Firewall rule missing: %s\n", name);
        return false;
    }
    BstrString application;
    if (!ReadText([&](BSTR* out) { return rule.Get()->get_ApplicationName(out); }, application)) {
        LogPrintf(L"Firewall rule missing application name: %s\n", name);
        return false;
    }
    if (_wcsicmp(application.Get(), wanted.application) != 0) {
        LogPrintf(L"Firewall rule has outdated application name: %s\n", name);
        return false;
    }
    BstrString remote;
    BstrString local;
    auto readRemote = [&](BSTR* out) { return rule.Get()->get_RemotePorts(out); };
    auto readLocal = [&](BSTR* out) { return rule.Get()->get_LocalPorts(out); };
    auto remoteCurrent = [&] { return IsAny(remote.Get()) || wcscmp(remote.Get(), wanted.remotePorts) == 0; };
    if (!inbound) {
        if (!ReadText(readRemote, remote)) {
            LogPrintf(L"Firewall rule missing remote ports out: %s\n", name);
            return false;
        }
        if (!remoteCurrent()) {
            LogPrintf(L"Firewall rule has outdated remote ports out: %s\n", name);
            return false;
        }
        if (!ReadText(readLocal, local)) {
            LogPrintf(L"Firewall rule missing local ports out: %s\n", name);
            return false;
        }
        if (!IsAny(local.Get())) {
            LogPrintf(L"Firewall rule has outdated local ports out: %s\n", name);
            return false;
        }
        return true;
    }
    if (!ReadText(readLocal, local)) {
        LogPrintf(L"Firewall rule missing local ports in: %s\n", name);
        return false;
    }
    if (!IsAny(local.Get())) {
        LogPrintf(L"Firewall rule has outdated local ports in: %s\n", name);
        return false;
    }
    if (!ReadText(readRemote, remote)) {
        LogPrintf(L"Firewall rule missing remote ports in: %s\n", name);
        return false;
    }
    if (!remoteCurrent()) {
        LogPrintf(L"Firewall rule has outdated remote ports in: %s\n", name);
        return false;
    }
    VARIANT_BOOL edge = VARIANT_FALSE;
    if (FAILED(rule.Get()->get_EdgeTraversal(&edge)) || edge == VARIANT_FALSE) {
        LogPrintf(L"Firewall rule missing edge traversal: %s\n", name);
        return false;
    }
    return true;
}
