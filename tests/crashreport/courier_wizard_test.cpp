// End to end: the real FaultCourier.exe in interactive mode shows the
// report wizard, which a user (this test, from outside the process) walks
// through to the end; the report is posted and the crash folder removed.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "crash_server.h"
#include "resource_ids.h"
#include "test_support.h"
#include "wizard_driver.h"

using crash_testing::AnswerCrashReports;
using crash_testing::FetchCrashReport;
using crash_testing::PostedReport;
using testing_support::ExecutableFolder;
using testing_support::TempDir;
using testing_support::TestServer;
using testing_support::WriteFileBytes;

namespace {

constexpr int NEXT_BUTTON = 0x3024;
constexpr int FINISH_BUTTON = 0x3025;

struct SheetSearch {
    DWORD processId;
    HWND sheet = nullptr;
};

BOOL CALLBACK FindProcessSheet(HWND window, LPARAM lParam)
{
    SheetSearch* search = reinterpret_cast<SheetSearch*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || !GetDlgItem(window, NEXT_BUTTON))
        return TRUE;
    search->sheet = window;
    return FALSE;
}

bool Enabled(HWND sheet, int id)
{
    HWND button = GetDlgItem(sheet, id);
    return button && IsWindowVisible(button) && IsWindowEnabled(button);
}

// Walks the wizard of the process: Next on the first three pages (on the
// submit page once it may), Finish on the last. Bounded by time.
bool WalkWizard(DWORD processId, HANDLE process)
{
    const int pages[] = {IDD_INTRO_PAGE, IDD_REPRO_STEPS_PAGE, IDD_SUBMIT_PAGE, IDD_OUTRO_PAGE};
    size_t next = 0;
    for (int waited = 0; waited < 60000 && next < 4; waited += 50) {
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
            return false; // gone before the wizard was walked
        SheetSearch search{processId};
        EnumWindows(FindProcessSheet, reinterpret_cast<LPARAM>(&search));
        if (!search.sheet || wizard_testing::CurrentPageId(search.sheet) != pages[next])
            continue;
        if (pages[next] == IDD_OUTRO_PAGE) {
            if (!Enabled(search.sheet, FINISH_BUTTON))
                continue;
            PostMessageW(search.sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
        } else {
            if (!Enabled(search.sheet, NEXT_BUTTON))
                continue;
            PostMessageW(search.sheet, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
        }
        ++next;
    }
    return next == 4;
}

class CourierWizard : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer::Reset());
        code_ = root_ / L"Code";
        crash_ = root_ / L"Crashes";
        ASSERT_TRUE(CreateDirectoryW(code_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW((ExecutableFolder() + L"\\FaultCourier.exe").c_str(),
                              (code_ + L"\\FaultCourier.exe").c_str(), FALSE));
        ASSERT_TRUE(WriteFileBytes(code_ + L"\\Vantorel.ini",
                                   "[Crash]\r\nServer=" + crash_testing::CrashServerHost() + "\r\n"));
    }

    // Runs FaultCourier on a fresh crash folder with the option, walks its
    // wizard and returns the exit code (-1 when something did not happen).
    int RunInteractive(const std::wstring& option)
    {
        CreateDirectoryW(crash_.c_str(), nullptr);
        WriteFileBytes(crash_ + L"\\Description.txt", "Crash type: Crash\r\n");
        WriteFileBytes(crash_ + L"\\QX.dmp", "MDMP");
        std::wstring line = L"\"" + code_ + L"\\FaultCourier.exe\" \"" + crash_ + L"\"" + option;
        STARTUPINFOW startup = {sizeof(startup)};
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, code_.c_str(),
                            &startup, &info))
            return -1;
        bool walked = WalkWizard(info.dwProcessId, info.hProcess);
        DWORD exitCode = static_cast<DWORD>(-1);
        if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(info.hProcess, &exitCode);
        else
            TerminateProcess(info.hProcess, 2);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return walked ? static_cast<int>(exitCode) : -1;
    }

    bool CrashFolderExists() const { return GetFileAttributesW(crash_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    TempDir root_;
    std::wstring code_;
    std::wstring crash_;
};

} // namespace

// Without the exact "/UNATTENDED" (a lower-case one included) the report
// goes through the wizard.
TEST_F(CourierWizard, InteractiveModeRunsTheWizard)
{
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));
    for (const wchar_t* option : {L"", L" /unattended"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(option)));
        EXPECT_EQ(RunInteractive(option), 0);
        EXPECT_FALSE(CrashFolderExists());
    }
    PostedReport report = FetchCrashReport();
    EXPECT_EQ(report.count, 2);
    EXPECT_EQ(report.FieldNames(), (std::vector<std::string>{"Description", "Lang", "Zip"}));
    EXPECT_NE(report.zip.Find("QX.dmp"), nullptr);
}
