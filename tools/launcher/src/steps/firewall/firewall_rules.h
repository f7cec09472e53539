// The firewall rules the launcher keeps: one inbound and one outbound rule
// for each of four program and protocol pairs, in one named rule group.
#pragma once

#include <windows.h>
#include <netfw.h>

#include <string>

// One wanted program and protocol. The texts point into the step.
struct WantedRule {
    const wchar_t* displayName = nullptr; // "Launcher", "Game 64-bit", "FaultCourier"
    BSTR application = nullptr;           // full path of the program
    int udp = 0;                          // 1: UDP (17), 0: TCP (6)
    BSTR remotePorts = nullptr;
    std::wstring inboundName;  // group + " " + display name + " (TCP-In)" / " (UDP-In)"
    std::wstring outboundName; // the same ending in "-Out)"
};

// "Vantorel", then " " + ClientType in single-cluster mode with a client
// type, else " " + the branch folder for a cluster other than the public.
std::wstring FirewallGroupName();

// The wanted rule with its two rule names made from group.
WantedRule MakeWantedRule(const std::wstring& group, const wchar_t* displayName, BSTR application,
                              int udp, BSTR remotePorts);

// The firewall's profile types, in the order every per-profile loop takes.
struct FirewallProfile {
    NET_FW_PROFILE_TYPE2 type;
    const wchar_t* name;
};
extern const FirewallProfile FirewallProfiles[3];

// Checks one existing rule against the wanted rule; logs the first mismatch (with
// the rule's name) and returns false then.
bool IsRuleCurrent(INetFwRules* rules, const WantedRule& wanted, bool inbound);
