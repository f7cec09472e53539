// End-to-end runs of Launcher.exe from the build tree: the start-up order,
// the three early exits, the chain of steps to its end and the statistics
// upload to the local HTTPS server.
#include "app_folders.h"
#include "exit_codes.h"
#include "launcher.h"
#include "launcher_process.h"
#include "localization.h"
#include "machine_test_support.h"
#include "md5.h"
#include "settings_store.h"
#include "step_messages.h"
#include "step_page.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <mmsystem.h>

#include <optional>
#include <string>
#include <vector>

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::TestServer;
using testing_support::WriteFileBytes;

namespace {

// Keeps a file's bytes (or its absence) and puts them back afterwards.
class FileGuard {
  public:
    explicit FileGuard(std::wstring path) : path_(std::move(path)), existed_(FileExists(path_))
    {
        if (existed_)
            bytes_ = ReadFileBytes(path_);
    }
    ~FileGuard()
    {
        if (existed_)
            WriteFileBytes(path_, bytes_);
        else
            DeleteFileW(path_.c_str());
    }

  private:
    std::wstring path_;
    bool existed_;
    std::string bytes_;
};

class LauncherRunTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer::Reset());
        // Every cluster's servers are the local test server.
        ASSERT_TRUE(WriteFileBytes(iniPath_, TestServer::ServerConfig()));
        PublishOneFileRelease();
        wchar_t saved[MAX_PATH] = {};
        ReadSettingString(SCOPE_CLIENT_TYPE, saved, MAX_PATH, L"DownloadDir");
        savedDownloadDir_ = saved;
        WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", downloadDir_.path().c_str());
        savedStats_ = ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0);
        WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0);
        // The install holds an earlier release's game: the update must
        // replace it with the release's, the stand-in game, which PLAY
        // starts and which records its start and ends.
        std::wstring install = downloadDir_ / L"Public";
        CreateDirectoryW(install.c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(install + L"\\Vantorel.x64.exe", "the game of an earlier release"));
        SetEnvironmentVariableW(L"VANTOREL_STANDIN_GAME", L"exit:0");
        SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", gameRecord_.c_str());
    }
    void TearDown() override
    {
        WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", savedStats_);
        WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", savedDownloadDir_.c_str());
        SetEnvironmentVariableW(L"VANTOREL_STANDIN_GAME", nullptr);
        SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", nullptr);
    }
    // How many times the stand-in was started as the game (not as an
    // applet).
    size_t GameStarts()
    {
        std::string record = ReadFileBytes(gameRecord_);
        size_t count = 0;
        for (size_t at = record.find("command="); at != std::string::npos;
             at = record.find("command=", at + 1)) {
            std::string line = record.substr(at, record.find('\n', at) - at);
            if (line.find("-applet:") == std::string::npos)
                ++count;
        }
        return count;
    }

    // The update passes install a release of one small file and the game's
    // stand-in, which the applet steps then run, and the manifest lines
    // given (of objects put with PutObject).
    void PublishOneFileRelease(const std::string& extraLines = "")
    {
        std::string game = testing_support::Base64Encode(
            ReadFileBytes(testing_support::BuildFolder() + L"\\Vantorel.x64.exe"));
        std::string manifest =
            PutObject(L"Data\\ready.txt",
                      R"({"name": "/Data/ready.txt.{md5}.bulk", "data_b64": "cmVhZHk="})") +
            "\r\n" +
            PutObject(L"Vantorel.x64.exe",
                      R"({"name": "/Vantorel.x64.exe.{md5}.bulk", "data_b64": ")" + game + "\"}") +
            "\r\n" + extraLines;
        TestServer::Control("POST", "/__ctl/content/manifest", manifest);
    }
    // Stores an object of the release, installed as local below the
    // install folder; its manifest line without the line end.
    std::string PutObject(const std::wstring& local, const std::string& json)
    {
        std::string answer = TestServer::Control("POST", "/__ctl/content/put", json);
        std::string name = JsonField(answer, "\"name\": \"", "\"");
        std::string size = JsonField(answer, "\"size\": ", ",}");
        std::string md5 = JsonField(answer, "\"md5\": \"", "\"");
        EXPECT_FALSE(name.empty() || size.empty() || md5.empty()) << answer;
        release_.push_back({local, md5});
        return name + "," + size;
    }
    // Checks that every file of the release is installed with the release's
    // MD5.
    void ExpectReleaseInstalled()
    {
        ASSERT_FALSE(release_.empty());
        for (const auto& [local, md5] : release_) {
            std::wstring path = downloadDir_ / (L"Public\\" + local);
            std::string bytes = ReadFileBytes(path);
            Md5Context context;
            MD5Init(context);
            MD5Update(context, bytes.data(), bytes.size());
            std::wstring digest = MD5FinalText(context);
            EXPECT_TRUE(FileExists(path)) << std::string(local.begin(), local.end());
            EXPECT_EQ(std::string(digest.begin(), digest.end()), md5)
                << std::string(local.begin(), local.end());
        }
    }
    static std::string JsonField(const std::string& json, const std::string& marker, const char* ends)
    {
        size_t start = json.find(marker);
        if (start == std::string::npos)
            return "";
        start += marker.size();
        return json.substr(start, json.find_first_of(ends, start) - start);
    }

    std::optional<int> Run(const std::wstring& arguments)
    {
        LauncherProcess launcher(arguments);
        EXPECT_TRUE(launcher.Started());
        return launcher.RunToItsEnd(true, 60000);
    }
    std::string Log() { return ReadFileBytes(logPath_); }
    std::vector<std::string> Uploads()
    {
        std::vector<std::string> bodies;
        for (const auto& request : TestServer::Requests()) {
            if (request.method == "POST" && request.path == "/stats/launcherUpload.php")
                bodies.push_back(request.body);
        }
        return bodies;
    }

    std::wstring launcher_ = testing_support::BuildFolder() + L"\\Launcher.exe";
    std::wstring iniPath_ = testing_support::BuildFolder() + L"\\Vantorel.ini";
    std::wstring logPath_ = std::wstring(GetLocalDataFolder()) + L"\\Launcher.log";
    FileGuard iniGuard_{iniPath_};
    DWORD savedStats_ = 0;
    testing_support::TempDir downloadDir_;
    std::wstring savedDownloadDir_;
    std::wstring gameRecord_ = downloadDir_ / L"game_record.txt";
    // The release's files: the path below the install folder and the MD5.
    std::vector<std::pair<std::wstring, std::string>> release_;
};

