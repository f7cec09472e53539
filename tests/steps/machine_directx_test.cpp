// The DirectX step's decisions on machines given by their adapter list, and
// one run on the real (Wine) adapter.
#include "command_line.h"
#include "launcher_settings.h"
#include "log.h"
#include "machine/directx_step.h"
#include "machine_test_support.h"
#include "settings_store.h"
#include "step_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using machine_test::PageParent;
using machine_test::WaitForPosted;

std::vector<ProbedAdapter> Machine;

bool FakeWalk(ReqDirectX&, std::vector<ProbedAdapter>& adapters)
{
    adapters = Machine;
    return true;
}

ProbedAdapter Adapter(D3D_FEATURE_LEVEL level, bool software = false)
{
    ProbedAdapter adapter;
    adapter.description = software ? L"Soft Rasterizer" : L"Fast GPU";
    adapter.level = level;
    adapter.software = software;
    return adapter;
}

class DirectXStepTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        AdapterWalkFunction = FakeWalk;
        ResetLauncherSettingsForTest();
        DeleteSetting(L"ErrorDx10Unsuported");
    }
    void TearDown() override
    {
        if (page_)
            DestroyWindow(page_);
        AdapterWalkFunction = WalkDxgiAdapters;
        DxgiLibraryName = L"dxgi.dll";
        ResetLauncherSettingsForTest();
        SetCommandLineForTest(nullptr);
        HeadlessMode = false;
        DeleteSetting(L"ErrorDx10Unsuported");
        steps_test::TakeQuitMessage();
    }
    // Runs a fresh step on Machine; returns the page key shown, "" for none.
    std::string Run(const wchar_t* commandLine = L"Launcher.exe")
    {
        SetCommandLineForTest(commandLine);
        if (page_)
            DestroyWindow(page_);
        step_ = std::make_unique<ReqDirectX>();
        page_ = step_->Run(parent_.get());
        if (!page_)
            return "";
        MSG shown;
        if (!WaitForPosted(parent_.get(), WM_STEP_PAGE_SHOWN, &shown, 2000))
            return "?";
        return reinterpret_cast<const char*>(shown.lParam);
    }
    std::vector<bool> Supported() const
    {
        return {GraphicsApiSupported[0], GraphicsApiSupported[1], GraphicsApiSupported[2]};
    }

    PageParent parent_;
    std::unique_ptr<ReqDirectX> step_;
    HWND page_ = nullptr;
};

TEST_F(DirectXStepTest, AdaptersDecideTheDriversAndTheSettingFollows)
{
    steps_test::LogCapture log;
    Machine = {Adapter(D3D_FEATURE_LEVEL_12_0), Adapter(D3D_FEATURE_LEVEL_11_0, true)};
    GraphicsAPI = 2;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Supported(), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(GraphicsAPI, 1);
    EXPECT_TRUE(log.Contains("Found D3D adapter 0: Fast GPU (D3D_FEATURE_LEVEL_12_0)"));
    EXPECT_TRUE(log.Contains("Ignoring software D3D adapter 0: Soft Rasterizer (D3D_FEATURE_LEVEL_11_0)"));

    // Off the public cluster level 12 gives dx12; a stored value that is no
    // driver at all becomes the best one.
    ServerCluster = SC_TEST;
    GraphicsAPI = 7;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Supported(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(GraphicsAPI, 2);
    ServerCluster = SC_PUBLIC;
    const bool publicLevel12[3] = {true, true, false};
    EXPECT_EQ(CorrectGraphicsApi(-3, publicLevel12), 1);

    Machine = {Adapter(D3D_FEATURE_LEVEL_10_0)};
    GraphicsAPI = 1;
    EXPECT_EQ(Run(), "WARNING_DX11_UNSUPPORTED");
    EXPECT_EQ(GraphicsAPI, 0);

    Machine = {Adapter(D3D_FEATURE_LEVEL_11_0)};
    GraphicsAPI = 2;
    EXPECT_EQ(Run(L"Launcher.exe -force:dx10"), "WARNING_DX11_UNSUPPORTED");
    EXPECT_EQ(Supported(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(GraphicsAPI, 0);
    // OK goes on.
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, 0), 0);
    EXPECT_TRUE(WaitForPosted(parent_.get(), WM_STEP_SUCCEEDED, nullptr, 2000));
}

TEST_F(DirectXStepTest, NoUsableAdapterEndsTheLauncher)
{
    for (const wchar_t* commandLine : {L"Launcher.exe", L"Launcher.exe -force:dx9"}) {
        Machine = {Adapter(D3D_FEATURE_LEVEL_12_0, true)};
        if (wcsstr(commandLine, L"dx9"))
            Machine = {Adapter(D3D_FEATURE_LEVEL_12_0)};
        DeleteSetting(L"ErrorDx10Unsuported");
        EXPECT_EQ(Run(commandLine), "ERROR_DX10_UNSUPPORTED");
        EXPECT_EQ(step_->kind, STEP_PROGRESS_HIDDEN);
        EXPECT_EQ(ReadSettingDword(SCOPE_CLIENT_TYPE, L"ErrorDx10Unsuported", 0), 1u);
        EXPECT_EQ(step_->GetStatistics(), (StatisticsMap{{L"ERROR_DX10_UNSUPPORTED", 1}}));
        EXPECT_EQ(parent_.ItemText(IDC_MAIN_BUTTON), steps_test::Text("QUIT"));
    }
}

TEST_F(DirectXStepTest, DirectX10ChosenAsksAndYesRestartsWithDirectX11)
{
    Machine = {Adapter(D3D_FEATURE_LEVEL_11_0)};
    GraphicsAPI = 0;
    EXPECT_EQ(Run(), "WARNING_DX10_SELECTED");
    EXPECT_EQ(parent_.ItemText(IDC_MAIN_BUTTON), steps_test::Text("YES"));
    EXPECT_EQ(parent_.ItemText(IDC_ALT_BUTTON), steps_test::Text("NO"));
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_ALT_BUTTON, 0), 0);
    MSG done;
    ASSERT_TRUE(WaitForPosted(parent_.get(), WM_STEP_SUCCEEDED, &done, 2000));
    EXPECT_EQ(GraphicsAPI, 0);

    EXPECT_EQ(Run(), "WARNING_DX10_SELECTED");
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, 0), 0);
    MSG failed;
    ASSERT_TRUE(WaitForPosted(parent_.get(), WM_STEP_FAILED, &failed, 2000));
    EXPECT_EQ(failed.lParam, CHAIN_MAIN);
    EXPECT_EQ(reinterpret_cast<HWND>(failed.wParam), page_);
    EXPECT_EQ(GraphicsAPI, 1);
}

