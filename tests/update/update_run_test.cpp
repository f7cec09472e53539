// End-to-end runs of Launcher.exe against the local content server: the three
// update passes install a small release, the update relaunches the
// downloaded copy, and later runs fetch only what changed.
#include "exit_codes.h"
#include "localization.h"
#include "release_fixture.h"
#include "settings_store.h"
#include "step_messages.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>

using testing_support::FileExists;
using testing_support::ReadFileBytes;

namespace {

// The recorder may still be writing when the launcher that started it ends.
std::string RecordedCommandLine(const std::wstring& launcherDir)
{
    std::wstring path = launcherDir + L"\\Tools\\relaunch_command_line.txt";
    std::string bytes;
    for (int i = 0; i < 100 && bytes.empty(); ++i) {
        if (FileExists(path))
            bytes = ReadFileBytes(path);
        if (bytes.empty())
            Sleep(100);
    }
    std::string line;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        line += bytes[i];
    return line;
}

size_t CountContaining(const std::vector<std::string>& paths, const std::string& part)
{
    return std::count_if(paths.begin(), paths.end(),
                         [&](const std::string& path) { return path.find(part) != std::string::npos; });
}

void ExpectInstalled(const ReleaseFixture& release)
{
    for (const ReleaseFile& file : release.files)
        EXPECT_EQ(FileMd5(file.localPath), file.md5) << file.path;
    EXPECT_TRUE(FindFiles(release.installDir, L".tmp").empty());
    EXPECT_TRUE(FindFiles(release.launcherDir, L".tmp").empty());
}

TEST(UpdateRunTest, AReleaseIsInstalledRelaunchedAndThenKeptCurrent)
{
    ReleaseFixture release;
    std::string recorder = ReadFileBytes(testing_support::BuildFolder() + L"\\relaunch_recorder.exe");
    ASSERT_FALSE(recorder.empty());
    release.AddBytes("/Tools/Launcher.exe", recorder, false);
    release.Add("/Tools/CEF3_1/read me.txt", 3000, 1, true);
    release.Add("/Agreements/eula_en.rtf", 2000, 2, true);
    // Sizes at the edges of the transfer buffers (16 KiB in, 32 KiB out),
    // of the hashing chunk (1 MiB) and of the files read whole (2 MiB).
    int seed = 10;
    for (int64_t size : {1, 16383, 16384, 16385, 32768, 32769, 1048576, 1048577, 2097152, 2097153}) {
        bool lzma = seed % 2 == 0;
        release.Add("/Data/size " + std::to_string(size) + ".bin", size, seed++, lzma);
    }
    release.Add("/Cache.Windows/shaders_xx.toc", 500, 30, true);
    release.Add("/Cache.Windows/shaders_xx.cache", 70000, 31, false);
    content_server::PutBytes("/Ornix/Language/MOTD_en.rtf.lzma", "{\\rtf1 Welcome}");
    ASSERT_TRUE(release.Publish());

    // The first pass installs the launcher's own files and hands over to the
    // new copy, which the recorder stands in for.
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_EQ(RecordedCommandLine(release.launcherDir),
              "\"" + Narrow(release.launcherDir) + "\\Tools\\Launcher.exe\" -relaunched -nocef");
    EXPECT_EQ(FileMd5(release.files[1].localPath), release.files[1].md5);
    EXPECT_EQ(FileMd5(release.files[2].localPath), release.files[2].md5);
    std::vector<std::string> requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, "/origin/"), 1u);
    EXPECT_EQ(CountContaining(requests, "/Ornix/Language/MOTD_en.rtf.lzma"), 1u);
    EXPECT_EQ(CountContaining(requests, "/Data/"), 0u);

    // The user agreed to this EULA before, so the runs go past its page.
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", Wide(release.files[2].md5).c_str());

    // The relaunched run purges what the manifest no longer lists and
    // installs the content and cache passes.
    const std::wstring& install = release.installDir;
    CreateDirectoryW(install.c_str(), nullptr);
    for (const wchar_t* folder : {L"\\Old", L"\\Old\\Deeper", L"\\Empty", L"\\Data"})
        CreateDirectoryW((install + folder).c_str(), nullptr);
    testing_support::WriteFileBytes(install + L"\\Old\\stale.dll", "x");
    // Left empty only once its own empty folder has gone.
    testing_support::WriteFileBytes(install + L"\\Old\\Deeper\\stale.exe", "x");
    testing_support::WriteFileBytes(install + L"\\Data\\kept.LightMap.dat", "x");
    testing_support::WriteFileBytes(install + L"\\Data\\notes.txt", "x");
    // A mods folder that lies elsewhere, linked into the install: the purge
    // goes neither through the link nor into the folder it leads to.
    std::wstring elsewhere = install.substr(0, install.rfind(L'\\')) + L"\\Elsewhere";
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    testing_support::WriteFileBytes(elsewhere + L"\\mod.dll", "x");
    testing_support::WriteFileBytes(elsewhere + L"\\crash.dmp", "x");
    ASSERT_TRUE(testing_support::MakeLink(install, L"Mods", L"..\\Elsewhere", true));
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    log = release.Log();
    EXPECT_TRUE(FileExists(elsewhere + L"\\mod.dll"));
    EXPECT_TRUE(FileExists(elsewhere + L"\\crash.dmp"));
    EXPECT_TRUE(FileExists(install + L"\\Mods"));
    EXPECT_NE(log.find("Skipped link " + Narrow(install) + "\\Mods"), std::string::npos);
    EXPECT_FALSE(FileExists(install + L"\\Old"));
    EXPECT_FALSE(FileExists(install + L"\\Empty"));
    EXPECT_TRUE(FileExists(install + L"\\Data\\kept.LightMap.dat"));
    EXPECT_TRUE(FileExists(install + L"\\Data\\notes.txt"));
    EXPECT_NE(log.find("Purging empty " + Narrow(install) + "\\Old\\"), std::string::npos);
    EXPECT_EQ(release.LastPage(), LauncherPage::Ready) << log;
    ExpectInstalled(release);
    requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, "/Data/"), 10u);
    EXPECT_EQ(CountContaining(requests, "/Cache.Windows/"), 2u);
    EXPECT_EQ(CountContaining(requests, "/Tools/"), 0u);

    // Nothing changed: only the manifest and the message of the day. A
    // folder of the install that leads to another of its folders does not
    // make the files there be judged by its own path: none is deleted and
    // fetched again.
    ASSERT_TRUE(testing_support::MakeLink(install, L"Alias", L"Data", true));
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    EXPECT_TRUE(testing_support::RemoveLink(install, L"Alias"));
    requests = release.NewRequests();
    EXPECT_EQ(requests.size(), 2u);
    EXPECT_EQ(CountContaining(requests, "/origin/"), 1u);
    EXPECT_EQ(CountContaining(requests, "MOTD_en"), 1u);

    // A changed file is the only object fetched.
    ReleaseFile changed = release.files[5];
    release.files.erase(release.files.begin() + 5);
    release.Add(changed.path, 20000, 99, true);
    ASSERT_TRUE(release.Publish());
    ASSERT_EQ(release.Run(L"-nocef -relaunched"), 0);
    requests = release.NewRequests();
    EXPECT_EQ(requests.size(), 3u);
    EXPECT_EQ(CountContaining(requests, release.files.back().md5), 1u);
    ExpectInstalled(release);

    // A browser-runtime file in use is staged beside itself; the update
    // still relaunches (and the relaunch takes the log with it).
    ReleaseFile runtime = release.files[1];
    release.files.erase(release.files.begin() + 1);
    release.Add(runtime.path, 3100, 98, true);
    ASSERT_TRUE(release.Publish());
    {
        HANDLE inUse =
            CreateFileW(runtime.localPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
        DeleteFileW((release.launcherDir + L"\\Tools\\relaunch_command_line.txt").c_str());
        EXPECT_EQ(release.Run(L"-nocef -relaunched"), 0);
        CloseHandle(inUse);
    }
    release.NewRequests();
    EXPECT_EQ(FileMd5(runtime.localPath), runtime.md5);
    EXPECT_EQ(FileMd5(runtime.localPath + L".cpy"), release.files.back().md5);
    EXPECT_NE(RecordedCommandLine(release.launcherDir).find("-relaunched -nocef -relaunched"),
              std::string::npos);

    // Started from elsewhere, the launcher hands over to its downloaded copy
    // at once.
    DeleteFileW((release.launcherDir + L"\\Tools\\relaunch_command_line.txt").c_str());
    ASSERT_EQ(release.Run(L"-nocef -x:1"), 0);
    EXPECT_EQ(RecordedCommandLine(release.launcherDir),
              "\"" + Narrow(release.launcherDir) + "\\Tools\\Launcher.exe\" -relaunched -nocef -x:1");
    EXPECT_TRUE(release.NewRequests().empty());
}

} // namespace