// Checks that the texts occur in this order; reports the first missing one.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts)
{
    size_t at = 0;
    for (const std::string& part : parts) {
        size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing in order: " << part << "\n" << text;
        at = found + part.size();
    }
}

const char* const MainChainNames[] = {
    "Platform", "PickDirectory", "Firewall",  "GameRunning",    "Binaries0", "CBA",
    "EULA",     "DirectX",       "Binaries1", "CollectGarbage", "Defrag0",   "Binaries2",
    "Repair",   "Preprocess",    "Defrag1",   "ReadyToPlay"};

TEST_F(LauncherRunTest, WithoutTheBrowserTheChainRunsToItsEndAndTheReportIsSent)
{
    ASSERT_EQ(Run(L"-nocef"), 0);
    ExpectReleaseInstalled();
    std::string log = Log();
    EXPECT_EQ(log.rfind("Current time: ", 0), 0u) << log;
    std::vector<std::string> order = {"WINE detected.\r\n", "CEF disabled on command-line\r\n",
                                      "CEF not enabled\r\n", "SC_PUBLIC\r\n"};
    for (const char* name : MainChainNames) {
        // The ready page stays until PLAY, which starts the game and ends
        // the launcher.
        if (std::string(name) == "ReadyToPlay")
            order.push_back("Total time: ");
        else
            order.push_back(std::string("Finished ") + name + " (");
    }
    order.push_back("POST /stats/launcherUpload.php");
    ExpectInOrder(log, order);
    EXPECT_EQ(GameStarts(), 1u);
    EXPECT_EQ(log.find("LoadCEFLib"), std::string::npos);

    std::vector<std::string> uploads = Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    const std::string& report = uploads[0];
    EXPECT_EQ(report.rfind("{\"Binaries0\":{\"Attempts\":1,\"DownloadSize\":", 0), 0u) << report;
    for (const char* name : MainChainNames)
        EXPECT_NE(report.find(std::string("\"") + name + "\":{\"Attempts\":1,"), std::string::npos) << name;
    EXPECT_NE(report.find(",\"TotalTime\":"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 17), ",\"ClientType\":\"\"}");

    // The ready page was reached: later runs send nothing.
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 7), 1u);
}

