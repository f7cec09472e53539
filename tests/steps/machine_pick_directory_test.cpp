// The install-folder step with the shell's real folder dialog, answered by
// a thread of the test as a user would: typing into the edit box, pressing
// OK or Cancel (machine_test::DialogUser).
#include "launcher_settings.h"
#include "localization.h"
#include "log.h"
#include "machine/pick_directory_step.h"
#include "machine_test_support.h"
#include "settings_store.h"
#include "step_page.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

namespace {

using testing_support::FileExists;

using machine_test::DialogUser;

std::vector<std::wstring> AskedBoxes;
int QuitAnswer = IDCANCEL;

int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT, WORD)
{
    AskedBoxes.push_back(text);
    // A dialog the user could not answer was ended: the step is let go.
    if (DialogUser::AnyEnding())
        return IDOK;
    int answer = QuitAnswer;
    QuitAnswer = IDOK; // the second question is answered OK
    return answer;
}

// The parent of the dialogs of ShowWithAnswers.
HWND DialogParent = nullptr;

// One run of the step whose dialogs a user answers with answers.
void ShowWithAnswers(std::vector<machine_test::DialogAnswer> answers)
{
    ReqPickDirectory step;
    DialogUser user(GetCurrentThreadId(), std::move(answers));
    step.Run(DialogParent);
}

// A dialog that takes neither Cancel nor closing.
INT_PTR CALLBACK StubbornDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG || message == WM_COMMAND || message == WM_CLOSE;
}

// Shows that dialog on this thread, with a user who has no answer for it
// (style: more of the dialog's styles).
void ShowStubbornDialog(DWORD style = 0)
{
    alignas(4) WORD dialogTemplate[16] = {}; // no menu, the dialog class, no title
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(dialogTemplate);
    dialog->style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME | style;
    dialog->cx = 120;
    dialog->cy = 40;
    DialogUser user(GetCurrentThreadId(), {});
    DialogBoxIndirectParamW(nullptr, dialog, DialogParent, StubbornDialogProc, 0);
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
    // The folder the dialog proposes is not there yet, so the dialog makes it.
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles)));
    const std::wstring proposed = std::wstring(programFiles) + L"\\Vantorel";
    RemoveDirectoryW(proposed.c_str());
    ASSERT_FALSE(FileExists(proposed)) << "the proposed folder holds files of an earlier run";
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
    // The dialog proposed (and so made) the default folder; another was
    // taken, so the default one is gone from the disk.
    EXPECT_TRUE(log.Contains("Created default install directory " +
                             std::string(proposed.begin(), proposed.end()) + "\r\n"))
        << log.Text();
    EXPECT_FALSE(FileExists(proposed)) << "the unused default folder was left";

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
    // With its own window the run ends as the person chose: with 0.
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
    EXPECT_TRUE(DownloadFolder.empty());
    EXPECT_TRUE(StoredDownloadDir().empty());
    EXPECT_FALSE(DefaultInstallFolderCreated);
}

// A miss of the user is one failed test with a message: a dialog that no
// answer is for is ended, and the step goes on; an answer whose dialog never
// came is named.
TEST_F(PickDirectoryTest, AMissedDialogFailsOnlyItsTest)
{
    DialogParent = parent_.get();
    EXPECT_NONFATAL_FAILURE(ShowWithAnswers({}), "a folder dialog was shown that no answer was for");
    EXPECT_TRUE(DownloadFolder.empty());
    SingleClusterMode = true;
    EXPECT_NONFATAL_FAILURE(ShowWithAnswers({{L"", false}}), "answer 1 (folder dialog): no dialog came");
    // A dialog that takes neither Cancel nor closing is ended all the same,
    // and so is one the user cannot find (one that takes no input), each
    // leaving nothing in the queue for what runs next. (The step above quit
    // the run: its quit message goes first.)
    steps_test::TakeQuitMessage();
    EXPECT_NONFATAL_FAILURE(ShowStubbornDialog(), "a message box was shown that no answer was for");
    EXPECT_FALSE(steps_test::TakeQuitMessage()) << "ending the dialog left a quit message";
    EXPECT_NONFATAL_FAILURE(ShowStubbornDialog(WS_DISABLED), "a dialog was still open 3 s after");
    EXPECT_FALSE(steps_test::TakeQuitMessage());
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
