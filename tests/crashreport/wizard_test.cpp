// The report wizard in this process, driven like a user against the HTTPS
// test server: page order, texts, buttons, the posted report and the crash
// folder's removal. Each page's screenshot is kept under the build tree's
// artifacts folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <prsht.h>

#include <string>
#include <thread>
#include <vector>

#include "crash_server.h"
#include "folder_delete.h"
#include "error_output.h"
#include "in_house.h"
#include "registry_value.h"
#include "resource_ids.h"
#include "server_config.h"
#include "shell_open.h"
#include "submit.h"
#include "test_support.h"
#include "texts.h"
#include "wizard_driver.h"

using crash_testing::AnswerCrashReports;
using crash_testing::FetchCrashReport;
using crash_testing::PostedReport;
using testing_support::TempDir;
using testing_support::TestServer;
using testing_support::WriteFileBytes;
using wizard_testing::Action;
using wizard_testing::DETAILS_DIALOG;
using wizard_testing::Step;
using wizard_testing::Visit;
using wizard_testing::WizardDriver;

namespace {

const int INTRO = IDD_INTRO_PAGE, REPRO = IDD_REPRO_STEPS_PAGE, SUBMIT = IDD_SUBMIT_PAGE,
          OUTRO = IDD_OUTRO_PAGE;

std::vector<std::string> Errors;
std::vector<std::wstring> ShellCalls; // "verb target"

void CollectError(const char* text)
{
    Errors.push_back(text);
}

HINSTANCE WINAPI RecordShellCall(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    ShellCalls.push_back(std::wstring(verb) + L" " + file);
    return reinterpret_cast<HINSTANCE>(33);
}

bool InHouse()
{
    return true;
}

bool NotInHouse()
{
    return false;
}

std::wstring Text(const char* key)
{
    std::wstring text;
    GetLocalizedText(key, text);
    return text;
}

// The rich edit hands its paragraphs back with carriage returns.
std::wstring LineFeedsOnly(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            out += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Intro, Repro (no comment), Submit when done, then the outro's action.
std::vector<Step> PlainWalk(Action outroAction, const std::wstring& outroScreenshot = L"")
{
    return {{INTRO, Action::NEXT},
            {REPRO, Action::NEXT},
            {SUBMIT, Action::NEXT, true},
            {OUTRO, outroAction, true, L"", outroScreenshot}};
}

class Wizard : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer::Reset());
        crash_ = root_ / L"2031.05.07.21.04.09";
        Configure(crash_testing::CrashServerHost());
        SetInHouseMachineQuery(NotInHouse);
        ShellExecuteFunction = RecordShellCall;
        SetErrorSink(CollectError);
        Errors.clear();
        ShellCalls.clear();
        ASSERT_TRUE(CreateDirectoryW(crash_.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\Description.txt", "Crash type: Crash\r\n"));
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\QX.dmp", std::string("MDMP", 4) + std::string(500, '\0')));
    }

    void TearDown() override
    {
        SetErrorSink(nullptr);
        ShellExecuteFunction = ShellExecuteW;
        SetInHouseMachineQuery(nullptr);
        ReloadServerConfig(nullptr);
    }

    void Configure(const std::string& crashHost)
    {
        std::wstring ini = root_ / L"Vantorel.ini";
        ASSERT_TRUE(WriteFileBytes(ini, "[Crash]\r\nServer=" + crashHost +
                                            "\r\n[InHouse]\r\nIssueTracker=tracker.vantorel.test\r\n"));
        ASSERT_EQ(ReloadServerConfig(ini.c_str()), 0);
    }

    // The driver's part of FaultCourier: the interactive report, then the
    // folder goes unless the report stopped before it was sent.
    void Run(WizardDriver& driver)
    {
        result_ = SubmitCrashReport(crash_, false);
        if (result_ != COURIER_STOPPED)
            DeleteCrashFolder(crash_);
        EXPECT_TRUE(driver.Finished());
        EXPECT_FALSE(driver.TimedOut());
    }

    bool CrashFolderExists() const { return GetFileAttributesW(crash_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    LanguageSetting language_{L"en"};
    TempDir root_;
    std::wstring crash_;
    int result_ = -1;
};

} // namespace

TEST_F(Wizard, BugNumberAnswerWalksEveryPageAndPostsOnce)
{
    ASSERT_TRUE(AnswerCrashReports(200, "12345\r\n"));
    WizardDriver driver({
        {INTRO, Action::NEXT, false, L"", L"wizard_1_intro"},
        {REPRO, Action::TYPE_AND_NEXT, false, L"Jumped off the bridge \x00E9\r\nthen it froze",
         L"wizard_2_repro_steps"},
        // Between two steps, when the driver gets a look in; else once done.
        {SUBMIT, Action::LOOK, false, L"", L"wizard_3_submit_progress"},
        {SUBMIT, Action::NEXT, true, L"", L"wizard_3_submit"},
        {OUTRO, Action::BACK, true, L"", L"wizard_4_outro_bug_number"},
        {SUBMIT, Action::NEXT, true},
        {OUTRO, Action::FINISH, true},
    });
    Run(driver);
    EXPECT_EQ(result_, COURIER_DONE);
    EXPECT_FALSE(CrashFolderExists());
    EXPECT_EQ(driver.PagesSeen(), (std::vector<int>{INTRO, REPRO, SUBMIT, OUTRO, SUBMIT, OUTRO}));
    ASSERT_EQ(driver.Visits().size(), 7u);

    const Visit& intro = driver.Visits()[0];
    EXPECT_EQ(intro.caption, L"Vantorel");
    EXPECT_EQ(intro.texts.at(IDC_SUMMARY), L"An Error Has Occurred.");
    EXPECT_EQ(intro.texts.at(IDC_DESCRIPTION), Text("STRING_INTRO_DESCRIPTION"));
    EXPECT_FALSE(intro.visible.at(IDC_DETAILS));
    EXPECT_TRUE(intro.next && intro.cancel && !intro.back && !intro.finish);
    EXPECT_NE(intro.screenshot, L"");

    const Visit& repro = driver.Visits()[1];
    EXPECT_EQ(repro.texts.at(IDC_REPRO_PROMPT),
              L"Please tell us what you were doing when you encountered the error.");
    EXPECT_EQ(repro.texts.at(IDC_REPRO_THANKS), Text("STRING_REPRO_STEPS_THANKS"));
    EXPECT_TRUE(repro.back && repro.next && repro.cancel);

    const Visit& submit = driver.Visits()[3];
    EXPECT_EQ(submit.texts.at(IDC_PROGRESS_TEXT), L"Submitting issue to tracking server...done!");
    EXPECT_FALSE(submit.visible.at(IDC_DETAILS));
    EXPECT_FALSE(submit.visible.at(IDC_PROGRESS_ANIMATION));
    EXPECT_TRUE(submit.next && !submit.back);

    const Visit& outro = driver.Visits()[4];
    EXPECT_EQ(outro.texts.at(IDC_SUMMARY), L"Crash Submitted");
    EXPECT_EQ(outro.texts.at(IDC_DESCRIPTION), Text("STRING_OUTRO_DESCRIPTION_SUCCESS") + L"\r\n\r\n" +
                                                   L"Please include the following bug number when contacting "
                                                   L"support:\r\n\r\n");
    EXPECT_TRUE(outro.visible.at(IDC_BUG_NUMBER));
    EXPECT_EQ(outro.texts.at(IDC_BUG_NUMBER), L"12345");
    EXPECT_TRUE(outro.back && outro.finish && !outro.next);
    EXPECT_FALSE(outro.cancel); // Cancel became Close, which a wizard disables

    // Back from the verdict shows the finished page again without sending.
    const Visit& again = driver.Visits()[5];
    EXPECT_EQ(again.texts.at(IDC_PROGRESS_TEXT), L"Submitting issue to tracking server...done!");
    EXPECT_TRUE(again.next && !again.back);

    PostedReport report = FetchCrashReport();
    EXPECT_EQ(report.count, 1);
    EXPECT_TRUE(report.canonical);
    EXPECT_EQ(report.FieldNames(), (std::vector<std::string>{"Description", "Lang", "UserComment", "Zip"}));
    EXPECT_EQ(report.Field("Lang"), "en");
    EXPECT_EQ(report.Field("UserComment"), "Jumped off the bridge \xE9\r\nthen it froze");
    ASSERT_EQ(report.zip.status, "ok");
    EXPECT_NE(report.zip.Find("QX.dmp"), nullptr);
    EXPECT_TRUE(Errors.empty());
}

std::string LongSuspectAnswer()
{
    return "SUSPECT:" + std::string(1500, 'A') + "Z";
}

std::wstring LongSuspectDescription()
{
    std::wstring before = Text("STRING_OUTRO_PRE_SUSPECT_TEXT");
    std::wstring after = Text("STRING_OUTRO_POST_SUSPECT_TEXT");
    size_t kept = 1023 - before.size() - after.size() - 3;
    return before + std::wstring(kept, L'A') + L"..." + after;
}

TEST_F(Wizard, TheAnswerDecidesTheVerdict)
{
    struct Case {
        const char* name;
        int status;
        const char* answer;
        std::wstring summary;
        std::wstring description;
        bool bugNumber;
        const char* error; // the one "Error: " line, if any
    };
    const std::string longSuspect = LongSuspectAnswer();
    const Case cases[] = {
        {"fixed", 200, "777\r\nFIXED", L"Issue has been resolved",
         Text("STRING_OUTRO_DESCRIPTION_FIXED") + L"\r\n\r\n" + Text("STRING_OUTRO_INCLUDE_BUG_NUMBER") +
             L"\r\n\r\n",
         true, nullptr},
        {"rejected", 200, "SUSPECT:Overlay Helper \xC3\xA9", L"Crash Rejected",
         L"Unfortunately it would appear that Overlay Helper \x00E9" + Text("STRING_OUTRO_POST_SUSPECT_TEXT"),
         false, nullptr},
        // Only a 2xx answer delivers the report.
        {"server_error", 500, "oops", L"Connection Failed", Text("STRING_OUTRO_DESCRIPTION_FAILURE"), false,
         "Error: The crash server answered with status 500\n"},
        {"not_found", 404, "12345", L"Connection Failed", Text("STRING_OUTRO_DESCRIPTION_FAILURE"), false,
         "Error: The crash server answered with status 404\n"},
        // A name longer than the text holds is cut where it shows, and the
        // sentence still ends.
        {"long_suspect", 200, longSuspect.c_str(), L"Crash Rejected", LongSuspectDescription(), false,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(TestServer::Reset());
        ASSERT_TRUE(AnswerCrashReports(c.status, c.answer));
        CreateDirectoryW(crash_.c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\Description.txt", "Crash type: Crash\r\n"));
        Errors.clear();
        std::wstring shot = L"wizard_outro_" + std::wstring(c.name, c.name + strlen(c.name));
        WizardDriver driver(PlainWalk(Action::FINISH, shot));
        Run(driver);
        EXPECT_EQ(result_, c.error ? COURIER_NOT_DELIVERED : COURIER_DONE);
        EXPECT_FALSE(CrashFolderExists());
        ASSERT_EQ(driver.Visits().size(), 4u);
        EXPECT_EQ(driver.Visits()[2].texts.at(IDC_PROGRESS_TEXT),
                  Text("STRING_SUBMITTING_ISSUE") + Text(c.error ? "STRING_FAILED" : "STRING_DONE"));
        const Visit& outro = driver.Visits()[3];
        EXPECT_EQ(outro.texts.at(IDC_SUMMARY), c.summary);
        EXPECT_EQ(outro.texts.at(IDC_DESCRIPTION), c.description);
        EXPECT_EQ(outro.visible.at(IDC_BUG_NUMBER), c.bugNumber);
        EXPECT_EQ(outro.back, !c.error);
        EXPECT_TRUE(outro.finish && !outro.next);
        EXPECT_EQ(Errors, c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{});
        // No repro steps typed: no UserComment field.
        PostedReport report = FetchCrashReport();
        EXPECT_EQ(report.count, 1);
        EXPECT_EQ(report.FieldNames(), (std::vector<std::string>{"Description", "Lang", "Zip"}));
    }
}

TEST_F(Wizard, RefusedConnectionShowsTheFailurePage)
{
    Configure("localhost:1");
    WizardDriver driver(PlainWalk(Action::FINISH, L"wizard_outro_failed"));
    Run(driver);
    EXPECT_EQ(result_, COURIER_NOT_DELIVERED);
    EXPECT_FALSE(CrashFolderExists());
    ASSERT_EQ(driver.Visits().size(), 4u);
    const Visit& outro = driver.Visits()[3];
    EXPECT_EQ(outro.texts.at(IDC_SUMMARY), L"Connection Failed");
    EXPECT_EQ(outro.texts.at(IDC_DESCRIPTION), Text("STRING_OUTRO_DESCRIPTION_FAILURE"));
    EXPECT_FALSE(outro.visible.at(IDC_BUG_NUMBER));
    EXPECT_TRUE(outro.finish && !outro.back && !outro.next);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "Error: HttpSendRequest() failed. Error code: 12029\n");
}

TEST_F(Wizard, CancelOnTheFirstPageSendsNothingAndTheFolderGoes)
{
    ASSERT_TRUE(AnswerCrashReports(200, "1"));
    WizardDriver driver({{INTRO, Action::CANCEL}});
    Run(driver);
    EXPECT_EQ(result_, COURIER_DONE);
    EXPECT_FALSE(CrashFolderExists());
    EXPECT_EQ(FetchCrashReport().count, 0);
}

TEST_F(Wizard, UpperCaseRussianSettingShowsRussianAndSendsRu)
{
    language_.Set(L"RU");
    ASSERT_TRUE(AnswerCrashReports(200, "4242"));
    WizardDriver driver({
        {INTRO, Action::NEXT, false, L"", L"wizard_ru_1_intro"},
        {REPRO, Action::TYPE_AND_NEXT, false, L"\x0411\x043E\x0439", L"wizard_ru_2_repro_steps"},
        {SUBMIT, Action::NEXT, true},
        {OUTRO, Action::FINISH, true, L"", L"wizard_ru_4_outro"},
    });
    Run(driver);
    ASSERT_EQ(driver.Visits().size(), 4u);
    EXPECT_EQ(driver.Visits()[0].texts.at(IDC_SUMMARY),
              L"\x041F\x0440\x043E\x0438\x0437\x043E\x0448\x043B\x0430 "
              L"\x043E\x0448\x0438\x0431\x043A\x0430.");
    EXPECT_EQ(driver.Visits()[2].texts.at(IDC_PROGRESS_TEXT),
              Text("STRING_SUBMITTING_ISSUE") + Text("STRING_DONE"));
    EXPECT_EQ(driver.Visits()[3].texts.at(IDC_SUMMARY), Text("STRING_OUTRO_SUMMARY_SUCCESS"));
    PostedReport report = FetchCrashReport();
    EXPECT_EQ(report.Field("Lang"), "ru");
    // Beyond Latin-1 the comment travels as UTF-8 rather than being lost.
    EXPECT_EQ(report.Field("UserComment"), "\xD0\x91\xD0\xBE\xD0\xB9");
}

TEST_F(Wizard, InHouseMachinesGetDetailsAndTheTrackerEntry)
{
    SetInHouseMachineQuery(InHouse);
    ASSERT_TRUE(AnswerCrashReports(200, "VT-5150"));
    ASSERT_TRUE(WriteFileBytes(crash_ + L"\\Description.txt",
                               "Crash type: Crash\r\n   summary: Null pointer in Arena \t\r\n"));
    std::string log;
    for (int line = 1; line <= 30; ++line)
        log += "log line " + std::to_string(line) + "\r\n";
    ASSERT_TRUE(WriteFileBytes(crash_ + L"\\QX.log", log));

    WizardDriver driver({
        {INTRO, Action::CLICK_DETAILS, false, L"", L"wizard_inhouse_1_intro"},
        {DETAILS_DIALOG, Action::SHOW_IN_EXPLORER, false, L"", L"wizard_inhouse_details"},
        {DETAILS_DIALOG, Action::OK},
        {INTRO, Action::CLICK_DETAILS},
        {DETAILS_DIALOG, Action::CLOSE},
        {INTRO, Action::NEXT},
        {REPRO, Action::NEXT},
        {SUBMIT, Action::CLICK_DETAILS, true, L"", L"wizard_inhouse_3_submit"},
        {SUBMIT, Action::NEXT},
        {OUTRO, Action::FINISH, true},
    });
    Run(driver);
    EXPECT_FALSE(CrashFolderExists());
    ASSERT_EQ(driver.Visits().size(), 10u);
    EXPECT_TRUE(driver.Visits()[0].visible.at(IDC_DETAILS));
    EXPECT_EQ(driver.Visits()[0].texts.at(IDC_DETAILS), L"Details");

    const Visit& details = driver.Visits()[1];
    EXPECT_EQ(details.caption, L"Vantorel");
    std::wstring expected = L"Null pointer in Arena\n\n" + crash_ +
                            L"\\QX.cfg is your VantorelPublic config file.\n\n" + crash_ +
                            L"\\Editor.cfg is your Brindlexa config file.\n\n" + crash_ +
                            L"\\QX.dmp is a mini-dump of Vantorel's memory space.\n\n\n\nLog tail:\n";
    for (int line = 11; line <= 30; ++line)
        expected += L"log line " + std::to_wstring(line) + L"\n";
    EXPECT_EQ(LineFeedsOnly(details.texts.at(IDC_DETAILS_TEXT)), expected);

    EXPECT_TRUE(driver.Visits()[7].visible.at(IDC_DETAILS));
    EXPECT_EQ(ShellCalls,
              (std::vector<std::wstring>{L"explore " + crash_,
                                         L"open https://tracker.vantorel.test/jira/browse/VT-5150"}));
}

namespace {

// From another thread, what a user sees of the sheet while its report is
// being sent: once the server has the POST, whether the sheet answers a
// message at all, and then its Cancel.
struct SendWatch {
    bool sawPost = false;
    bool answered = false;

    void Watch(DWORD wizardThread)
    {
        for (int tries = 0; tries < 300 && !sawPost; ++tries) {
            for (const auto& request : TestServer::Requests())
                sawPost = sawPost || request.path == "/CrashServer/CrashProcessREST.php";
            if (!sawPost)
                Sleep(100);
        }
        HWND sheet = wizard_testing::FindWizardSheetOf(wizardThread);
        if (!sawPost || !sheet)
            return;
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutW(sheet, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
};

} // namespace

// A server that trickles its answer holds the POST for about 45 s (status
// line and headers included, one byte every half second), well inside the
// send's deadline. Meanwhile the sheet answers, and its Cancel ends the
// wait: the wizard closes, the report counts as not sent, and the folder
// goes as after any send.
TEST_F(Wizard, TheSheetAnswersWhileTheSendRunsAndItsCancelEndsTheWait)
{
    ASSERT_TRUE(crash_testing::TrickleCrashAnswers(0.5, "12345"));
    SendWatch watch;
    std::thread watcher(&SendWatch::Watch, &watch, GetCurrentThreadId());
    WizardDriver driver({{INTRO, Action::NEXT}, {REPRO, Action::NEXT}});
    Run(driver);
    watcher.join();
    EXPECT_TRUE(watch.sawPost);
    EXPECT_TRUE(watch.answered);
    EXPECT_EQ(result_, COURIER_NOT_DELIVERED);
    EXPECT_FALSE(CrashFolderExists());
    EXPECT_EQ(Errors,
              (std::vector<std::string>{"Error: The send was cancelled before the crash server answered\n"}));
}
