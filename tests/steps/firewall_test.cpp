// The firewall step's decisions against fake firewall objects.
#include "clusters.h"
#include "downloaded_path.h"
#include "firewall/req_firewall.h"
#include "firewall_fakes.h"
#include "launcher_settings.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

using firewall_fakes::AppData;
using firewall_fakes::RuleData;
using firewall_fakes::World;

namespace {

const wchar_t kPorts[] = L"80,443,8080,6665-6669,6695-6699";

class FirewallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        steps_test::ResetQueueState();
        ServerCluster = SC_PUBLIC;
        DownloadFolder = L"C:\\Games\\Vantorel";
        ResetClusterInstallDirsForTest();
        launcher_ = GetDownloadedFilePath(L"/Tools/Launcher.exe");
        game_ = GetGameExePath();
        courier_ = GetDownloadedFilePath(L"/Tools/FaultCourier.exe");
    }
    void TearDown() override
    {
        EXPECT_EQ(firewall_fakes::LiveObjects, 0); // every reference released
        EXPECT_EQ(World.badStrings, 0);
        DownloadFolder.clear();
        ResetClusterInstallDirsForTest();
        steps_test::TakeQuitMessage();
    }
    // Runs a fresh step; returns its page (destroyed with the step).
    HWND RunStep()
    {
        ReqFirewall step;
        HWND page = step.Run(host_.get());
        kind_ = step.kind;
        if (page) {
            steps_test::PumpMessages(); // the page's own posts
            DestroyWindow(page);
        }
        return page;
    }
    const RuleData* Find(const std::wstring& name)
    {
        for (const auto& rule : World.rules) {
            if (rule->name == name)
                return rule.get();
        }
        return nullptr;
    }
    // Lays the eight rules as a first run makes them.
    void MakeCurrentRules()
    {
        ASSERT_EQ(RunStep(), nullptr);
        ASSERT_EQ(World.rules.size(), 8u);
        World.elevations = 0;
    }

    firewall_fakes::FakeFirewall fake_;
    steps_test::StepHost host_;
    std::wstring launcher_, game_, courier_;
    int kind_ = 0;
};

TEST_F(FirewallTest, MissingRulesAreMadeAfterOneElevationAndThenLeftAlone)
{
    steps_test::LogCapture log;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_EQ(World.elevations, 1);
    EXPECT_EQ(World.deniedChanges, 0);
    EXPECT_TRUE(log.Contains("Windows Firewall is enabled for the Private profile type."));
    EXPECT_TRUE(log.Contains("Firewall rule group does not exist yet."));
    EXPECT_TRUE(log.Contains("Added firewall rules"));

    ASSERT_EQ(World.rules.size(), 8u);
    const RuleData* in = Find(L"Vantorel Game 64-bit (UDP-In)");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->application, game_);
    EXPECT_EQ(in->protocol, 17);
    EXPECT_EQ(in->localPorts, L"*");
    EXPECT_EQ(in->remotePorts, L"*");
    EXPECT_EQ(in->direction, NET_FW_RULE_DIR_IN);
    EXPECT_EQ(in->grouping, L"Vantorel");
    EXPECT_EQ(in->profiles, NET_FW_PROFILE2_PRIVATE | NET_FW_PROFILE2_PUBLIC);
    EXPECT_TRUE(in->edgeTraversal);
    EXPECT_TRUE(in->enabled);
    const RuleData* out = Find(L"Vantorel Launcher (TCP-Out)");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->application, launcher_);
    EXPECT_EQ(out->protocol, 6);
    EXPECT_EQ(out->remotePorts, kPorts);
    EXPECT_EQ(out->direction, NET_FW_RULE_DIR_OUT);
    EXPECT_FALSE(out->edgeTraversal);
    ASSERT_NE(Find(L"Vantorel FaultCourier (TCP-In)"), nullptr);

    // Current rules (a program path in other letter case, remote ports "*"):
    // nothing to change, no prompt.
    for (auto& rule : World.rules) {
        if (rule->application == game_)
            rule->application = L"c:\\GAMES\\Vantorel\\Public\\vantorel.x64.EXE";
    }
    World.rules[0]->remotePorts = L"*";
    steps_test::LogCapture second;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_EQ(World.elevations, 1);
    EXPECT_EQ(World.deniedChanges, 0);
    EXPECT_TRUE(second.Contains("Firewall rule group already enabled for the Public profile type."));
    EXPECT_FALSE(second.Contains("Firewall rule missing"));
    EXPECT_FALSE(second.Contains("Extraneous"));
}