TEST_F(LauncherRunTest, ADoubleClickOnTheFirstAgreementDoesNotAcceptTheSecond)
{
    // The release carries both agreements, neither of them accepted yet.
    std::string extra;
    std::wstring cbaMd5, eulaMd5;
    for (const char* name : {"cba_en.rtf", "eula_en.rtf"}) {
        bool cba = name[0] == 'c';
        std::string text = cba ? "{\\rtf1\\ansi Collective bargaining agreement of the test\\par}"
                               : "{\\rtf1\\ansi End user licence agreement of the test\\par}";
        extra +=
            PutObject(L"Agreements\\" + std::wstring(name, name + strlen(name)),
                      std::string(R"({"name": "/Agreements/)") + name + R"(.{md5}.bulk", "data_b64": ")" +
                          testing_support::Base64Encode(text) + "\"}") +
            "\r\n";
        const std::string& md5 = release_.back().second;
        (cba ? cbaMd5 : eulaMd5).assign(md5.begin(), md5.end());
    }
    PublishOneFileRelease(extra);
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"");
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", L"");
    const std::wstring agree = steps_test::Text("AGREE");
    ASSERT_FALSE(agree.empty());

    LauncherProcess launcher(L"-nocef");
    ASSERT_TRUE(launcher.Started());
    auto pageShows = [&](const wchar_t* words) {
        return launcher.EnabledMainButton() == agree && launcher.PaneText().find(words) != std::wstring::npos;
    };
    ASSERT_TRUE(launcher.WaitUntil([&] { return pageShows(L"Collective bargaining"); }, 60000));
    // The player reads the CBA and double-clicks I AGREE: the first click
    // accepts it and brings up the EULA, which must not take the second.
    Sleep(1000);
    SetForegroundWindow(launcher.Window());
    ClickScreenAt(launcher.MainButtonOnScreen(), 2);
    ASSERT_TRUE(launcher.WaitUntil([&] { return ClientTypeSetting(L"ReadCba") == cbaMd5; }, 10000));
    launcher.WaitUntil(
        [&] {
            return !ClientTypeSetting(L"ReadEula").empty() ||
                   Log().find("Ignored a click") != std::string::npos;
        },
        10000);
    EXPECT_EQ(ClientTypeSetting(L"ReadEula"), L"");
    EXPECT_TRUE(pageShows(L"End user licence"));
    EXPECT_NE(Log().find("Ignored a click on button 1044"), std::string::npos) << "no second click came";

    // A click of its own, once the page has been read, accepts the EULA, and
    // the chain goes on to the ready page.
    Sleep(1000);
    ClickScreenAt(launcher.MainButtonOnScreen());
    EXPECT_TRUE(launcher.WaitUntil([&] { return ClientTypeSetting(L"ReadEula") == eulaMd5; }, 10000));

    // The first joystick's button works as PLAY there (no joystick can be
    // had under Wine: the test posts its press). A press that comes as the
    // page comes up belongs to the page before it and starts nothing; one
    // once the page has been up for a moment starts the game.
    const std::wstring play = steps_test::Text("PLAY");
    ASSERT_TRUE(launcher.WaitUntil([&] { return launcher.EnabledMainButton() == play; }, 60000))
        << "the ready page did not come";
    PostMessageW(launcher.Window(), MM_JOY1BUTTONDOWN, JOY_BUTTON1, 0);
    launcher.WaitUntil(
        [&] {
            return GameStarts() > 0 ||
                   Log().find("Ignored a press of the joystick's button") != std::string::npos;
        },
        5000);
    EXPECT_EQ(GameStarts(), 0u) << "a press as the ready page came up started the game";
    EXPECT_NE(Log().find("Ignored a press of the joystick's button made before its page had been shown"),
              std::string::npos);
    Sleep(PAGE_SETTLE_MS + 500);
    PostMessageW(launcher.Window(), MM_JOY1BUTTONDOWN, JOY_BUTTON1, 0);
    // Starting the game ends the launcher, by itself and with 0.
    EXPECT_EQ(launcher.WaitForItsEnd(15000), 0) << "the launcher did not end by itself within 15 s of PLAY";
    ExpectReleaseInstalled();
    DWORD start = GetTickCount();
    while (GameStarts() == 0 && GetTickCount() - start < 5000)
        Sleep(50);
    EXPECT_EQ(GameStarts(), 1u);
}

