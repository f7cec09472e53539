// The support chain against the local web service, with the desktop moved
// to a scratch folder (Wine's desktop is the user's home).
#include "chains.h"
#include "launcher_settings.h"
#include "log.h"
#include "requirement_queue.h"
#include "server_config.h"
#include "shell_open.h"
#include "steps_test_support.h"
#include "support/req_diagnostic_tools.h"
#include "support/support_folder.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::TestServer;
using testing_support::WriteFileBytes;

namespace {

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

std::wstring OpenedFolder;

HINSTANCE WINAPI RecordOpen(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    if (verb && wcscmp(verb, L"open") == 0)
        OpenedFolder = file;
    return reinterpret_cast<HINSTANCE>(42);
}

// Points the user's desktop at folder for the life of the object.
class ScratchDesktop {
public:
    explicit ScratchDesktop(const std::wstring& folder)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, kShellFolders, L"Desktop", REG_EXPAND_SZ, folder.c_str(),
                        static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        ResetSupportLogFolderForTest();
    }
    ~ScratchDesktop()
    {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kShellFolders, L"Desktop");
        ResetSupportLogFolderForTest();
    }
};

// The folder of deleted items of Wine's recycle bin: the XDG trash of the
// run's home. A desktop has one; in a home that Wine has just made, Wine
// may not have made it yet when the first deletion comes, and then deletes
// for good, so the test gives the home its bin first.
std::wstring RecycleBinFiles()
{
    std::wstring data = testing_support::EnvW(L"XDG_DATA_HOME");
    if (!data.empty()) {
        data = L"Z:" + data;
    } else {
        data = testing_support::EnvW(L"WINEHOMEDIR"); // "\\??\\Z:\\home\\..."
        if (data.rfind(L"\\??\\", 0) == 0)
            data.erase(0, 4);
        data += L"\\.local\\share";
    }
    for (wchar_t& c : data)
        c = c == L'/' ? L'\\' : c;
    return data + L"\\Trash\\files";
}

// The names of the items in a folder.
std::vector<std::wstring> ItemsIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW item;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &item);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (wcscmp(item.cFileName, L".") != 0 && wcscmp(item.cFileName, L"..") != 0)
            names.push_back(item.cFileName);
    } while (FindNextFileW(find, &item));
    FindClose(find);
    return names;
}

std::wstring ProductFile(const wchar_t* name)
{
    wchar_t local[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, local);
    return std::wstring(local) + L"\\Vantorel\\" + name;
}

class SupportChainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        steps_test::ResetQueueState();
        steps_test::TakeQuitMessage();
        ASSERT_TRUE(TestServer::Reset());
        std::string ini = "[Public]\r\nApi=localhost:" + std::to_string(TestServer::HttpsPort()) +
                          "\r\nContent=127.0.0.1:" + std::to_string(TestServer::HttpPort()) + "\r\n";
        ASSERT_TRUE(WriteFileBytes(ini_, ini));
        ReloadServerConfig(ini_.c_str());
        ServerCluster = SC_PUBLIC;
        CreateDirectoryW(ProductFile(L"").c_str(), nullptr);
        ShellExecuteFunction = RecordOpen;
        OpenedFolder.clear();
    }
    // Puts the tools' stand-in beside the test program, where a child
    // process's command line finds it first.
    void PlaceTools()
    {
        std::wstring standin = testing_support::ExecutableFolder() + L"\\diagnostic_standin.exe";
        for (const std::wstring& tool : tools_)
            ASSERT_TRUE(CopyFileW(standin.c_str(), tool.c_str(), FALSE));
    }
    void TearDown() override
    {
        ShellExecuteFunction = ShellExecuteW;
        for (const std::wstring& tool : tools_)
            DeleteFileW(tool.c_str());
        ReloadServerConfig(L"");
        DeleteFileW(ProductFile(L"QX.log").c_str());
        DeleteFileW(ProductFile(L"QX.cfg").c_str());
        steps_test::ResetQueueState();
        steps_test::TakeQuitMessage();
    }

    TempDir dir_;
    std::wstring ini_ = dir_ / L"Vantorel.ini";
    std::wstring tools_[2] = {testing_support::ExecutableFolder() + L"\\tracert.exe",
                              testing_support::ExecutableFolder() + L"\\tasklist.exe"};
};

