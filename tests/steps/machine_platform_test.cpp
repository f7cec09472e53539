// The Platform and GameRunning steps and the fault guard of the machine
// probes.
#include "clusters.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "log.h"
#include "machine/exception_guard.h"
#include "machine/game_running_step.h"
#include "machine/platform_step.h"
#include "machine_test_support.h"
#include "step_messages.h"

#include <gtest/gtest.h>

namespace {

using machine_test::PageParent;
using machine_test::WaitForPosted;
using steps_test::Text;

constexpr uint64_t MiB = 1024ull * 1024;

bool NoPageFile()
{
    return false;
}
bool SomePageFile()
{
    return true;
}
bool PageFileMustNotBeAsked()
{
    ADD_FAILURE() << "page files looked up";
    return false;
}

TEST(PlatformChecks, MemoryIsRoundedToHalfGigabytesAndWindows7IsTheOldest)
{
    // 1.8 GiB rounds to 2 GiB and needs a page file; 1.7 GiB rounds down.
    EXPECT_EQ(ClassifyPhysicalMemory(1843 * MiB, SomePageFile), nullptr);
    EXPECT_STREQ(ClassifyPhysicalMemory(1843 * MiB, NoPageFile), "INSUFFICIENT_RAM");
    EXPECT_STREQ(ClassifyPhysicalMemory(1740 * MiB, PageFileMustNotBeAsked), "INSUFFICIENT_RAM");
    EXPECT_EQ(ClassifyPhysicalMemory(3891 * MiB, PageFileMustNotBeAsked), nullptr);
    EXPECT_STREQ(ClassifyPhysicalMemory(0, PageFileMustNotBeAsked), "INSUFFICIENT_RAM");
    // Windows 7 is the oldest taken.
    EXPECT_TRUE(IsSupportedVersionNumber(6, 1));
    EXPECT_FALSE(IsSupportedVersionNumber(6, 0));
}

TEST(PlatformChecks, AFaultInsideAProbeComesBackAsItsCode)
{
    auto crash = [](void* target) { *static_cast<volatile int*>(target) = 1; };
    EXPECT_EQ(RunGuarded(crash, nullptr), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    int value = 0;
    EXPECT_EQ(RunGuarded(crash, &value), 0u);
    EXPECT_EQ(value, 1);
    // The guard is gone afterwards: a second guarded fault is caught again.
    EXPECT_EQ(RunGuarded(crash, nullptr), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

class PlatformStepTest : public ::testing::Test {
  protected:
    void TearDown() override
    {
        ResetPlatformFacts();
        SetCommandLineForTest(nullptr);
        steps_test::TakeQuitMessage();
    }
    // Runs a fresh step; expects the QUIT page with key, or success (null).
    void RunExpecting(const char* key)
    {
        steps_test::LogCapture log;
        ReqPlatform step;
        HWND page = step.Run(parent_.get());
        EXPECT_NE(log.Text().find("OS Version: "), std::string::npos) << log.Text();
        if (!key) {
            EXPECT_EQ(page, nullptr);
            EXPECT_TRUE(step.GetStatistics().empty());
            return;
        }
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(step.kind, STEP_PROGRESS_HIDDEN);
        MSG shown;
        ASSERT_TRUE(WaitForPosted(parent_.get(), WM_STEP_PAGE_SHOWN, &shown, 2000));
        EXPECT_STREQ(reinterpret_cast<const char*>(shown.lParam), key);
        EXPECT_EQ(parent_.ItemText(IDC_MAIN_BUTTON), Text("QUIT"));
        std::wstring wideKey(key, key + strlen(key));
        EXPECT_EQ(step.GetStatistics(), (StatisticsMap{{wideKey, 1}}));
        DestroyWindow(page);
    }

    PageParent parent_;
};

TEST_F(PlatformStepTest, EachCheckPassesOrEndsTheLauncherWithItsText)
{
    // This machine, with enough memory whatever it really has.
    PlatformFactsSource.totalPhysicalMemory = [] { return 8192 * MiB; };
    MTRenderingSupported = false;
    RunExpecting(nullptr);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    EXPECT_EQ(MTRenderingSupported, system.dwNumberOfProcessors > 1);

    PlatformFactsSource.totalPhysicalMemory = [] { return 3072 * MiB; };
    PlatformFactsSource.pageFileExists = SomePageFile;
    RunExpecting(nullptr);
    PlatformFactsSource.pageFileExists = NoPageFile;
    RunExpecting("INSUFFICIENT_RAM");

    PlatformFactsSource.totalPhysicalMemory = [] { return 8192 * MiB; };
    PlatformFactsSource.cpuIdentification = [](uint32_t leaf, uint32_t r[4]) {
        r[0] = r[1] = r[2] = 0;
        r[3] = leaf == 1 ? (1u << 23) | (1u << 25) : 0; // no SSE2
        return true;
    };
    RunExpecting("UNSUPPORTED_CPU");
    PlatformFactsSource.cpuIdentification = [](uint32_t, uint32_t*) { return false; };
    RunExpecting("UNSUPPORTED_CPU");
    ResetPlatformFacts();

    SetCommandLineForTest(L"Launcher.exe -force:platform");
    steps_test::LogCapture log;
    ReqPlatform step;
    HWND page = step.Run(parent_.get());
    ASSERT_NE(page, nullptr);
    MSG shown;
    ASSERT_TRUE(WaitForPosted(parent_.get(), WM_STEP_PAGE_SHOWN, &shown, 2000));
    EXPECT_STREQ(reinterpret_cast<const char*>(shown.lParam), "UNSUPPORTED_OS");
    EXPECT_EQ(log.Text().find("OS Version: "), std::string::npos);
    DestroyWindow(page);
}

TEST(GameRunningStep, WaitsWhileTheGameHoldsItsMutex)
{
    testing_support::TempDir dir;
    DownloadFolder = dir.path();
    ResetClusterInstallDirsForTest();
    std::wstring name = GameMutexName(GetClusterInstallDir(ServerCluster));
    EXPECT_EQ(name, GameMutexName(dir.path() + L"\\Public"));
    EXPECT_EQ(GameMutexName(L"C:\\G\\Public"), L"C:_G_Public_");

    PageParent parent;
    {
        ReqGameRunning idle;
        EXPECT_EQ(idle.Run(parent.get()), nullptr);
    }
    HANDLE game = CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(game, nullptr);
    ReqGameRunning step;
    HWND page = step.Run(parent.get());
    ASSERT_NE(page, nullptr);
    MSG shown;
    ASSERT_TRUE(WaitForPosted(parent.get(), WM_STEP_PAGE_SHOWN, &shown, 2000));
    EXPECT_STREQ(reinterpret_cast<const char*>(shown.lParam), "GAME_RUNNING");
    EXPECT_FALSE(WaitForPosted(parent.get(), WM_STEP_SUCCEEDED, nullptr, 300));

    CloseHandle(game);
    MSG done;
    ASSERT_TRUE(WaitForPosted(parent.get(), WM_STEP_SUCCEEDED, &done, 5000));
    EXPECT_EQ(reinterpret_cast<HWND>(done.lParam), page);
    DestroyWindow(page);

    // Forced, the game always runs.
    SetCommandLineForTest(L"Launcher.exe -force:running");
    EXPECT_TRUE(step.IsGameRunning());
    SetCommandLineForTest(nullptr);
    DownloadFolder.clear();
    ResetClusterInstallDirsForTest();
}

} // namespace