namespace {

TEST(UpdateRunTest, ATestClusterTakesMatchingCacheFilesFromThePublicInstall)
{
    ReleaseFixture release;
    std::wstring publicDir = release.installDir;
    release.UseTestCluster();

    ReleaseFile good = release.Add("/Cache.Windows/good_xx.toc", 262144, 1, false);
    ReleaseFile bad = release.Add("/Cache.Windows/bad_xx.cache", 300000, 2, false);
    release.Add("/Cache.Windows/empty_xx.cache", 5000, 3, false);
    ASSERT_TRUE(release.Publish());
    std::wstring publicCache = publicDir + L"\\Cache.Windows\\";
    CreateDirectoryW(publicDir.c_str(), nullptr);
    CreateDirectoryW(publicCache.c_str(), nullptr);
    ASSERT_TRUE(
        testing_support::WriteFileBytes(publicCache + L"good_xx.toc", content_server::Object(good.name)));
    std::string wrong = content_server::Object(bad.name);
    wrong[299999] ^= 1;
    ASSERT_TRUE(testing_support::WriteFileBytes(publicCache + L"bad_xx.cache", wrong));
    ASSERT_TRUE(testing_support::WriteFileBytes(publicCache + L"empty_xx.cache", ""));
    release.NewRequests();

    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    EXPECT_NE(log.find("SC_TEST"), std::string::npos) << log;
    EXPECT_NE(log.find("Public cache file "), std::string::npos);
    EXPECT_NE(log.find("Could not copy 0-byte file"), std::string::npos);
    ExpectInstalled(release);
    std::vector<std::string> requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, "good_xx"), 0u);
    EXPECT_EQ(CountContaining(requests, "bad_xx"), 1u);
    EXPECT_EQ(CountContaining(requests, "empty_xx"), 1u);
}

} // namespace