TEST_F(FirewallTest, OutdatedOrExtraneousRulesAreAllMadeAgain)
{
    MakeCurrentRules();
    World.rules[3]->remotePorts = L"80,443";
    steps_test::LogCapture log;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_EQ(World.elevations, 1);
    EXPECT_TRUE(log.Contains("Firewall rule has outdated remote ports"));
    EXPECT_TRUE(log.Contains("Deleting 8 rules..."));
    ASSERT_EQ(World.rules.size(), 8u);
    for (const auto& rule : World.rules) {
        EXPECT_TRUE(rule->remotePorts == L"*" || rule->remotePorts == kPorts) << rule->name;
    }

    // A ninth rule for the game and a disabled group in one profile.
    World.elevations = 0;
    auto extra = std::make_shared<RuleData>();
    extra->name = L"Vantorel Game (old)";
    extra->application = game_;
    World.rules.push_back(extra);
    steps_test::LogCapture again;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_EQ(World.elevations, 1);
    EXPECT_TRUE(again.Contains("Extraneous firewall rule: Vantorel Game (old) for "));
    EXPECT_EQ(Find(L"Vantorel Game (old)"), nullptr);
    EXPECT_EQ(World.rules.size(), 8u);

    // The test cluster's programs get rules of their own, named after it;
    // the public cluster's stay.
    World.elevations = 0;
    ServerCluster = SC_TEST;
    ResetClusterInstallDirsForTest();
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_NE(Find(L"Vantorel Test Game 64-bit (UDP-Out)"), nullptr);
    EXPECT_NE(Find(L"Vantorel Game 64-bit (UDP-Out)"), nullptr);
    EXPECT_EQ(World.rules.size(), 16u);
    EXPECT_EQ(World.deniedChanges, 0);
    ServerCluster = SC_PUBLIC;
}

TEST_F(FirewallTest, BlockingAndDisabledGroupsAreFixedAndRefusalLeavesTheQuitPage)
{
    MakeCurrentRules();
    World.blockAllInbound = true;
    for (auto& rule : World.rules)
        rule->enabled = false;
    steps_test::LogCapture log;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_EQ(World.elevations, 1);
    EXPECT_EQ(World.deniedChanges, 0);
    EXPECT_FALSE(World.blockAllInbound);
    EXPECT_TRUE(log.Contains("Disabling BlockAllInboundTraffic for the Private profile type..."));
    EXPECT_TRUE(log.Contains("Enabling firewall rule group for the Private profile type..."));
    EXPECT_TRUE(World.rules[0]->enabled);

    // The user refuses the elevation prompt.
    World = firewall_fakes::FirewallWorld();
    World.elevationGranted = false;
    steps_test::LogCapture refused;
    EXPECT_NE(RunStep(), nullptr);
    EXPECT_EQ(kind_, STEP_PROGRESS_HIDDEN);
    ASSERT_FALSE(host_.pageKeys.empty());
    EXPECT_EQ(host_.pageKeys.back(), "ADMIN_REQUIRED_FOR_FIREWALL");
    EXPECT_TRUE(refused.Contains("CoCreateInstanceAsAdmin INetFwPolicy2 failed: 0x800704C7"));
    EXPECT_TRUE(World.rules.empty());

    // Firewall off: nothing is looked at.
    World = firewall_fakes::FirewallWorld();
    World.firewallEnabled = false;
    steps_test::LogCapture off;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_TRUE(off.Contains("Windows Firewall is disabled\r\n"));
    EXPECT_EQ(World.elevations, 0);
}

TEST_F(FirewallTest, WithoutThePolicyInterfaceTheProgramsAreAuthorised)
{
    World.policyAvailable = false;
    auto good = std::make_shared<AppData>();
    good->name = L"Vantorel Launcher";
    good->path = launcher_;
    World.applications.push_back(good);
    auto restricted = std::make_shared<AppData>();
    restricted->name = L"Vantorel Game 64";
    restricted->path = game_;
    restricted->remoteAddresses = L"LocalSubnet";
    World.applications.push_back(restricted);

    steps_test::LogCapture log;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_EQ(World.elevations, 0);
    EXPECT_TRUE(log.Contains("Windows Firewall enabled"));
    EXPECT_FALSE(log.Contains("Launcher is not"));
    EXPECT_TRUE(
        log.Contains("Game 64 authorization remote addresses are restricted to LocalSubnet in the firewall"));
    EXPECT_TRUE(log.Contains("FaultCourier is not currently authorized by the firewall"));
    ASSERT_EQ(World.applications.size(), 3u);
    EXPECT_EQ(restricted->remoteAddresses, L"*");
    EXPECT_EQ(World.applications[2]->name, L"Vantorel FaultCourier");
    EXPECT_EQ(World.applications[2]->path, courier_);
    EXPECT_TRUE(World.applications[2]->enabled);

    // All three authorised as wanted: nothing is written.
    World.legacyWrites = 0;
    EXPECT_EQ(RunStep(), nullptr);
    EXPECT_EQ(World.legacyWrites, 0);
}

} // namespace