TEST_F(LauncherRunTest, HeadlessPrintsTheWholeChainToItsStandardOutputAndEnds)
{
    // Started as from a shell that redirects its output: no console window,
    // standard output a pipe. Everything the log gets is printed there too.
    // Nothing of the release is there before the run: the game too has to
    // come from the content server.
    ASSERT_TRUE(DeleteFileW((downloadDir_ / L"Public\\Vantorel.x64.exe").c_str()));
    std::string output;
    ASSERT_EQ(testing_support::RunProcess(L"\"" + launcher_ + L"\" -headless", &output), 0) << output;
    ExpectReleaseInstalled();
    std::string log = Log();
    // The console takes the lines from the moment the run knows it is
    // headless.
    std::vector<std::string> order = {"CEF not enabled\r\n", "SC_PUBLIC\r\n"};
    for (const char* name : MainChainNames) {
        if (std::string(name) != "ReadyToPlay") // headless starts the game from it
            order.push_back(std::string("Finished ") + name + " (");
    }
    order.push_back("POST /stats/launcherUpload.php");
    ExpectInOrder(output, order);
    ExpectInOrder(log, order);
    ExpectInOrder(log, {"CEF disabled on command-line\r\n", "CEF not enabled\r\n"});
    EXPECT_EQ(output.find("No console"), std::string::npos);
    EXPECT_EQ(Uploads().size(), 1u);
    // The launcher ends once the game is started, maybe before the game
    // has recorded its start.
    DWORD start = GetTickCount();
    while (GameStarts() == 0 && GetTickCount() - start < 5000)
        Sleep(50);
    EXPECT_EQ(GameStarts(), 1u);
}

TEST_F(LauncherRunTest, UninstallPurgesTheInstallAndQuits)
{
    std::wstring container = downloadDir_ / L"Games";
    std::wstring install = container + L"\\Vantorel";
    CreateDirectoryW(container.c_str(), nullptr);
    CreateDirectoryW(install.c_str(), nullptr);
    CreateDirectoryW((install + L"\\Public").c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(install + L"\\Public\\Vantorel.x64.exe", "game"));
    ASSERT_TRUE(WriteFileBytes(install + L"\\Launcher.exe", "launcher"));
    WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", install.c_str());

    ASSERT_EQ(Run(L"-nocef -uninstall"), 0);
    EXPECT_FALSE(FileExists(install + L"\\Public\\Vantorel.x64.exe"));
    EXPECT_FALSE(FileExists(install + L"\\Launcher.exe"));
    EXPECT_EQ(GetFileAttributesW(container.c_str()), INVALID_FILE_ATTRIBUTES); // emptied, so removed
    EXPECT_NE(GetFileAttributesW(downloadDir_.path().c_str()), INVALID_FILE_ATTRIBUTES);
    std::string log = Log();
    ExpectInOrder(log, {"Purging download cache...\r\n", "Purge complete\r\n"});
    EXPECT_EQ(log.find("Platform"), std::string::npos);
}

TEST_F(LauncherRunTest, AnOlderWindowsEndsTheRunWithItsText)
{
    // Wine reports the version set for the program's name; the test's own
    // process keeps its version.
    const wchar_t* key = L"Software\\Wine\\AppDefaults\\Launcher.exe";
    HKEY handle = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(handle, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"vista"), 12);
    RegCloseKey(handle);
    std::string output;
    std::optional<int> code = testing_support::RunProcess(L"\"" + launcher_ + L"\" -headless", &output);
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    EXPECT_EQ(code, EXIT_MACHINE_UNSUPPORTED) << output;
    ExpectInOrder(output, {"OS Version: 6.0", "Vantorel requires Windows 7 or later."});
    EXPECT_EQ(output.find("Finished Platform"), std::string::npos);
    EXPECT_EQ(GameStarts(), 0u);
}