namespace {

TEST(UpdateRunTest, ACopyThatCannotStartLeavesTheRunLoggedOnTheRetryPage)
{
    ReleaseFixture release;
    release.AddBytes("/Tools/Launcher.exe", "not a program", false);
    ASSERT_TRUE(release.Publish());
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    std::string log = release.Log();
    size_t failed = log.find("Could not start ");
    ASSERT_NE(failed, std::string::npos) << log;
    EXPECT_NE(log.find("Finished Binaries0 (", failed), std::string::npos);
    EXPECT_EQ(release.LastPage(), LauncherPage::Retry);
}

} // namespace

namespace {

std::wstring ItemText(HWND item)
{
    wchar_t text[1024] = {};
    DWORD_PTR ignored = 0;
    if (item)
        SendMessageTimeoutW(item, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                            &ignored);
    return text;
}

TEST(UpdateRunTest, ADiskShortfallStaysOnItsPageWithNothingDownloading)
{
    ReleaseFixture release;
    release.Add("/Data/small.bin", 1000, 1, false);
    // Sizes no disk holds; the objects behind them do not even exist.
    std::string huge;
    for (int i = 0; i < 3; ++i)
        huge += "/Data/huge" + std::to_string(i) + ".bin.0123456789ABCDEF0123456789ABCDE" +
                std::to_string(i) + ".bulk,1000000000000000000\r\n";
    ASSERT_TRUE(release.Publish(huge));
    release.NewRequests();
    if (GetLocalizationTable().empty())
        LoadLocalizationTable();
    std::wstring shortfall;
    GetLocalizedText("INSUFFICIENT_SPACE", shortfall);
    shortfall = shortfall.substr(0, shortfall.find(L"<BYTES>"));
    ASSERT_FALSE(shortfall.empty());

    LauncherProcess launcher(L"-nocef");
    HWND window = nullptr;
    auto shown = [&] {
        window = FindWindowW(L"Launcher", nullptr);
        HWND pane = window ? GetDlgItem(GetDlgItem(window, IDC_TEXT_FRAME), IDC_TEXT_PANE) : nullptr;
        return ItemText(pane).find(shortfall) != std::wstring::npos;
    };
    ASSERT_TRUE(launcher.WaitUntil(shown, 60000)) << release.Log();
    // Several refreshes of the page and of the bar later, the page still says
    // only why nothing downloads.
    Sleep(1500);
    ASSERT_TRUE(launcher.Running());
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, IDC_PROGRESS)));
    EXPECT_EQ(ItemText(GetDlgItem(window, IDC_STATUS_TEXT)), L"");
    EXPECT_EQ(ItemText(GetDlgItem(window, IDC_STATUS_DETAIL)), L"");
    launcher.Kill();
    for (const std::string& path : release.NewRequests())
        EXPECT_EQ(path.find("/Data/"), std::string::npos) << path;
    EXPECT_FALSE(FileExists(release.files[0].localPath));
}

// The main window of a launcher this test did not start, and its process.
HWND FindLauncherWindow(HANDLE& process)
{
    HWND window = FindWindowW(L"Launcher", nullptr);
    DWORD id = 0;
    if (window && GetWindowThreadProcessId(window, &id))
        process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
    return window;
}