TEST_F(DirectXStepTest, HeadlessSkipsTheProbe)
{
    AdapterWalkFunction = [](ReqDirectX&, std::vector<ProbedAdapter>&) {
        ADD_FAILURE() << "probed";
        return false;
    };
    HeadlessMode = true;
    GraphicsAPI = 2;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Supported(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(GraphicsAPI, 2);
}

TEST_F(DirectXStepTest, WithoutTheDxgiFactoryTheCheckFailsInsteadOfTheLauncher)
{
    // A machine without the library, and one whose library lacks the entry.
    AdapterWalkFunction = WalkDxgiAdapters;
    for (const wchar_t* library : {L"vantorel_no_such_dxgi.dll", L"kernel32.dll"}) {
        steps_test::LogCapture log;
        DxgiLibraryName = library;
        EXPECT_EQ(Run(), "ERROR_DX10_UNSUPPORTED");
        EXPECT_EQ(Supported(), (std::vector<bool>{false, false, false}));
        EXPECT_TRUE(log.Contains("Could not create IDXGIFactory1!\r\n")) << log.Text();
    }
}

TEST_F(DirectXStepTest, WinesAdapterPassesTheStepWithDirectX11)
{
    // Wine's adapter stands for a real one: a named hardware adapter at
    // level 11 or above.
    ReqDirectX probe;
    std::vector<ProbedAdapter> adapters;
    ASSERT_TRUE(WalkDxgiAdapters(probe, adapters));
    auto hardware = std::find_if(adapters.begin(), adapters.end(),
                                 [](const ProbedAdapter& adapter) { return !adapter.software; });
    ASSERT_NE(hardware, adapters.end()) << "no hardware adapter was found";
    std::string name(hardware->description.begin(), hardware->description.end());
    EXPECT_FALSE(name.empty());
    EXPECT_GE(hardware->level, D3D_FEATURE_LEVEL_11_0) << FeatureLevelName(hardware->level);

    // The step on it goes on without a page: dx10 and dx11, not dx12 (public
    // cluster, access level 0), and the chosen dx11 is kept.
    AdapterWalkFunction = WalkDxgiAdapters;
    steps_test::LogCapture log;
    GraphicsAPI = 1;
    EXPECT_EQ(Run(), "");
    EXPECT_EQ(Supported(), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(GraphicsAPI, 1);
    EXPECT_TRUE(log.Contains("Found D3D adapter " + std::to_string(hardware->index) + ": " + name +
                             " (D3D_FEATURE_LEVEL_" + FeatureLevelName(hardware->level) + ")\r\n"))
        << log.Text();
}

} // namespace