TEST_F(SupportChainTest, ChainFillsTheFolderOnTheDesktopAndOpensIt)
{
    ASSERT_TRUE(TestServer::AddRoute("GET", "/api/clientIP.php", 200, "198.51.100.23"));
    TempDir desktop;
    ScratchDesktop moved(desktop.path());
    std::wstring folder = desktop / L"Vantorel Logs";
    ASSERT_EQ(GetSupportLogFolder(), folder);

    std::wstring bin = RecycleBinFiles();
    std::wstring trash = bin.substr(0, bin.rfind(L'\\'));
    for (const std::wstring& part : {bin, trash + L"\\info"}) {
        int made = SHCreateDirectoryExW(nullptr, part.c_str(), nullptr);
        ASSERT_TRUE(made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS)
            << "could not make the recycle bin";
    }
    std::vector<std::wstring> binBefore = ItemsIn(bin);

    // A folder of an earlier request, and the game's files.
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(folder + L"\\old.txt", "old"));
    ASSERT_TRUE(WriteFileBytes(ProductFile(L"QX.log"), "game log"));
    ASSERT_TRUE(WriteFileBytes(ProductFile(L"QX.cfg"), "game cfg"));

    PlaceTools();
    steps_test::LogCapture log;
    steps_test::StepHost host;
    host.driveQueue = true;
    BuildChain(CHAIN_SUPPORT);
    RunQueue(host.get());
    DWORD start = GetTickCount();
    while (RequirementQueue.size() > 1 && GetTickCount() - start < 60000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        steps_test::PumpMessages();
    }
    ASSERT_EQ(RequirementQueue.size(), 1u) << log.Text();
    EXPECT_STREQ(RequirementQueue.front()->name, L"ReadyForSupport");

    // The folder of the earlier request went to the recycle bin, whole.
    EXPECT_FALSE(FileExists(folder + L"\\old.txt"));
    std::wstring binned;
    for (const std::wstring& name : ItemsIn(bin)) {
        if (std::find(binBefore.begin(), binBefore.end(), name) == binBefore.end() &&
            ReadFileBytes(bin + L"\\" + name + L"\\old.txt") == "old")
            binned = name;
    }
    EXPECT_FALSE(binned.empty()) << "the earlier folder is not in the recycle bin";
    if (!binned.empty()) {
        testing_support::RemoveTree(bin + L"\\" + binned);
        DeleteFileW((bin + L"\\..\\info\\" + binned + L".trashinfo").c_str());
    }
    EXPECT_EQ(ReadFileBytes(folder + L"\\QX.log"), "game log");
    EXPECT_EQ(ReadFileBytes(folder + L"\\QX.cfg"), "game cfg");
    EXPECT_FALSE(FileExists(folder + L"\\Editor.cfg"));
    std::wstring logName = LogFilePath();
    logName = logName.substr(logName.find_last_of(L'\\'));
    EXPECT_TRUE(FileExists(folder + logName)); // the launcher's log
    EXPECT_TRUE(FileExists(folder + L"\\DxDiag.log"));
    std::string text = log.Text();
    EXPECT_NE(text.find("198.51.100.23"), std::string::npos);
    EXPECT_NE(text.find("DxDiag.exe /dontskip /whql:off /tDxDiag.log"), std::string::npos);
    EXPECT_NE(text.find("tracert.exe -d -w 1000 127.0.0.1\r\n"), std::string::npos);
    EXPECT_NE(text.find("Trace complete.\r\n"), std::string::npos);  // exit code 1 does not matter
    EXPECT_NE(text.find("Launcher.exe        "), std::string::npos); // the task list
    EXPECT_EQ(text.find("Could not"), std::string::npos);

    // OPEN shows the folder and ends the launcher.
    HWND button = host.button();
    EXPECT_TRUE(IsWindowEnabled(button));
    SendMessageW(CurrentStepPage, WM_COMMAND, 1044, 0);
    EXPECT_EQ(OpenedFolder, folder);
    EXPECT_TRUE(steps_test::TakeQuitMessage());
}

TEST_F(SupportChainTest, AToolThatCannotBeStartedDoesNotEndTheGathering)
{
    // Wine has no tracert.exe.
    steps_test::LogCapture log;
    steps_test::StepHost host;
    ReqTraceRoute step;
    HWND page = step.Run(host.get());
    ASSERT_TRUE(host.WaitForEnd());
    EXPECT_EQ(host.succeeded, 1);
    EXPECT_TRUE(log.Contains("CreateProcess failed: "));
    DestroyWindow(page);
}

} // namespace