// A release whose launcher is this build's own, so a run hands over to a
// real copy, with one game file and one cache file to install.
void AddLauncherAndTwoFiles(ReleaseFixture& release)
{
    release.AddBytes("/Tools/Launcher.exe", ReadFileBytes(testing_support::BuildFolder() + L"\\Launcher.exe"),
                     false);
    release.Add("/Data/first.bin", 20000, 1, true);
    release.Add("/Cache.Windows/second_xx.cache", 9000, 2, false);
}

TEST(UpdateRunTest, TheDownloadedCopyTalksToTheServersOfTheProgramThatStartedIt)
{
    // The configuration lies beside the first program only.
    ReleaseFixture release;
    AddLauncherAndTwoFiles(release);
    ASSERT_TRUE(release.Publish());
    ASSERT_FALSE(FileExists(release.launcherDir + L"\\Tools\\Vantorel.ini"));

    // The first program installs the copy and hands over to it; the copy
    // installs the rest from the local server.
    ASSERT_EQ(release.Run(L"-nocef"), 0);
    HANDLE copy = nullptr;
    HWND window = nullptr;
    bool installed = false;
    for (int i = 0; i < 900 && !installed; ++i) {
        Sleep(100);
        if (!window)
            window = FindLauncherWindow(copy);
        installed = FileMd5(release.files[1].localPath) == release.files[1].md5 &&
                    FileMd5(release.files[2].localPath) == release.files[2].md5;
    }
    ASSERT_NE(window, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(installed) << release.Log();
    ExpectInstalled(release);
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(copy, 30000) != WAIT_OBJECT_0)
        TerminateProcess(copy, 99);
    WaitForSingleObject(copy, 5000);
    CloseHandle(copy);
    std::vector<std::string> requests = release.NewRequests();
    EXPECT_EQ(CountContaining(requests, "/origin/"), 2u);
    EXPECT_EQ(CountContaining(requests, "/Data/first.bin."), 1u);
}

} // namespace

namespace {

// The text of a key up to its first "<BYTES>".
std::string TextBeforeBytes(const char* key)
{
    if (GetLocalizationTable().empty())
        LoadLocalizationTable();
    std::wstring text;
    GetLocalizedText(key, text);
    return Narrow(text.substr(0, text.find(L"<BYTES>")));
}

// Whether the game's stand-in recorded a start as the game (not as an
// applet); a start on its way is waited for a little.
bool GameStarted(const std::wstring& record)
{
    for (int i = 0; i < 100; ++i) {
        std::string text = ReadFileBytes(record);
        for (size_t at = text.find("command="); at != std::string::npos; at = text.find("command=", at + 1)) {
            if (text.substr(at, text.find('\n', at) - at).find("-applet:") == std::string::npos)
                return true;
        }
        Sleep(100);
    }
    return false;
}

// Ends every process of the executable at path (a copy a failed case left).
void EndProcessesOf(const std::wstring& path)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof(entry)};
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                                     FALSE, entry.th32ProcessID);
        wchar_t image[MAX_PATH] = {};
        DWORD length = MAX_PATH;
        if (process && QueryFullProcessImageNameW(process, 0, image, &length) &&
            _wcsicmp(image, path.c_str()) == 0) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 5000);
        }
        if (process)
            CloseHandle(process);
    }
    CloseHandle(snapshot);
}

// The crash folder that FaultCourier's stand-in in tools was started on (its
// start waited for a little), with the names of the files it found there in
// *files; "" when it was not started. Its records and the folder are removed.
std::wstring ReportedCrashFolder(const std::wstring& tools, std::string* files)
{
    const std::wstring starts = tools + L"faultcourier_starts.txt";
    const std::wstring record = tools + L"faultcourier_args.txt";
    std::string started;
    for (int i = 0; i < 100 && (started = ReadFileBytes(starts)).find('\n') == std::string::npos; ++i)
        Sleep(100);
    // The record's lines: the command line, the working folder, the files.
    std::string text = ReadFileBytes(record);
    DeleteFileW(starts.c_str());
    DeleteFileW(record.c_str());
    size_t second = text.find('\n');
    size_t third = second == std::string::npos ? second : text.find('\n', second + 1);
    *files = third == std::string::npos ? "" : text.substr(third + 1, text.find('\n', third + 1) - third - 1);
    std::wstring folder = Wide(started.substr(0, started.find('\n')));
    if (!folder.empty())
        testing_support::RemoveTree(folder);
    return folder;
}

