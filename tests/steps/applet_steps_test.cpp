// The cache applet steps against the game's stand-in in an install folder:
// the command line and environment the applet sees, success and failure
// lines, exit codes, the verify marker across runs and the defragment
// decision from the wasted space to the question and the disk check.
#include "machine/platform_step.h"
#include "applet_test_support.h"
#include "applets/applet_steps.h"
#include "applets/maintenance_requests.h"
#include "command_line.h"
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "manifest.h"
#include "settings_store.h"
#include "steps_test_support.h"
#include "strings.h"
#include "binaries/install_purge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using applet_test::GameInstall;
using applet_test::RunStepToEnd;
using applet_test::StepErrorText;
using applet_test::StepOutcome;
using testing_support::FileExists;
using testing_support::LogCapture;
using testing_support::WriteFileBytes;

using steps_test::Text;

namespace {

void DeleteVerifyMarker()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, GetSettingsKeyPath(SCOPE_CLIENT_TYPE), 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(key, L"VerifyVersionPublic");
        RegCloseKey(key);
    }
}

// The message boxes the steps show, answered without a window.
std::vector<std::wstring> BoxTexts;
int BoxAnswer = IDYES;
int WINAPI AnswerBox(HWND, LPCWSTR text, LPCWSTR caption, UINT, WORD)
{
    BoxTexts.push_back(std::wstring(caption) + L"|" + text);
    return BoxAnswer;
}

class AppletStepsTest : public testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(install_.Ready());
        steps_test::ResetQueueState();
        DefragTrigger = 0;
        MTRenderingSupported = false; // as before the platform check has run
        ManifestFileList.clear();
        ForgetUnusedCacheFiles();
        BoxTexts.clear();
        BoxAnswer = IDYES;
        MessageBoxExFunction = AnswerBox;
        DeleteVerifyMarker();
    }
    void TearDown() override
    {
        MessageBoxExFunction = MessageBoxExW;
        HeadlessMode = false;
        DefragTrigger = 0;
        ManifestFileList.clear();
        ForgetUnusedCacheFiles();
        DeleteVerifyMarker();
        steps_test::ResetQueueState();
    }
    // A file of the install with some bytes.
    std::wstring InstallFile(const std::wstring& name, size_t size = 10)
    {
        std::wstring path = install_.InstallDir() + L"\\" + name;
        WriteFileBytes(path, std::string(size, 'c'));
        return path;
    }

    GameInstall install_;
    steps_test::PlainWindow parent_{true};
    LogCapture log_;
};

} // namespace

TEST_F(AppletStepsTest, RepairRunsWhilePendingWithTheGameCommandLineAndEnvironment)
{
    // A fresh install starts verified: nothing runs, the marker is written.
    {
        ReqRepair repair;
        EXPECT_TRUE(RunStepToEnd(repair, parent_.get()).finishedAtOnce);
        EXPECT_FALSE(IsVerifyPending());
        EXPECT_EQ(2u, ReadSettingDword(SCOPE_CLIENT_TYPE, L"VerifyVersionPublic", 0));
    }
    // Pending: the applet runs with the game's options and environment and
    // its success line clears the marker.
    SetVerifyPending(true);
    SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_overlay_1", L"1");
    InstallFile(L"Repair.log");
    install_.Script(L"title:Repair 45%;sleep:300;out:Cache repair succeeded;exit:0");
    {
        ReqRepair repair;
        StepOutcome outcome = RunStepToEnd(repair, parent_.get());
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_FLOAT_EQ(1.0f, repair.GetProgress());
        EXPECT_EQ(Text("VERIFYING_DOWNLOAD_CACHE"), parent_.StatusText());
    }
    SetEnvironmentVariableW(L"DISABLE_VK_LAYER_VALVE_steam_overlay_1", nullptr);
    EXPECT_FALSE(IsVerifyPending());
    EXPECT_TRUE(log_.Contains("Spawning RepairApplet\r\n"));
    std::string record = install_.Record();
    std::string exe = ConvertToUtf8(install_.Exe());
    EXPECT_NE(std::string::npos,
              record.find("command=\"" + exe +
                          "\" -silent -log:/Repair.log -graphicsDriver:dx11 -threadedworker:0 -cluster:public"
                          " -language:en -deferred:0 -applet:/QX/Types/Framework/CacheRepair\n"));
    EXPECT_NE(std::string::npos,
              record.find(";" + ConvertToUtf8(install_.InstallDir()) + "\\Tools\\Windows\\x64\n"));
    EXPECT_NE(std::string::npos, record.find("env=VANTOREL_STANDIN=title:Repair 45%"));
    EXPECT_EQ(std::string::npos, record.find("DISABLE_VK_LAYER"));

    // Verified: the next chain's repair does nothing.
    {
        ReqRepair repair;
        EXPECT_TRUE(RunStepToEnd(repair, parent_.get()).finishedAtOnce);
    }
}

