#include "req_firewall.h"

#include "clusters.h"
#include "downloaded_path.h"
#include "firewall_objects.h"
#include "log.h"
#include "step_page.h"

HWND ReqFirewall::Run(HWND parent)
{
    launcherPath_.Reset(SysAllocString(GetDownloadedFilePath(L"/Tools/Launcher.exe").c_str()));
    gamePath_.Reset(SysAllocString(GetGameExePath().c_str()));
    faultCourierPath_.Reset(SysAllocString(GetDownloadedFilePath(L"/Tools/FaultCourier.exe").c_str()));
    any_.Reset(SysAllocString(L"*"));
    tcpPorts_.Reset(SysAllocString(L"80,443,8080,6665-6669,6695-6699"));

    std::wstring group = FirewallGroupName();
    wantedRules_.clear();
    wantedRules_.reserve(4);
    wantedRules_.push_back(MakeWantedRule(group, L"Launcher", launcherPath_.Get(), 0, tcpPorts_.Get()));
    wantedRules_.push_back(MakeWantedRule(group, L"Game 64-bit", gamePath_.Get(), 1, any_.Get()));
    wantedRules_.push_back(MakeWantedRule(group, L"Game 64-bit", gamePath_.Get(), 0, tcpPorts_.Get()));
    wantedRules_.push_back(MakeWantedRule(group, L"FaultCourier", faultCourierPath_.Get(), 0, tcpPorts_.Get()));

    if (SUCCEEDED(FirewallObjects.createPolicy(policy_.Receive())) && policy_)
        return RunPolicy(parent);
    return RunLegacy();
}

HWND ReqFirewall::EnsureElevated(HWND parent)
{
    if (elevated_)
        return nullptr;
    ComPointer<INetFwPolicy2> elevatedPolicy;
    HRESULT result = FirewallObjects.createElevatedPolicy(parent, elevatedPolicy.Receive());
    if (FAILED(result) || !elevatedPolicy) {
        LogPrintf(L"CoCreateInstanceAsAdmin INetFwPolicy2 failed: 0x%08lX\n", result);
        kind = STEP_PROGRESS_HIDDEN;
        return ShowStepPage(parent, QuitPageProc, reinterpret_cast<LPARAM>("ADMIN_REQUIRED_FOR_FIREWALL"));
    }
    elevated_ = true;
    policy_ = std::move(elevatedPolicy);
    return nullptr;
}