TEST(UpdateRunTest, AHeadlessRunEndsWithTheOutcomeOfTheCopyItHandsOverTo)
{
    ReleaseFixture release;
    AddLauncherAndTwoFiles(release);
    ASSERT_TRUE(release.Publish());
    testing_support::TempDir records;
    std::wstring record = records / L"game.txt";
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_GAME", L"exit:0");
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", record.c_str());
    struct Environment {
        std::wstring copy;
        ~Environment()
        {
            SetEnvironmentVariableW(L"VANTOREL_STANDIN_GAME", nullptr);
            SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", nullptr);
            EndProcessesOf(copy);
        }
    } environment{release.launcherDir + L"\\Tools\\Launcher.exe"};

    // The first run installs the launcher's own files and hands over to the
    // copy in mid-run. It ends when the copy has installed the rest and
    // started the game, with the copy's lines on its own output.
    std::string output;
    EXPECT_EQ(RunHeadless(L"", &output), 0) << output;
    ExpectInstalled(release);
    EXPECT_TRUE(GameStarted(record)) << output;
    EXPECT_NE(output.find("Finished Binaries2 ("), std::string::npos) << output;

    // Later runs hand over at start-up. One whose update no disk can take
    // prints why and ends failed; nothing of the update was fetched.
    std::string huge;
    for (int i = 0; i < 3; ++i)
        huge += "/Data/huge" + std::to_string(i) + ".bin.0123456789ABCDEF0123456789ABCDE" +
                std::to_string(i) + ".bulk,1000000000000000000\r\n";
    ASSERT_TRUE(release.Publish(huge));
    release.NewRequests();
    output.clear();
    EXPECT_EQ(RunHeadless(L"", &output, 60000), EXIT_RUN_FAILED) << output;
    std::string shortfall = TextBeforeBytes("INSUFFICIENT_SPACE");
    ASSERT_FALSE(shortfall.empty());
    EXPECT_NE(output.find(shortfall), std::string::npos) << output;
    for (const std::string& path : release.NewRequests())
        EXPECT_EQ(path.find("/Data/huge"), std::string::npos) << path;

    // A script that gives up on a run ends the copy with it: here the copy
    // would wait for ever for a game that never stops running.
    ASSERT_TRUE(release.Publish());
    output.clear();
    EXPECT_EQ(RunHeadless(L"-force:running", &output, 15000), std::nullopt) << output;
    EXPECT_NE(output.find(TextBeforeBytes("GAME_RUNNING")), std::string::npos) << output;
    bool ended = false;
    for (int i = 0; i < 100 && !(ended = !LauncherInstanceRunning()); ++i)
        Sleep(100);
    EXPECT_TRUE(ended) << output;
    EndProcessesOf(environment.copy);

    // A copy that crashes ends the run with the crash handler's code, which
    // no outcome of the launcher's own shares. The release's copy becomes the
    // crash test program, which installs the launcher's crash hooks as its
    // start-up does, with FaultCourier's stand-in beside it. The first run
    // takes the update itself, as a relaunched launcher does, and hands over
    // to the new copy in mid-run; the others hand over to it at start-up.
    release.files.erase(release.files.begin());
    release.AddBytes("/Tools/Launcher.exe",
                     ReadFileBytes(testing_support::BuildFolder() + L"\\crashtest.exe"), false);
    release.AddBytes("/Tools/FaultCourier.exe",
                     ReadFileBytes(testing_support::BuildFolder() + L"\\faultcourier_standin.exe"), false);
    ASSERT_TRUE(release.Publish());
    const std::wstring tools = release.launcherDir + L"\\Tools\\";
    struct CrashingCopy {
        const wchar_t* arguments;
        int code;
    };
    for (const CrashingCopy& copy : {CrashingCopy{L"-relaunched -crashtest:access", EXIT_CRASHED},
                                     CrashingCopy{L"-crashtest:abort", EXIT_CRASHED},
                                     CrashingCopy{L"-crashtest:purecall", EXIT_ABORTED}}) {
        SCOPED_TRACE(Narrow(copy.arguments));
        output.clear();
        const std::optional<int> code = RunHeadless(copy.arguments, &output, 60000);
        std::string files;
        const std::wstring folder = ReportedCrashFolder(tools, &files);
        EXPECT_EQ(code, copy.code) << output;
        EXPECT_NE(code, EXIT_NO_STEP_PAGE);
        EXPECT_NE(code, EXIT_MACHINE_UNSUPPORTED);
        EXPECT_FALSE(folder.empty()) << "no crash report was made";
        EXPECT_NE(files.find("Description.txt;"), std::string::npos) << files;
    }
    ExpectInstalled(release);
}

} // namespace
