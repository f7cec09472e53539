// ReqFirewall ("Firewall"): makes sure Windows Firewall lets the launcher,
// the game and FaultCourier reach the network. With the firewall policy
// interface it keeps a named group of eight rules current and asks for
// administrator rights (once, through the elevation moniker) only when
// something must change; without it, it authorises the three programs in
// the older authorised-applications list. Every problem is logged and the
// chain goes on, except refused elevation, which leaves the QUIT page
// "ADMIN_REQUIRED_FOR_FIREWALL".
#pragma once

#include "firewall_rules.h"
#include "requirement.h"
#include "scoped_handles.h"

#include <vector>

class ReqFirewall : public Requirement {
public:
    ReqFirewall() : Requirement(STEP_PROGRESS_HIDDEN) {}

    // Null, or the QUIT page when elevation was refused.
    HWND Run(HWND parent) override;

private:
    HWND RunPolicy(HWND parent);
    HWND RunLegacy();
    // Null when the policy is (now) the elevated one; else the QUIT page.
    HWND EnsureElevated(HWND parent);
    HWND RecreateRules(HWND parent);
    // Whether a rule belongs to one of the three programs.
    bool IsOwnRule(INetFwRule* rule);
    // Calls visit for each rule of the collection; false without an
    // enumerator. visit returns false to stop the walk.
    template <typename Visit>
    bool WalkRules(INetFwRules* rules, Visit visit);
    bool ReplaceRule(const WantedRule& wanted, bool inbound);
    void AuthorizeApplication(const wchar_t* name, BSTR path);

    ComPointer<INetFwPolicy2> policy_;
    long profileTypes_ = 0;
    ComPointer<INetFwRules> rules_;
    BstrString groupName_;
    bool elevated_ = false;
    std::vector<WantedRule> wantedRules_;
    ComPointer<INetFwMgr> legacyManager_;
    ComPointer<INetFwPolicy> legacyPolicy_;
    ComPointer<INetFwProfile> legacyProfile_;
    ComPointer<INetFwAuthorizedApplications> authorizedApplications_;
    BstrString launcherPath_;
    BstrString gamePath_;
    BstrString faultCourierPath_;
    BstrString any_;
    BstrString tcpPorts_;
};