TEST_F(AppletStepsTest, RepairFailuresKeepTheMarkerPending)
{
    // Exit 0 without the success line, a crash exit, a missing executable.
    SetVerifyPending(true);
    std::wstring failure = Text("RepairCrashed") + L"\r\n\r\n" + Text("AppletCrashed");
    ASSERT_FALSE(Text("RepairCrashed").empty());
    for (const wchar_t* script : {L"out:nothing to say;exit:0", L"out:Cache repair succeeded;exit:1"}) {
        install_.Script(script);
        ReqRepair repair;
        StepOutcome outcome = RunStepToEnd(repair, parent_.get());
        EXPECT_TRUE(outcome.failed) << script;
        EXPECT_EQ(CHAIN_RETRY_PROMPT, outcome.chain);
        EXPECT_EQ(failure, StepErrorText()) << script;
        EXPECT_TRUE(IsVerifyPending());
    }
    // "-force:verify" makes the repair run although the marker says verified.
    SetVerifyPending(false);
    SetCommandLineForTest(L"Launcher.exe -force:verify");
    install_.Script(L"out:Cache repair succeeded");
    {
        ReqRepair repair;
        EXPECT_TRUE(RunStepToEnd(repair, parent_.get()).succeeded);
    }
    SetCommandLineForTest(nullptr);
    SetVerifyPending(true);
    DeleteFileW(install_.Exe().c_str());
    {
        ReqRepair repair;
        StepOutcome outcome = RunStepToEnd(repair, parent_.get());
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(Text("NO_EXECUTABLE"), StepErrorText());
    }
    // A log that cannot be deleted ends the launcher through the QUIT page.
    CreateDirectoryW((install_.InstallDir() + L"\\Repair.log").c_str(), nullptr);
    {
        ReqRepair repair;
        HWND page = repair.Run(parent_.get());
        EXPECT_NE(nullptr, page);
        EXPECT_EQ(STEP_PROGRESS_HIDDEN, repair.kind);
        DestroyWindow(page);
        steps_test::TakeQuitMessage();
    }
    RemoveDirectoryW((install_.InstallDir() + L"\\Repair.log").c_str());
}

TEST_F(AppletStepsTest, PreprocessWasteAsksDefrag1AndCollectGarbageDefragsAtOnce)
{
    // Much waste on the public cluster: Defrag1 offers 1178 MB.
    EnableAggressiveDownload = false;
    install_.Script(
        L"title:Preprocess 12/100 12%;sleep:400;out:Wasted cache space: 1,234,567,890 bytes (40%);"
        L"out:All stripped assets preprocessed;exit:0");
    {
        ReqPreprocess preprocess;
        StepOutcome outcome = RunStepToEnd(preprocess, parent_.get());
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_EQ(1234567890u, preprocess.WastedBytes.load());
        EXPECT_EQ(40, preprocess.WastedPercent.load());
    }
    EXPECT_EQ(1234567890, DefragTrigger);
    EXPECT_NE(std::string::npos, install_.Record().find("ContentUpdate unaggressive\n"));

    // Defrag0 leaves a byte count to Defrag1; answering No clears it and
    // deletes nothing.
    CreateDirectoryW((install_.InstallDir() + L"\\Cache.Windows").c_str(), nullptr);
    std::wstring unused = InstallFile(L"Cache.Windows\\old.cache", 2000);
    ForgetUnusedCacheFiles();
    ManifestFileList.push_back({InstallFile(L"big.cache", 100), L"", 100});
    ReqDefrag defrag0(0);
    EXPECT_TRUE(RunStepToEnd(defrag0, parent_.get()).finishedAtOnce);
    EXPECT_EQ(1234567890, DefragTrigger);
    BoxAnswer = IDNO;
    {
        ReqDefrag defrag1(1);
        EXPECT_TRUE(RunStepToEnd(defrag1, parent_.get()).finishedAtOnce);
    }
    EXPECT_EQ(0, DefragTrigger);
    ASSERT_EQ(1u, BoxTexts.size());
    EXPECT_NE(std::wstring::npos, BoxTexts[0].find(L"1178 MB"));
    EXPECT_TRUE(FileExists(unused));

    // CollectGarbage runs for six present textures and a missing light map;
    // an applet that cannot run here (0xC000007B) counts as success, and
    // Defrag0 then defragments without asking, after deleting unused files.
    for (int i = 0; i < 6; ++i)
        ManifestFileList.push_back({InstallFile(L"t" + std::to_wstring(i) + L".TextureDx9.cache"), L"", 10});
    ManifestFileList.push_back({install_.InstallDir() + L"\\a.LightMap.cache", L"", 10});
    install_.Script(L"exit:0xC000007B");
    {
        ReqCollectGarbage collect;
        EXPECT_TRUE(RunStepToEnd(collect, parent_.get()).succeeded);
    }
    EXPECT_TRUE(
        log_.Contains("STATUS_INVALID_IMAGE_FORMAT -> Image format not supported on this system\r\n"));
    EXPECT_EQ(DEFRAG_WITHOUT_ASKING, DefragTrigger);
    install_.Script(L"");
    BoxTexts.clear();
    {
        ReqDefrag defrag(0);
        EXPECT_TRUE(RunStepToEnd(defrag, parent_.get()).succeeded);
    }
    EXPECT_TRUE(BoxTexts.empty());
    EXPECT_FALSE(FileExists(unused));
    EXPECT_TRUE(log_.Contains("Deleted 2000 bytes of unused binaries\r\n"));
    EXPECT_NE(
        std::string::npos,
        install_.Record().find("-applet:/QX/Types/Framework/CacheDefraggerAsync /Tools/CachePlan.txt\n"));

    // Not enough room: "-force:defragSpace" asks about 564 MB, then skips.
    SetCommandLineForTest(L"Launcher.exe -force:defragSpace");
    BoxAnswer = IDYES;
    {
        ReqDefrag defrag(1);
        EXPECT_TRUE(RunStepToEnd(defrag, parent_.get()).finishedAtOnce);
    }
    ASSERT_EQ(2u, BoxTexts.size());
    EXPECT_NE(std::wstring::npos, BoxTexts[0].find(L"564 MB"));
    EXPECT_NE(std::wstring::npos, BoxTexts[1].find(L"1 GB"));
    EXPECT_TRUE(log_.Contains("Could not delete file "));
    EXPECT_TRUE(log_.Contains("Skipping defrag; not enough disk space to do it safely ("));

    // Headless: the trigger is cleared and nothing happens.
    HeadlessMode = true;
    DefragTrigger = DEFRAG_WITHOUT_ASKING;
    ReqDefrag headless(0);
    EXPECT_TRUE(RunStepToEnd(headless, parent_.get()).finishedAtOnce);
    EXPECT_EQ(0, DefragTrigger);
}