TEST_F(LauncherRunTest, HeadlessQuitAtTheInstallFolderQuestionEndsAsAFailedRun)
{
    // A first run on the machine: no install folder was chosen yet, so the
    // headless run shows the folder dialog as a windowed run does. The
    // person cancels it and confirms the quit: the work was not done.
    DeleteSetting(L"DownloadDir");
    std::optional<machine_test::DialogUser> user;
    std::string output;
    std::optional<int> code = RunHeadless(L"", &output, 120000, [&](DWORD processId) {
        user.emplace(0, std::vector<machine_test::DialogAnswer>{{L"", false}, {L"", true, true}}, processId);
    });
    int answered = user ? user->Answered() : 0;
    user.reset(); // fails the test when a dialog was missed
    EXPECT_EQ(answered, 2) << output;
    EXPECT_EQ(code, EXIT_RUN_FAILED) << output;
    ExpectInOrder(output, {"The run was given up at the install-folder question\r\n",
                           "The run failed: it ends (exit code " + std::to_string(EXIT_RUN_FAILED) + ")"});
    EXPECT_EQ(ClientTypeSetting(L"DownloadDir"), L"");
    EXPECT_FALSE(FileExists(downloadDir_ / L"Public\\Data\\ready.txt"));
    EXPECT_EQ(output.find("Finished PickDirectory"), std::string::npos) << output;
    EXPECT_EQ(GameStarts(), 0u);
}

TEST_F(LauncherRunTest, NothingIsSentOnceTheReadyPageWasReached)
{
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 1);
    LauncherProcess launcher(L"-nocef");
    ASSERT_TRUE(launcher.Started());
    const std::wstring play = steps_test::Text("PLAY");
    ASSERT_TRUE(launcher.WaitUntil([&] { return launcher.EnabledMainButton() == play; }, 60000))
        << "the ready page did not come";
    wchar_t status[256] = {};
    GetWindowTextW(GetDlgItem(launcher.Window(), IDC_STATUS_TEXT), status, 256);
    EXPECT_EQ(status, steps_test::Text("READY_TO_PLAY"));
    ASSERT_EQ(launcher.RunToItsEnd(true, 60000), 0);
    EXPECT_EQ(launcher.LastPage(), LauncherPage::Ready);
    EXPECT_TRUE(Uploads().empty());
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 7), 1u);
}