HWND ReqFirewall::RunPolicy(HWND parent)
{
    LogWrite(L"\n");
    HRESULT result = policy_.Get()->get_CurrentProfileTypes(&profileTypes_);
    if (FAILED(result)) {
        LogPrintf(L"INetFwProfile2::get_CurrentProfileTypes failed: 0x%08lx\n", result);
        return nullptr;
    }
    bool anyEnabled = false;
    for (const FirewallProfile& profile : FirewallProfiles) {
        if (!(profileTypes_ & profile.type))
            continue;
        VARIANT_BOOL enabled = VARIANT_FALSE;
        result = policy_.Get()->get_FirewallEnabled(profile.type, &enabled);
        if (FAILED(result)) {
            LogPrintf(L"INetFwProfile2::get_FirewallEnabled failed for the %s profile type: 0x%08lx\n",
                      profile.name, result);
        } else if (enabled != VARIANT_FALSE) {
            LogPrintf(L"Windows Firewall is enabled for the %s profile type.\n", profile.name);
            anyEnabled = true;
        }
    }
    if (!anyEnabled) {
        LogWrite(L"Windows Firewall is disabled\n");
        return nullptr;
    }
    result = policy_.Get()->get_Rules(rules_.Receive());
    if (FAILED(result) || !rules_) {
        LogPrintf(L"INetFwProfile2::get_Rules failed: 0x%08lx\n", result);
        return nullptr;
    }
    groupName_.Reset(SysAllocString(FirewallGroupName().c_str()));

    bool recreateNeeded = false;
    for (const FirewallProfile& profile : FirewallProfiles) {
        if (!(profileTypes_ & profile.type))
            continue;
        VARIANT_BOOL blockAll = VARIANT_FALSE;
        result = policy_.Get()->get_BlockAllInboundTraffic(profile.type, &blockAll);
        if (FAILED(result)) {
            LogPrintf(L"INetFwProfile2::get_BlockAllInboundTraffic failed for the %s profile type: 0x%08lx\n",
                      profile.name, result);
        } else if (blockAll != VARIANT_FALSE) {
            LogPrintf(L"Disabling BlockAllInboundTraffic for the %s profile type...\n", profile.name);
            if (HWND page = EnsureElevated(parent))
                return page;
            result = policy_.Get()->put_BlockAllInboundTraffic(profile.type, VARIANT_FALSE);
            if (FAILED(result))
                LogPrintf(L"Could not disable BlockAllInboundTraffic for the %s profile type: 0x%08lx.\n",
                          profile.name, result);
        }
        if (recreateNeeded)
            continue;
        VARIANT_BOOL groupEnabled = VARIANT_FALSE;
        result = policy_.Get()->IsRuleGroupEnabled(profile.type, groupName_.Get(), &groupEnabled);
        if (result == S_FALSE) {
            LogWrite(L"Firewall rule group does not exist yet.\n");
            recreateNeeded = true;
        } else if (FAILED(result)) {
            LogPrintf(L"INetFwPolicy2::IsRuleGroupEnabled failed for the %s profile type: 0x%08lx\n",
                      profile.name, result);
        } else if (groupEnabled == VARIANT_FALSE) {
            LogPrintf(L"Enabling firewall rule group for the %s profile type...\n", profile.name);
            if (HWND page = EnsureElevated(parent))
                return page;
            result = policy_.Get()->EnableRuleGroup(profile.type, groupName_.Get(), VARIANT_TRUE);
            if (FAILED(result))
                LogPrintf(L"Could not enable firewall rule group for the %s profile type: 0x%08lx.\n",
                          profile.name, result);
        } else {
            LogPrintf(L"Firewall rule group already enabled for the %s profile type.\n", profile.name);
        }
    }

    for (size_t i = 0; i < wantedRules_.size() && !recreateNeeded; ++i) {
        recreateNeeded = !IsRuleCurrent(rules_.Get(), wantedRules_[i], false) ||
                         !IsRuleCurrent(rules_.Get(), wantedRules_[i], true);
    }

    bool walked = WalkRules(rules_.Get(), [&](INetFwRule* rule) {
        if (!IsOwnRule(rule))
            return true;
        BstrString name;
        if (FAILED(rule->get_Name(name.Receive())) || !name) {
            LogWrite(L"Extraneous firewall rule detected\n");
            recreateNeeded = true;
            return false;
        }
        for (const WantedRule& wanted : wantedRules_) {
            if (_wcsicmp(name.Get(), wanted.inboundName.c_str()) == 0 ||
                _wcsicmp(name.Get(), wanted.outboundName.c_str()) == 0)
                return true;
        }
        BstrString application;
        if (SUCCEEDED(rule->get_ApplicationName(application.Receive())) && application)
            LogPrintf(L"Extraneous firewall rule: %s for %s\n", name.Get(), application.Get());
        else
            LogPrintf(L"Extraneous firewall rule: %s\n", name.Get());
        recreateNeeded = true;
        return false;
    });
    if (!walked)
        LogWrite(L"Couldn't get firewall rule enumerator\n");

    return recreateNeeded ? RecreateRules(parent) : nullptr;
}

bool ReqFirewall::IsOwnRule(INetFwRule* rule)
{
    BstrString application;
    if (FAILED(rule->get_ApplicationName(application.Receive())) || !application)
        return false;
    for (const WantedRule& wanted : wantedRules_) {
        if (!wanted.udp && _wcsicmp(application.Get(), wanted.application) == 0)
            return true;
    }
    return false;
}

template <typename Visit>
bool ReqFirewall::WalkRules(INetFwRules* rules, Visit visit)
{
    ComPointer<IUnknown> unknown;
    if (FAILED(rules->get__NewEnum(unknown.Receive())) || !unknown)
        return false;
    ComPointer<IEnumVARIANT> items;
    if (FAILED(unknown.Get()->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(items.Receive()))) ||
        !items)
        return false;
    for (;;) {
        VARIANT item;
        VariantInit(&item);
        ULONG fetched = 0;
        if (items.Get()->Next(1, &item, &fetched) != S_OK || fetched != 1) {
            VariantClear(&item);
            return true;
        }
        ComPointer<INetFwRule> rule;
        if (SUCCEEDED(VariantChangeType(&item, &item, 0, VT_DISPATCH)) && item.pdispVal)
            item.pdispVal->QueryInterface(IID_INetFwRule, reinterpret_cast<void**>(rule.Receive()));
        VariantClear(&item);
        if (rule && !visit(rule.Get()))
            return true;
    }
}

