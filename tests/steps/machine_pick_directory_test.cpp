// The install-folder step with the shell's real folder dialog, answered by
// a thread of the test as a user would: typing into the edit box, pressing
// OK or Cancel.
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "machine/pick_directory_step.h"
#include "machine_test_support.h"
#include "settings_store.h"
#include "step_page.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::FileExists;

struct DialogSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindFolderDialog(HWND window, LPARAM data)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(window)) {
        reinterpret_cast<DialogSearch*>(data)->found = window;
        return FALSE;
    }
    return TRUE;
}

// What the user does with one showing of the dialog.
struct Answer {
    std::wstring typed; // text for the edit box; empty leaves it
    bool ok = true;     // OK, else Cancel
};

// Answers the dialogs that the thread threadId shows, one answer each, in
// order; each dialog is waited for at most 20 s.
class DialogUser {
  public:
    DialogUser(DWORD threadId, std::vector<Answer> answers)
        : thread_([this, threadId, answers] {
              for (const Answer& answer : answers) {
                  HWND dialog = WaitForDialog(threadId);
                  if (!dialog)
                      return;
                  if (!answer.typed.empty()) {
                      HWND edit = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
                      SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer.typed.c_str()));
                  }
                  PostMessageW(dialog, WM_COMMAND, answer.ok ? IDOK : IDCANCEL, 0);
                  for (int i = 0; i < 400 && IsWindow(dialog); ++i)
                      Sleep(25);
                  ++answered;
              }
          })
    {
    }
    ~DialogUser() { thread_.join(); }

    std::atomic<int> answered{0};

  private:
    static HWND WaitForDialog(DWORD threadId)
    {
        for (int i = 0; i < 800; ++i) {
            DialogSearch search;
            EnumThreadWindows(threadId, FindFolderDialog, reinterpret_cast<LPARAM>(&search));
            if (search.found)
                return search.found;
            Sleep(25);
        }
        return nullptr;
    }

    std::thread thread_;
};

std::vector<std::wstring> AskedBoxes;
int QuitAnswer = IDCANCEL;

int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT, WORD)
{
    AskedBoxes.push_back(text);
    int answer = QuitAnswer;
    QuitAnswer = IDOK; // the second question is answered OK
    return answer;
}

class PickDirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        DownloadFolder.clear();
        AskedBoxes.clear();
        saved_ = MessageBoxExFunction;
        MessageBoxExFunction = RecordBox;
        DeleteSetting(L"DownloadDir");
    }
    void TearDown() override
    {
        MessageBoxExFunction = saved_;
        DownloadFolder.clear();
        SingleClusterMode = false;
        steps_test::TakeQuitMessage();
    }
    std::wstring StoredDownloadDir()
    {
        wchar_t value[MAX_PATH] = {};
        ReadSettingString(SCOPE_CLIENT_TYPE, value, MAX_PATH, L"DownloadDir");
        return value;
    }

    machine_test::DownloadDirGuard guard_;
    machine_test::PageParent parent_;
    MessageBoxExProc saved_ = nullptr;
};

TEST_F(PickDirectoryTest, TheTypedFolderIsTakenAndTheUnusedDefaultRemoved)
{
    testing_support::TempDir dir;
    steps_test::LogCapture log;
    ReqPickDirectory step;
    HWND result;
    {
        DialogUser user(GetCurrentThreadId(), {{dir.path(), true}});
        result = step.Run(parent_.get());
    }
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(DownloadFolder, dir.path() + L"\\Downloaded");
    EXPECT_TRUE(FileExists(DownloadFolder));
    EXPECT_EQ(StoredDownloadDir(), DownloadFolder);
    EXPECT_TRUE(AskedBoxes.empty());
    // The dialog proposed (and so made) the default folder; another was taken.
    std::string text = log.Text();
    if (text.find("Created default install directory ") != std::string::npos) {
        EXPECT_NE(text.find("Remving unused default install directory "), std::string::npos) << text;
        EXPECT_FALSE(DefaultInstallFolderCreated);
    }

    // A later chain keeps the folder without asking.
    ReqPickDirectory again;
    EXPECT_EQ(again.Run(parent_.get()), nullptr);
}

TEST_F(PickDirectoryTest, CancelAsksToQuitAndQuitsOnlyWhenConfirmed)
{
    QuitAnswer = IDCANCEL;
    ReqPickDirectory step;
    HWND result;
    {
        DialogUser user(GetCurrentThreadId(), {{L"", false}, {L"", false}});
        result = step.Run(parent_.get());
    }
    EXPECT_EQ(result, parent_.get());
    ASSERT_EQ(AskedBoxes.size(), 2u);
    EXPECT_EQ(AskedBoxes[0], steps_test::Text("CONFIRM_QUIT"));
    EXPECT_TRUE(steps_test::TakeQuitMessage());
    EXPECT_TRUE(DownloadFolder.empty());
    EXPECT_TRUE(StoredDownloadDir().empty());
    EXPECT_FALSE(DefaultInstallFolderCreated);
}

TEST_F(PickDirectoryTest, WhereNothingCanBeAskedTheRunEnds)
{
    // Neither the folder dialog nor the question can be shown (no window
    // driver: the box fails with 0, under Wine with -1): the step does not
    // ask for ever.
    for (int failure : {0, -1}) {
        steps_test::LogCapture log;
        AskedBoxes.clear();
        QuitAnswer = failure;
        ReqPickDirectory step;
        HWND result;
        {
            DialogUser user(GetCurrentThreadId(), {{L"", false}});
            result = step.Run(parent_.get());
        }
        EXPECT_EQ(result, parent_.get());
        EXPECT_EQ(AskedBoxes.size(), 1u);
        MSG quit;
        ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_EQ(quit.wParam, static_cast<WPARAM>(EXIT_NO_STEP_PAGE));
        EXPECT_TRUE(log.Contains("Could not ask for the install folder: the run ends (exit code " +
                                 std::to_string(EXIT_NO_STEP_PAGE) + ")\r\n"));
        EXPECT_TRUE(DownloadFolder.empty());
    }
}

TEST_F(PickDirectoryTest, AFolderThatCannotBeMadeIsRefusedAndTheDialogComesBack)
{
    testing_support::TempDir dir;
    std::wstring file = dir / L"file";
    ASSERT_TRUE(testing_support::WriteFileBytes(file, "x"));
    ReqPickDirectory step;
    {
        DialogUser user(GetCurrentThreadId(), {{file + L"\\sub", true}, {dir.path(), true}});
        EXPECT_EQ(step.Run(parent_.get()), nullptr);
    }
    ASSERT_EQ(AskedBoxes.size(), 1u);
    EXPECT_EQ(AskedBoxes[0], steps_test::Text("UNUSABLE_INSTALL_FOLDER"));
    EXPECT_EQ(DownloadFolder, dir.path() + L"\\Downloaded");
}

TEST_F(PickDirectoryTest, ASingleClusterLauncherUsesItsOwnInstall)
{
    EXPECT_EQ(InstallFolderOfModule(L"D:\\Games\\Vantorel\\Tools\\Launcher.exe"), L"D:\\Games\\Vantorel");
    SingleClusterMode = true;
    ReqPickDirectory step;
    EXPECT_EQ(step.Run(parent_.get()), nullptr);
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    EXPECT_EQ(DownloadFolder, InstallFolderOfModule(module));
    EXPECT_TRUE(StoredDownloadDir().empty());
}

} // namespace