TEST_F(AppletStepsTest, PreprocessFailures)
{
    // Its own failure line, with the statistic.
    install_.Script(
        L"out:12 stripped assets still pending preprocess;out:All stripped assets preprocessed;exit:0");
    SetCommandLineForTest(L"Launcher.exe -force:content_failure");
    {
        ReqPreprocess preprocess;
        StepOutcome outcome = RunStepToEnd(preprocess, parent_.get());
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(CHAIN_RETRY_PROMPT, outcome.chain);
        EXPECT_EQ(Text("PreprocessFailed"), StepErrorText());
        EXPECT_EQ(1, preprocess.GetStatistics()[L"PreprocessFailed"]);
    }
    SetCommandLineForTest(nullptr);
    // Failed fetches with aggressive download: the main chain again, without.
    EnableAggressiveDownload = true;
    install_.Script(L"out:GetFromHTTP failed;out:x: Used shared /a;out:Wasted cache space: lots;exit:0");
    {
        ReqPreprocess preprocess;
        StepOutcome outcome = RunStepToEnd(preprocess, parent_.get());
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(CHAIN_MAIN, outcome.chain);
        EXPECT_FALSE(EnableAggressiveDownload);
        StatisticsMap statistics = preprocess.GetStatistics();
        EXPECT_EQ(1, statistics[L"GetFromHttp_Failures"]);
        EXPECT_EQ(1, statistics[L"ProcessedSuccesfully"]);
    }
    EXPECT_TRUE(log_.Contains("Could not parse wasted cache space"));
    EXPECT_TRUE(log_.Contains("Automatically disabling aggressive download and retrying\r\n"));
    // A crash exit.
    install_.Script(L"out:All stripped assets preprocessed;exit:0xC0000005");
    {
        ReqPreprocess preprocess;
        StepOutcome outcome = RunStepToEnd(preprocess, parent_.get());
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(CHAIN_RETRY_PROMPT, outcome.chain);
        EXPECT_EQ(Text("PreprocessCrashed") + L"\r\n\r\n" + Text("AppletCrashed"), StepErrorText());
    }
    // The title's download figures.
    ReqPreprocess preprocess;
    preprocess.ParseWindowTitle(L"Preprocess 0/0 57%");
    EXPECT_FLOAT_EQ(0.57f, preprocess.GetProgress());
    preprocess.ParseWindowTitle(L"Preprocess 25/100 12%");
    EXPECT_FLOAT_EQ(0.25f, preprocess.GetProgress());
}