HWND ReqFirewall::RecreateRules(HWND parent)
{
    if (HWND page = EnsureElevated(parent))
        return page;
    HRESULT result = policy_.Get()->get_Rules(rules_.Receive());
    if (FAILED(result) || !rules_) {
        LogPrintf(L"INetFwProfile2::get_Rules failed: 0x%08lx\n", result);
        return nullptr;
    }
    std::vector<std::wstring> ownNames;
    bool walked = WalkRules(rules_.Get(), [&](INetFwRule* rule) {
        BstrString name;
        if (IsOwnRule(rule) && SUCCEEDED(rule->get_Name(name.Receive())) && name && name.Get()[0])
            ownNames.push_back(name.Get());
        return true;
    });
    if (!walked)
        LogWrite(L"Couldn't get firewall rule enumerator\n");
    LogPrintf(L"Deleting %d rules...\n", static_cast<int>(ownNames.size()));
    for (const std::wstring& name : ownNames) {
        BstrString text(SysAllocString(name.c_str()));
        result = rules_.Get()->Remove(text.Get());
        if (SUCCEEDED(result))
            LogPrintf(L"Deleted firewall rule: %s\n", name.c_str());
        else
            LogPrintf(L"Could not delete vestigial firewall rule: %s (0x%08lx)\n", name.c_str(), result);
    }
    for (const WantedRule& wanted : wantedRules_) {
        if (!ReplaceRule(wanted, true))
            return nullptr;
    }
    for (const WantedRule& wanted : wantedRules_) {
        if (!ReplaceRule(wanted, false))
            return nullptr;
    }
    LogWrite(L"Added firewall rules\n");
    return nullptr;
}

// Makes one rule anew; false when the rest of the rules must not be made.
bool ReqFirewall::ReplaceRule(const WantedRule& wanted, bool inbound)
{
    const std::wstring& nameText = inbound ? wanted.inboundName : wanted.outboundName;
    BstrString name(SysAllocString(nameText.c_str()));
    ComPointer<INetFwRule> existing;
    if (SUCCEEDED(rules_.Get()->Item(name.Get(), existing.Receive())) && existing) {
        LogPrintf(L"Rule exists for: %s\n", nameText.c_str());
        HRESULT result = rules_.Get()->Remove(name.Get());
        if (FAILED(result)) {
            if (inbound)
                LogPrintf(L"Could not update existing firewall rule: %s (0x%08lx)\n", nameText.c_str(),
                          result);
            else
                LogPrintf(L"INetFwRules::Remove failed: 0x%08lx\n", result);
            return false;
        }
    }
    ComPointer<INetFwRule> rule;
    HRESULT result = FirewallObjects.createRule(rule.Receive());
    if (FAILED(result) || !rule) {
        LogPrintf(L"CoCreateInstance INetFwRule failed: 0x%08lx\n", result);
        return false;
    }
    INetFwRule* r = rule.Get();
    r->put_Name(name.Get());
    r->put_ApplicationName(wanted.application);
    r->put_Protocol(wanted.udp ? NET_FW_IP_PROTOCOL_UDP : NET_FW_IP_PROTOCOL_TCP);
    r->put_LocalPorts(any_.Get());
    r->put_RemotePorts(wanted.remotePorts);
    r->put_Direction(inbound ? NET_FW_RULE_DIR_IN : NET_FW_RULE_DIR_OUT);
    r->put_Grouping(groupName_.Get());
    r->put_Profiles(profileTypes_);
    r->put_Action(NET_FW_ACTION_ALLOW);
    if (inbound)
        r->put_EdgeTraversal(VARIANT_TRUE);
    r->put_Enabled(VARIANT_TRUE);
    result = rules_.Get()->Add(r);
    if (FAILED(result))
        LogPrintf(L"Firewall Rule Add %s failed: 0x%08lx\n", nameText.c_str(), result);
    return true;
}
