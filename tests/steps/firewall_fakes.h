// Fake Windows Firewall objects for the firewall step's tests. Wine has no
// firewall service, so these behave as the documented interfaces do:
// getters hand out BSTRs the caller frees, setters copy theirs; rule names
// and program paths are found without regard to case; IsRuleGroupEnabled
// answers S_FALSE for a group without rules; a policy that is not the
// elevated one refuses every change with E_ACCESSDENIED; elevation may be
// refused with ERROR_CANCELLED.
#pragma once

#include <windows.h>
#include <netfw.h>

#include <memory>
#include <string>
#include <vector>

namespace firewall_fakes {

struct RuleData {
    std::wstring name, application, localPorts, remotePorts, grouping;
    LONG protocol = 256;
    LONG profiles = NET_FW_PROFILE2_ALL;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    NET_FW_ACTION action = NET_FW_ACTION_ALLOW;
    bool edgeTraversal = false;
    bool enabled = false;
};

struct AppData {
    std::wstring name, path, remoteAddresses = L"*";
    NET_FW_SCOPE scope = NET_FW_SCOPE_ALL;
    bool enabled = true;
};

// Everything the fakes share: the machine's firewall as the step sees it.
struct FirewallWorld {
    bool policyAvailable = true; // false: only the legacy manager exists
    LONG profileTypes = NET_FW_PROFILE2_PRIVATE | NET_FW_PROFILE2_PUBLIC;
    bool firewallEnabled = true; // in every profile
    bool blockAllInbound = false;
    bool elevationGranted = true;
    int elevations = 0;
    int deniedChanges = 0; // changes tried without elevation
    int badStrings = 0;    // texts handed in that were not BSTRs
    std::vector<std::shared_ptr<RuleData>> rules;

    bool legacyEnabled = true;
    std::vector<std::shared_ptr<AppData>> applications;
    int legacyWrites = 0;
};

// The world the factories below act on.
extern FirewallWorld World;

// Fake objects alive right now (to find leaked references).
extern int LiveObjects;

// Replaces FirewallObjects with factories of fakes over World for the life
// of the object, and resets World.
class FakeFirewall {
public:
    FakeFirewall();
    ~FakeFirewall();
};

} // namespace firewall_fakes
