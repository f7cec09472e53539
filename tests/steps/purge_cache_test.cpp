// The cache purge step on a real folder tree: what it deletes and what it
// keeps, with and without "-uninstall"; and "-uninstall" runs of the built
// launcher, whose ending says whether the install is gone.
#include "app_folders.h"
#include "command_line.h"
#include "exit_codes.h"
#include "launcher_process.h"
#include "launcher_settings.h"
#include "purge/req_purge_cache.h"
#include "settings_store.h"
#include "step_messages.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

using testing_support::FileExists;
using testing_support::TempDir;
using testing_support::TestServer;
using testing_support::WriteFileBytes;

namespace {

bool FolderExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string UnixPath(const std::wstring& path)
{
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = convert ? convert(path.c_str()) : nullptr;
    std::string result = unix ? unix : "";
    if (unix)
        HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// A folder link at link that leads to target. Wine cannot make links, so
// the test server makes a Unix one.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target)
{
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        !FolderExists(link)) {
        bool ok = false;
        TestServer::Control("POST", "/__ctl/links/symlink", UnixPath(target) + "\n" + UnixPath(link), &ok);
    }
    return FolderExists(link);
}

class PurgeCacheTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        steps_test::ResetQueueState();
        CreateDirectoryW(container_.c_str(), nullptr);
        CreateDirectoryW(install_.c_str(), nullptr);
        DownloadFolder = install_;
    }
    void TearDown() override
    {
        DownloadFolder.clear();
        SetCommandLineForTest(nullptr);
    }
    void Put(const std::wstring& relative, const std::string& bytes)
    {
        std::wstring path = install_ + L"\\" + relative;
        for (size_t i = install_.size() + 1; i < path.size(); ++i) {
            if (path[i] == L'\\')
                CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
        }
        ASSERT_TRUE(WriteFileBytes(path, bytes));
    }
    bool Has(const std::wstring& relative) { return FileExists(install_ + L"\\" + relative); }
    // Runs the step to its end; returns its progress then.
    float RunStep()
    {
        steps_test::StepHost host;
        ReqPurgeCache step;
        HWND page = step.Run(host.get());
        EXPECT_NE(page, nullptr);
        EXPECT_TRUE(host.WaitForEnd());
        EXPECT_EQ(host.succeeded, 1);
        float progress = step.GetProgress();
        DestroyWindow(page);
        return progress;
    }

    TempDir dir_;
    std::wstring container_ = dir_ / L"Games";
    std::wstring install_ = container_ + L"\\Vantorel";
};