TEST_F(LauncherRunTest, StagedFilesAreInstalledBeforeTheBrowserRuntimeIsLoaded)
{
    std::wstring runtime = testing_support::BuildFolder() + L"\\CEF3_1\\";
    bool madeRuntime = CreateDirectoryW(runtime.c_str(), nullptr) != FALSE;
    CreateDirectoryW((runtime + L"V5").c_str(), nullptr);
    std::wstring target = runtime + L"V5\\libcef.dll";
    ASSERT_TRUE(WriteFileBytes(target + L".cpy", "staged"));

    ASSERT_EQ(Run(L""), 0);
    std::string log = Log();
    std::string installed = "Installed staged file " + std::string(target.begin(), target.end()) + "\r\n";
    ExpectInOrder(log, {"WINE detected.\r\n", installed, "LoadCEFLib\r\n", "LoadCEFLib failed\r\n",
                        "Finished Platform ("});
    EXPECT_EQ(log.find("CEF not enabled"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(target), "staged");

    DeleteFileW(target.c_str());
    RemoveDirectoryW((runtime + L"V5").c_str());
    if (madeRuntime)
        RemoveDirectoryW(runtime.c_str());
}

TEST_F(LauncherRunTest, FirstRunOnAMachineHasItsLog)
{
    // Without the product folder (a fresh machine) the log is still written.
    std::wstring folder = GetLocalDataFolder();
    std::wstring aside = folder + L".aside";
    ASSERT_TRUE(MoveFileW(folder.c_str(), aside.c_str()));
    std::optional<int> code = Run(L"-nocef");
    std::string log = Log();
    testing_support::RemoveTree(folder);
    ASSERT_TRUE(MoveFileW(aside.c_str(), folder.c_str()));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(log.rfind("Current time: ", 0), 0u);
    EXPECT_NE(log.find("Total time: "), std::string::npos);
}

TEST_F(LauncherRunTest, RelaunchedAppendsWithoutAHeader)
{
    ASSERT_TRUE(WriteFileBytes(logPath_, "earlier run\r\n"));
    ASSERT_EQ(Run(L"-nocef -relaunched"), 0);
    std::string log = Log();
    EXPECT_EQ(log.rfind("earlier run\r\nWINE detected.\r\n", 0), 0u) << log;
    EXPECT_EQ(log.find("Current time: "), std::string::npos);
    EXPECT_NE(log.find("Total time: "), std::string::npos);

    DeleteFileW(logPath_.c_str());
    ASSERT_EQ(Run(L"-relaunched -nocef"), 0);
    EXPECT_EQ(Log().rfind("WINE detected.\r\n", 0), 0u);
}

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(LauncherRunTest, SecondInstanceBringsTheFirstForwardAndTouchesNothing)
{
    // This process plays the running launcher: it holds the single-instance
    // mutex and the log, and owns a minimised window of the class "Launcher".
    std::wstring name = GetLocalDataFolder();
    for (wchar_t& c : name)
        c = c == L'\\' ? L'_' : c;
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ASSERT_TRUE(WriteFileBytes(logPath_, "first instance\r\n"));
    HANDLE log = CreateFileW(logPath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = StandInProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"Launcher";
    ASSERT_TRUE(RegisterClassW(&windowClass));
    HWND window = CreateWindowExW(0, L"Launcher", L"Vantorel", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_MINIMIZE);
    steps_test::PumpMessages();
    ASSERT_TRUE(IsIconic(window));
    WriteSettingDword(SCOPE_LAUNCHER, L"EnableDeferred", 5);

    EXPECT_EQ(Run(L"-nocef"), 0);
    steps_test::PumpMessages();
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(ReadSettingDword(SCOPE_LAUNCHER, L"EnableDeferred", 7), 5u);
    EXPECT_TRUE(Uploads().empty());
    CloseHandle(log);
    EXPECT_EQ(Log(), "first instance\r\n");

    DestroyWindow(window);
    UnregisterClassW(L"Launcher", GetModuleHandleW(nullptr));
    CloseHandle(mutex);
    WriteSettingDword(SCOPE_LAUNCHER, L"EnableDeferred", 0);
}

TEST_F(LauncherRunTest, SecondLauncherLeavesARunningOneAlone)
{
    // The first launcher stays up while the server holds its report.
    ASSERT_TRUE(TestServer::AddRoute("POST", "/stats/launcherUpload.php", 200, "OK", "\"delay\": 8"));
    LauncherProcess first(L"-nocef");
    ASSERT_TRUE(first.Started());
    for (int i = 0; i < 200 && Uploads().empty(); ++i) {
        first.HandlePage(true);
        Sleep(100);
    }
    ASSERT_EQ(Uploads().size(), 1u);

    EXPECT_EQ(Run(L"-nocef"), 0);
    // Headless, the second one says so, to the script that started it too.
    std::string output;
    EXPECT_EQ(RunHeadless(L"", &output, 30000), EXIT_ANOTHER_LAUNCHER) << output;
    EXPECT_NE(output.find("Another launcher is running"), std::string::npos) << output;
    EXPECT_EQ(first.RunToItsEnd(true, 60000), 0);
    EXPECT_EQ(Uploads().size(), 1u);
    std::string log = Log();
    EXPECT_EQ(log.find("Current time: ", 1), std::string::npos) << log;
}

TEST(SharedSectionTest, AnotherProcessOfTheSameExecutableSeesTheMainWindow)
{
    SharedMainWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234ABCD));
    std::string output;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::optional<int> code =
        testing_support::RunProcess(L"\"" + std::wstring(self) + L"\" --print-shared-main-window", &output);
    SharedMainWindow = nullptr;
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output.substr(0, output.find_first_of("\r\n")), std::to_string(0x1234ABCD));
}

} // namespace
