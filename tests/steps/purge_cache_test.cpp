// The cache purge step on a real folder tree: what it deletes and what it
// keeps, with and without "-uninstall".
#include "command_line.h"
#include "launcher_settings.h"
#include "purge/req_purge_cache.h"
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

} // namespace