TEST_F(PurgeCacheTest, DeletesTheInstallAndKeepsWhatItMustNotTouch)
{
    Put(L"Public\\Vantorel.x64.exe", "game");
    Put(L"Public\\Cache.Windows\\a.cache", std::string(5000, 'c'));
    Put(L"Public\\Cache.Windows\\a.toc", "toc");
    Put(L"Tools\\Launcher.exe", "launcher");
    Put(L"Kept\\Secret\\inner.txt", "inner");
    Put(L"Held\\open.log", "open");
    ASSERT_TRUE(SetFileAttributesW((install_ + L"\\Kept\\Secret").c_str(), FILE_ATTRIBUTE_HIDDEN));
    Put(L"hidden.dat", "h");
    ASSERT_TRUE(SetFileAttributesW((install_ + L"\\hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN));

    // A folder outside the install, reached through a link inside it.
    TempDir outside;
    ASSERT_TRUE(WriteFileBytes(outside / L"precious.txt", "precious"));
    ASSERT_TRUE(MakeFolderLink(install_ + L"\\Outside", outside.path()));

    // Another program writes the log: opening it with read sharing fails.
    HANDLE held = CreateFileW((install_ + L"\\Held\\open.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    steps_test::LogCapture log;
    float progress = RunStep();
    CloseHandle(held);

    EXPECT_FALSE(Has(L"Public\\Vantorel.x64.exe"));
    EXPECT_FALSE(FolderExists(install_ + L"\\Public"));
    EXPECT_TRUE(Has(L"Tools\\Launcher.exe"));
    EXPECT_TRUE(Has(L"Kept\\Secret\\inner.txt"));
    EXPECT_TRUE(Has(L"hidden.dat"));
    EXPECT_TRUE(Has(L"Held\\open.log"));
    EXPECT_TRUE(FileExists(outside / L"precious.txt"));
    EXPECT_TRUE(FolderExists(install_ + L"\\Outside"));
    EXPECT_TRUE(log.Contains("Skipped link"));
    EXPECT_TRUE(FolderExists(install_));
    EXPECT_FLOAT_EQ(progress, 1.0f);

    std::string text = log.Text();
    size_t purging = text.find("Purging download cache...\r\n");
    ASSERT_NE(purging, std::string::npos);
    EXPECT_NE(text.find("Vantorel.x64.exe", purging), std::string::npos);
    EXPECT_NE(text.find("Purge complete\r\n", purging), std::string::npos);
    // Wine lets the purge open the held file, whose deletion then fails.
    size_t failed = text.find("Could not delete file");
    if (failed != std::string::npos) {
        EXPECT_EQ(text.compare(text.find("\r\n", failed) - 8, 8, "open.log"), 0) << text;
        EXPECT_EQ(text.find("Could not delete file", failed + 1), std::string::npos) << text;
    }
}

TEST_F(PurgeCacheTest, NothingToDoWithoutAFolderAndRootsOrRelativeFoldersAreRefused)
{
    DownloadFolder.clear();
    ReqPurgeCache step;
    EXPECT_EQ(step.Run(nullptr), nullptr);
    EXPECT_FLOAT_EQ(step.GetProgress(), 0.0f);

    for (const wchar_t* refused : {L"", L"C:", L"C:\\", L"C:/", L"C:Games", L"Games\\Vantorel", L"\\Games",
                                   L"\\\\server\\share", L"\\\\?\\C:\\Games", L"C:\\Games\\..", L"C:\\.\\"})
        EXPECT_FALSE(IsPurgeRootAllowed(refused)) << refused;
    for (const wchar_t* allowed : {L"C:\\Games", L"d:/Games/Vantorel", L"\\\\server\\share\\Games"})
        EXPECT_TRUE(IsPurgeRootAllowed(allowed)) << allowed;

    // A refused folder is logged and the step still succeeds.
    Put(L"a.txt", "a");
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(container_.c_str());
    DownloadFolder = L"Vantorel";
    steps_test::LogCapture log;
    RunStep();
    SetCurrentDirectoryW(current);
    EXPECT_TRUE(Has(L"a.txt"));
    EXPECT_TRUE(log.Contains("Refusing to purge Vantorel"));
}

// The built launcher run with "-uninstall" on the install folder stored in
// the settings. Nothing is sent at its end.
class UninstallRunTest : public PurgeCacheTest {
  protected:
    void SetUp() override
    {
        PurgeCacheTest::SetUp();
        wchar_t saved[MAX_PATH] = {};
        ReadSettingString(SCOPE_CLIENT_TYPE, saved, MAX_PATH, L"DownloadDir");
        savedDownloadDir_ = saved;
        savedStats_ = ReadSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 0);
        WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", 1);
    }
    void TearDown() override
    {
        WriteSettingDword(SCOPE_LAUNCHER, L"LauncherStats", savedStats_);
        if (savedDownloadDir_.empty())
            DeleteSetting(L"DownloadDir");
        else
            WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", savedDownloadDir_.c_str());
        PurgeCacheTest::TearDown();
    }
    // Runs a headless uninstall of folder (none stored when empty).
    std::optional<int> Uninstall(const std::wstring& folder, std::string* output)
    {
        if (folder.empty())
            DeleteSetting(L"DownloadDir");
        else
            WriteSettingString(SCOPE_CLIENT_TYPE, L"DownloadDir", folder.c_str());
        return RunHeadless(L"-uninstall", output, 60000);
    }
    static std::string Narrow(const std::wstring& text)
    {
        int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string narrow(size > 0 ? size - 1 : 0, '\0');
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
        return narrow;
    }

    std::wstring savedDownloadDir_;
    DWORD savedStats_ = 0;
};

TEST_F(UninstallRunTest, AnUninstallThatLeavesTheInstallEndsAsFailedAndSaysWhatStayed)
{
    const std::string failed = "The run failed: it ends (exit code " + std::to_string(EXIT_RUN_FAILED) + ")";
    const std::string headline = Narrow(steps_test::Text("DELETE_CACHE_FAILED"));
    ASSERT_FALSE(headline.empty());

    // A drive's root is never purged: the run deleted nothing and says so.
    ASSERT_FALSE(IsPurgeRootAllowed(L"C:\\")); // the run below must not purge the drive
    const std::wstring sentinel = L"C:\\uninstall_root_sentinel.txt";
    ASSERT_TRUE(WriteFileBytes(sentinel, "stays"));
    std::string output;
    std::optional<int> code = Uninstall(L"C:\\", &output);
    EXPECT_TRUE(FileExists(sentinel));
    DeleteFileW(sentinel.c_str());
    EXPECT_EQ(code, EXIT_RUN_FAILED) << output;
    EXPECT_NE(output.find("Uninstall incomplete: the install folder C:\\ was refused"), std::string::npos)
        << output;
    EXPECT_NE(
        output.find(headline + "\r\n\r\n" + Narrow(steps_test::Text("PurgeFolderRefused")) + "\r\nC:\\"),
        std::string::npos)
        << output;
    EXPECT_NE(output.find(failed), std::string::npos) << output;

    // A file that another program holds without letting it be deleted stays:
    // the rest goes, and the run names that file.
    Put(L"Public\\Vantorel.x64.exe", "game");
    Put(L"Held\\kept.dat", "kept");
    Put(L"Held\\other.dat", "other");
    const std::wstring kept = install_ + L"\\Held\\kept.dat";
    HANDLE held =
        CreateFileW(kept.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    output.clear();
    code = Uninstall(install_, &output);
    CloseHandle(held);
    EXPECT_EQ(code, EXIT_RUN_FAILED) << output;
    EXPECT_TRUE(FileExists(kept));
    EXPECT_FALSE(Has(L"Public\\Vantorel.x64.exe"));
    EXPECT_FALSE(Has(L"Held\\other.dat"));
    EXPECT_NE(output.find(headline), std::string::npos) << output;
    EXPECT_NE(output.find("1 file(s) stayed, the first " + Narrow(kept)), std::string::npos) << output;
    EXPECT_NE(output.find(failed), std::string::npos) << output;

    // With its own window the failure is not shown as done: the page says
    // what stayed and waits with QUIT, which ends the run.
    held = CreateFileW(kept.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::wstring quit = steps_test::Text("QUIT");
    {
        LauncherProcess launcher(L"-nocef -uninstall");
        ASSERT_TRUE(launcher.Started());
        bool shown = launcher.WaitUntil(
            [&] {
                return launcher.EnabledMainButton() == quit &&
                       launcher.PaneText().find(kept) != std::wstring::npos;
            },
            60000);
        EXPECT_TRUE(shown) << "no QUIT page naming the file that stayed";
        if (shown)
            PostMessageW(launcher.Window(), WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, BN_CLICKED), 0);
        EXPECT_EQ(launcher.RunToItsEnd(false, 20000), 0)
            << testing_support::ReadFileBytes(std::wstring(GetLocalDataFolder()) + L"\\Launcher.log");
    }
    CloseHandle(held);
    EXPECT_TRUE(FileExists(kept));

    // Once nothing holds it, the uninstall is whole and a success; with no
    // install folder stored there is nothing to do, which is a success too.
    output.clear();
    EXPECT_EQ(Uninstall(install_, &output), 0) << output;
    EXPECT_FALSE(FileExists(kept));
    EXPECT_FALSE(FolderExists(install_));
    EXPECT_EQ(output.find(failed), std::string::npos) << output;
    output.clear();
    EXPECT_EQ(Uninstall(L"", &output), 0) << output;
    EXPECT_EQ(output.find(failed), std::string::npos) << output;
}

TEST_F(UninstallRunTest, AFolderThatCannotBeRemovedOrListedStaysAndIsNamed)
{
    const std::string stayed = "Uninstall incomplete: 1 file(s) stayed, the first ";
    auto holdFolder = [](const std::wstring& path, DWORD share) {
        return CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };

    // Another program holds a folder without letting it be deleted: what it
    // holds goes, the folder stays, and only the folder is named (not the
    // folders above it, which stay through it).
    Put(L"Public\\Vantorel.x64.exe", "game");
    Put(L"Held\\Open\\a.dat", "a");
    const std::wstring open = install_ + L"\\Held\\Open";
    HANDLE held = holdFolder(open, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string output;
    std::optional<int> code = Uninstall(install_, &output);
    CloseHandle(held);
    EXPECT_EQ(code, EXIT_RUN_FAILED) << output;
    EXPECT_TRUE(FolderExists(open));
    EXPECT_FALSE(Has(L"Held\\Open\\a.dat"));
    EXPECT_FALSE(Has(L"Public\\Vantorel.x64.exe"));
    EXPECT_NE(output.find(stayed + Narrow(open) + "\\\r\n"), std::string::npos) << output;

    // One that cannot even be listed stays with all it holds.
    Put(L"Locked\\b.dat", "b");
    const std::wstring locked = install_ + L"\\Locked";
    held = holdFolder(locked, 0);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    output.clear();
    code = Uninstall(install_, &output);
    CloseHandle(held);
    EXPECT_EQ(code, EXIT_RUN_FAILED) << output;
    EXPECT_TRUE(Has(L"Locked\\b.dat"));
    EXPECT_FALSE(FolderExists(open));
    EXPECT_NE(output.find(stayed + Narrow(locked) + "\\\r\n"), std::string::npos) << output;
}

} // namespace
