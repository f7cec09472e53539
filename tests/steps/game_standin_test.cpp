// The game's stand-in (Vantorel.x64.exe from tests/tools/game_standin.cpp),
// which the applet, game and server tests start: its script, its record,
// "SoakStop" and the game mode with the game-running mutex.
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

using testing_support::BuildFolder;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::RunProcess;
using testing_support::TempDir;

namespace {

// The stand-in copied into a folder of its own, as into an install folder.
class InstalledStandin {
  public:
    InstalledStandin()
    {
        copied_ = CopyFileW((BuildFolder() + L"\\Vantorel.x64.exe").c_str(), Exe().c_str(), FALSE) != 0;
    }
    ~InstalledStandin()
    {
        SetEnvironmentVariableW(L"VANTOREL_STANDIN", nullptr);
        SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", nullptr);
    }
    bool Copied() const { return copied_; }
    std::wstring Exe() const { return folder_ / L"Vantorel.x64.exe"; }
    const TempDir& Folder() const { return folder_; }

  private:
    TempDir folder_;
    bool copied_ = false;
};

HANDLE Start(const std::wstring& commandLine)
{
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

DWORD ExitCodeAfter(HANDLE process, DWORD ms)
{
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process, ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    else
        TerminateProcess(process, 99);
    CloseHandle(process);
    return code;
}

} // namespace

TEST(GameStandinTest, ScriptOutputRecordAndLog)
{
    InstalledStandin standin;
    ASSERT_TRUE(standin.Copied());
    std::wstring record = standin.Folder() / L"record.txt";
    SetEnvironmentVariableW(L"VANTOREL_STANDIN_RECORD", record.c_str());
    SetEnvironmentVariableW(L"VANTOREL_STANDIN",
                            L"out:Cache repair succeeded;raw:ab;raw:c\\r\\n;raw:x\\0y\\n;err:to\\;err;"
                            L"title:Repair 45%;exit:0xC000007B");
    std::string output;
    int code = RunProcess(L"\"" + standin.Exe() + L"\" -silent -log:/Repair.log", &output, 20000);
    EXPECT_EQ(0xC000007Bu, static_cast<unsigned>(code));
    EXPECT_EQ(std::string("Cache repair succeeded\r\nabc\r\nx") + '\0' + "y\nto;err\r\n", output);

    std::string text = ReadFileBytes(record);
    EXPECT_NE(std::string::npos, text.find("command=\""));
    EXPECT_NE(std::string::npos, text.find("-silent -log:/Repair.log\n"));
    EXPECT_NE(std::string::npos, text.find("\nenv=VANTOREL_STANDIN=out:Cache repair succeeded;"));
    EXPECT_EQ(text.size() - 4, text.find("end\n"));
    EXPECT_TRUE(FileExists(standin.Folder() / L"Repair.log"));
}

TEST(GameStandinTest, SoakStopHonouredOrIgnored)
{
    InstalledStandin standin;
    ASSERT_TRUE(standin.Copied());
    // Honoured: the sleep ends with the stop code once the semaphore is
    // released. Ignored: the process sleeps on and is ended here.
    for (bool honour : {true, false}) {
        SetEnvironmentVariableW(L"VANTOREL_STANDIN",
                                honour ? L"stopcode:7;sleep:20000;exit:3" : L"ignorestop;sleep:3000;exit:3");
        HANDLE process = Start(L"\"" + standin.Exe() + L"\"");
        ASSERT_NE(nullptr, process);
        DWORD code = STILL_ACTIVE;
        for (int i = 0; i < 100 && code == STILL_ACTIVE; ++i) {
            HANDLE stop = CreateSemaphoreA(nullptr, 0, 1024, "SoakStop");
            ReleaseSemaphore(stop, 1, nullptr);
            CloseHandle(stop);
            if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0)
                GetExitCodeProcess(process, &code);
        }
        EXPECT_EQ(honour ? 7u : 3u, ExitCodeAfter(process, 20000)) << honour;
    }
}

TEST(GameStandinTest, GameHoldsTheMutexAndShowsItsWindow)
{
    InstalledStandin standin;
    ASSERT_TRUE(standin.Copied());
    SetEnvironmentVariableW(L"VANTOREL_STANDIN", L"game:4000");
    std::wstring mutexName = standin.Folder().path() + L"\\";
    for (wchar_t& c : mutexName)
        c = c == L'\\' ? L'_' : c;
    wchar_t local[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local)));
    std::wstring files = std::wstring(local) + L"\\Vantorel\\";
    DeleteFileW((files + L"QX.log").c_str());
    DeleteFileW((files + L"QX.cfg").c_str());
    HANDLE process = Start(L"\"" + standin.Exe() + L"\" -fullscreen:0");
    ASSERT_NE(nullptr, process);
    HWND window = nullptr;
    for (int i = 0; i < 200 && !window; ++i) {
        Sleep(50);
        window = FindWindowW(L"VantorelStandinGame", L"Vantorel");
    }
    ASSERT_NE(nullptr, window);
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutexName.c_str());
    EXPECT_NE(nullptr, mutex);
    if (mutex)
        CloseHandle(mutex);
    EXPECT_TRUE(FileExists(files + L"QX.log"));
    EXPECT_TRUE(FileExists(files + L"QX.cfg"));

    // Closing the window ends the game and frees the mutex.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, ExitCodeAfter(process, 20000));
    EXPECT_EQ(nullptr, OpenMutexW(SYNCHRONIZE, FALSE, mutexName.c_str()));
}
