// End to end: the real FaultCourier.exe against the HTTPS test server,
// unattended and through its wizard, walked by this test from outside the
// process.
//
// Each run uses a copy of the program in <temp>\Code\ with its own
// Vantorel.ini, so the configuration and the build tree's Temp folder (for
// bug number files) belong to the test.
#include <gtest/gtest.h>

#include <windows.h>
#include <prsht.h>

#include <string>

#include "crash_server.h"
#include "registry_value.h"
#include "report_body.h"
#include "resource_ids.h"
#include "test_support.h"
#include "wizard_driver.h"

using crash_testing::AnswerCrashReports;
using crash_testing::FetchCrashReport;
using crash_testing::PostedReport;
using testing_support::ExecutableFolder;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::RunProcess;
using testing_support::TempDir;
using testing_support::TestServer;
using testing_support::WriteFileBytes;

namespace {

const wchar_t TCPIP_KEY[] = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const char IN_HOUSE_DOMAIN[] = "fc-inhouse.test";

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
// submit page once it may), Finish on the last, whose summary it keeps.
// Bounded by time.
bool WalkWizard(DWORD processId, HANDLE process, std::wstring& outroSummary)
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
            wchar_t summary[256] = {};
            GetDlgItemTextW(PropSheet_GetCurrentPageHwnd(search.sheet), IDC_SUMMARY, summary, 256);
            outroSummary = summary;
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

// The Unix path Wine gives a Windows path ("" when it gives none).
std::string UnixPath(const std::wstring& path)
{
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixFileName>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    std::string result = unix ? unix : "";
    if (unix)
        HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// A drive of the Wine prefix whose root is a folder, as a mapped drive's
// root is a folder of its server: a link in the prefix's "dosdevices", made
// with the system's own ln (Wine makes none). Under Wine only.
class MappedDrive {
  public:
    MappedDrive(char letter, const std::wstring& folder) : link_(UnixPath(L"C:\\"))
    {
        std::string target = UnixPath(folder);
        // "<prefix>/dosdevices/c:/" names the link of drive C:.
        if (target.empty() || link_.size() < 4 || link_.compare(link_.size() - 4, 4, "/c:/") != 0) {
            link_.clear();
            return;
        }
        link_.replace(link_.size() - 3, 3, std::string(1, letter) + ":");
        root_ = std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
        Run("Z:\\bin\\ln -sfn " + target + " " + link_, false);
    }
    ~MappedDrive()
    {
        if (!link_.empty())
            Run("Z:\\bin\\rm -f " + link_, true);
    }
    bool Made() const
    {
        return !link_.empty() && GetFileAttributesW(root_.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

  private:
    // Such a process cannot be waited on; its outcome is (bounded).
    void Run(const std::string& command, bool gone)
    {
        std::wstring line(command.begin(), command.end());
        STARTUPINFOW startup = {sizeof(startup)};
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (int i = 0; i < 100 && (GetFileAttributesW(root_.c_str()) == INVALID_FILE_ATTRIBUTES) != gone;
             ++i)
            Sleep(50);
    }

    std::string link_;
    std::wstring root_;
};

struct CourierRun {
    std::optional<int> exitCode; // none: it still ran at its deadline, or its wizard was not walked
    std::string output;        // standard output is in text mode: lines end in CR LF
    std::wstring outroSummary; // the wizard's last page
};

class Courier : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestServer::Reset());
        code_ = root_ / L"Code";
        crash_ = root_ / L"Crashes\\2031.05.07.21.04.09";
        ASSERT_TRUE(CreateDirectoryW(code_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((root_ / L"Temp").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((root_ / L"Crashes").c_str(), nullptr));
        ASSERT_TRUE(CopyFileW((ExecutableFolder() + L"\\FaultCourier.exe").c_str(),
                              (code_ + L"\\FaultCourier.exe").c_str(), FALSE));
        Configure(crash_testing::CrashServerHost(), false);
    }

    void Configure(const std::string& host, bool inHouse)
    {
        std::string ini = "[Crash]\r\nServer=" + host + "\r\n";
        if (inHouse)
            ini += std::string("[InHouse]\r\nDomainSuffix=.") + IN_HOUSE_DOMAIN + "\r\n";
        ASSERT_TRUE(WriteFileBytes(code_ + L"\\Vantorel.ini", ini));
    }

    void WriteCrashFolder(const std::string& description = "a b&c")
    {
        CreateDirectoryW(crash_.c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\Description.txt", description));
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\Launcher.log", "launcher log\r\n"));
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\QX.dmp", std::string("MDMP\x93\xa7", 6) + std::string(3000, '\0')));
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\QX.cfg", "r_mode 1\r\n; comment\r\nsnd 0\r\n"));
        ASSERT_TRUE(WriteFileBytes(crash_ + L"\\dxdiag.txt", "Machine name: HOSTNAME\r\n"));
    }

    CourierRun Start(const std::wstring& arguments)
    {
        CourierRun run;
        std::wstring line = L"\"" + code_ + L"\\FaultCourier.exe\" " + arguments;
        run.exitCode = RunProcess(line, &run.output, 120000, code_);
        return run;
    }

    CourierRun Send(const std::wstring& option = L" /UNATTENDED") { return Start(L"\"" + crash_ + L"\"" + option); }

    // Runs FaultCourier on a fresh crash folder with the option and walks its
    // wizard; the exit code is none when something did not happen. Its
    // output is read only while it runs, within its deadline: a process it
    // started that holds the pipe cannot keep the test waiting.
    CourierRun RunInteractive(const std::wstring& option)
    {
        CourierRun run;
        WriteCrashFolder();
        bool walked = false;
        run.exitCode = RunProcess(L"\"" + code_ + L"\\FaultCourier.exe\" \"" + crash_ + L"\"" + option,
                                  &run.output, 120000, code_, [&](DWORD processId) {
                                      HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
                                      walked = process && WalkWizard(processId, process, run.outroSummary);
                                      if (process)
                                          CloseHandle(process);
                                  });
        if (!walked)
            run.exitCode.reset();
        return run;
    }

    bool CrashFolderExists() const { return GetFileAttributesW(crash_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    TempDir root_;
    std::wstring code_;
    std::wstring crash_;
};

} // namespace

TEST_F(Courier, UnattendedReportCarriesEveryFieldAndFile)
{
    WriteCrashFolder();
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));
    CourierRun run = Send();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "");
    EXPECT_FALSE(CrashFolderExists());

    PostedReport report = FetchCrashReport();
    ASSERT_EQ(report.count, 1);
    EXPECT_TRUE(report.canonical);
    EXPECT_EQ(report.FieldNames(), (std::vector<std::string>{"Description", "Lang", "Zip"}));
    EXPECT_EQ(report.Field("Description"), "a b&c");
    EXPECT_EQ(report.Field("Lang"), "en");
    ASSERT_EQ(report.zip.status, "ok");
    ASSERT_EQ(report.zip.entries.size(), 4u);
    EXPECT_EQ(report.zip.entries[0].name, "QX.dmp");
    EXPECT_EQ(report.zip.entries[0].content.substr(0, 6), std::string("MDMP\x93\xa7", 6));
    EXPECT_EQ(report.zip.Find("Launcher.log")->content, "launcher log\r\n");
    EXPECT_EQ(report.zip.Find("QX.cfg")->content, "r_mode 1\r\n\nsnd 0\r\n");
    EXPECT_EQ(report.zip.Find("dxdiag.txt")->content, "Machine name: XXXXXXXXX\n");
}

// Only a 2xx answer delivers a report; any other status is a report that
// did not arrive, said on the console and in the exit code. The folder goes
// either way: nothing would send it again.
TEST_F(Courier, OnlyA2xxAnswerDeliversTheReport)
{
    const struct {
        int status;
        const char* answer;
        int exitCode;
        const char* output;
    } answers[] = {
        {200, "4711", 0, ""},
        {200, "4711\r\nFIXED", 0, ""},
        {200, "SUSPECT:Overlay Helper", 0, ""},
        {204, "", 0, ""},
        {500, "oops", 4, "Error: The crash server answered with status 500\r\n"},
        {404, "", 4, "Error: The crash server answered with status 404\r\n"},
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.status);
        ASSERT_TRUE(TestServer::Reset());
        ASSERT_TRUE(AnswerCrashReports(answer.status, answer.answer));
        WriteCrashFolder();
        CourierRun run = Send();
        EXPECT_EQ(run.exitCode, answer.exitCode);
        EXPECT_EQ(run.output, answer.output);
        EXPECT_FALSE(CrashFolderExists());
        EXPECT_EQ(FetchCrashReport().count, 1);
    }
    // Not in-house: no bug number file.
    EXPECT_FALSE(FileExists(root_ / L"Temp\\crash1.bug"));
}

// A crash server that moved answers with a redirect. The report is not
// sent again anywhere, neither as a GET of a web page (301) nor as the same
// POST to the new address (307): it was not delivered, and says where the
// server pointed.
TEST_F(Courier, ARedirectedReportIsNotDelivered)
{
    const struct {
        int status;
        std::wstring location;
    } moves[] = {
        {301, TestServer::HttpBase() + L"/moved/index.html"},
        {307, TestServer::HttpsBase() + L"/moved/index.html"},
    };
    for (const auto& move : moves) {
        SCOPED_TRACE(move.status);
        const std::string location(move.location.begin(), move.location.end());
        ASSERT_TRUE(TestServer::Reset());
        ASSERT_TRUE(
            AnswerCrashReports(move.status, "moved", "\"headers\": {\"Location\": \"" + location + "\"}"));
        ASSERT_TRUE(TestServer::AddRoute("*", "/moved/index.html", 200, "<html>We moved</html>"));
        WriteCrashFolder();
        CourierRun run = Send();
        EXPECT_EQ(run.exitCode, 4);
        EXPECT_EQ(run.output, "Error: The crash server answered with status " + std::to_string(move.status) +
                                  ", pointing to " + location + "\r\n");
        EXPECT_FALSE(CrashFolderExists());
        std::vector<testing_support::RecordedRequest> requests = TestServer::Requests();
        EXPECT_EQ(requests.size(), 1u);
        for (const testing_support::RecordedRequest& request : requests) {
            EXPECT_EQ(request.method + " " + request.path, "POST /CrashServer/CrashProcessREST.php");
            EXPECT_TRUE(request.tls);
        }
    }
}

// A folder that is not one a crash report leaves, here a user's documents
// that happen to hold a Description.txt, is reported as before and kept
// whole, with a line saying why.
TEST_F(Courier, AFolderOtherThanACrashFolderIsSentAndKept)
{
    const std::wstring documents = root_ / L"Documents";
    const std::pair<std::wstring, std::string> files[] = {
        {L"Description.txt", "a b&c"},
        {L"notes.log", "my notes\r\n"},
        {L"holiday.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + std::string(200, '\x42')},
        {L"Saved Games\\slot1.sav", "level 3"},
    };
    ASSERT_TRUE(CreateDirectoryW(documents.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((documents + L"\\Saved Games").c_str(), nullptr));
    for (const auto& file : files)
        ASSERT_TRUE(WriteFileBytes(documents + L"\\" + file.first, file.second));
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));

    CourierRun run = Start(L"\"" + documents + L"\" /UNATTENDED");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output,
              "Error: Folder kept: it holds the folder \"Saved Games\", so it is not a crash folder\r\n");
    for (const auto& file : files)
        EXPECT_EQ(ReadFileBytes(documents + L"\\" + file.first), file.second);
    PostedReport report = FetchCrashReport();
    EXPECT_EQ(report.count, 1);
    EXPECT_EQ(report.Field("Description"), "a b&c");
    EXPECT_NE(report.zip.Find("notes.log"), nullptr);

    // Without the subfolder the photo alone keeps it.
    ASSERT_TRUE(DeleteFileW((documents + L"\\Saved Games\\slot1.sav").c_str()));
    ASSERT_TRUE(RemoveDirectoryW((documents + L"\\Saved Games").c_str()));
    run = Start(L"\"" + documents + L"\" /UNATTENDED");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "Error: Folder kept: it holds \"holiday.jpg\", which is not a crash file\r\n");
    EXPECT_EQ(ReadFileBytes(documents + L"\\holiday.jpg"), files[2].second);
    EXPECT_EQ(ReadFileBytes(documents + L"\\notes.log"), files[1].second);
    EXPECT_EQ(FetchCrashReport().count, 2);
}

// A crash folder that is a link to a folder (here a symbolic link; Wine
// makes neither junctions nor links through the Windows calls) is sent and
// kept, the link and what it leads to whole, also when named with a
// trailing separator.
TEST_F(Courier, ALinkedFolderIsSentAndKept)
{
    const std::wstring elsewhere = root_ / L"Elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(elsewhere + L"\\Description.txt", "a b&c"));
    ASSERT_TRUE(WriteFileBytes(elsewhere + L"\\QX.dmp", "MDMP"));
    ASSERT_TRUE(WriteFileBytes(elsewhere + L"\\Launcher.log", "launcher log\r\n"));
    ASSERT_TRUE(
        testing_support::MakeLink(root_ / L"Crashes", L"2031.05.07.21.04.09", L"..\\Elsewhere", true));
    ASSERT_NE(GetFileAttributesW(crash_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));

    for (const wchar_t* tail : {L"", L"\\"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(tail)));
        CourierRun run = Start(L"\"" + crash_ + tail + L"\" /UNATTENDED");
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.output, "Error: Folder kept: it is a link, not a crash folder\r\n");
        EXPECT_NE(GetFileAttributesW(crash_.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
        EXPECT_EQ(ReadFileBytes(elsewhere + L"\\Description.txt"), "a b&c");
        EXPECT_EQ(ReadFileBytes(elsewhere + L"\\QX.dmp"), "MDMP");
        EXPECT_EQ(ReadFileBytes(elsewhere + L"\\Launcher.log"), "launcher log\r\n");
    }
    EXPECT_EQ(FetchCrashReport().count, 2);
    EXPECT_TRUE(testing_support::RemoveLink(root_ / L"Crashes", L"2031.05.07.21.04.09"));
}

// A crash folder whose parent was replaced by a link to another folder, one
// that holds a folder of the same name, is sent and kept: the other
// folder's files all stay.
TEST_F(Courier, ACrashFolderReachedThroughALinkIsSentAndKept)
{
    const std::wstring other = root_ / L"Other\\2031.05.07.21.04.09";
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"Description.txt", "a b&c"}, {L"QX.dmp", "MDMP"}, {L"QX.log", "game log\r\n"}};
    ASSERT_TRUE(CreateDirectoryW((root_ / L"Other").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
    for (const auto& file : files)
        ASSERT_TRUE(WriteFileBytes(other + L"\\" + file.first, file.second));
    ASSERT_TRUE(RemoveDirectoryW((root_ / L"Crashes").c_str()));
    ASSERT_TRUE(testing_support::MakeLink(root_.path(), L"Crashes", L"Other", true));
    ASSERT_EQ(ReadFileBytes(crash_ + L"\\QX.dmp"), "MDMP");
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));

    CourierRun run = Send();
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output.rfind("Error: Folder kept: its path leads elsewhere, through a link, to ", 0), 0u)
        << run.output;
    EXPECT_NE(run.output.find("Other\\2031.05.07.21.04.09\"\r\n"), std::string::npos) << run.output;
    for (const auto& file : files)
        EXPECT_EQ(ReadFileBytes(other + L"\\" + file.first), file.second);
    EXPECT_EQ(FetchCrashReport().Field("Description"), "a b&c");
    EXPECT_TRUE(testing_support::RemoveLink(root_.path(), L"Crashes"));
}

// A drive's root is kept however it is named: here the folder that is the
// root of a mapped drive, named by its own path rather than by the drive.
TEST_F(Courier, ARootNamedThroughAnotherPathIsSentAndKept)
{
    const std::wstring share = root_ / L"Share";
    ASSERT_TRUE(CreateDirectoryW(share.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(share + L"\\Description.txt", "a b&c"));
    ASSERT_TRUE(WriteFileBytes(share + L"\\QX.dmp", "MDMP"));
    MappedDrive drive('q', share);
    ASSERT_TRUE(drive.Made());
    ASSERT_EQ(ReadFileBytes(L"Q:\\QX.dmp"), "MDMP");
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));

    CourierRun run = Start(L"\"" + share + L"\" /UNATTENDED");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.output, "Error: Folder kept: it is the root of a drive or share, not a crash folder\r\n");
    EXPECT_EQ(ReadFileBytes(share + L"\\Description.txt"), "a b&c");
    EXPECT_EQ(ReadFileBytes(share + L"\\QX.dmp"), "MDMP");
    EXPECT_EQ(FetchCrashReport().count, 1);
}

TEST_F(Courier, RefusedConnectionStillDeletesTheFolder)
{
    Configure("localhost:" + std::to_string(TestServer::HttpsPort() == 1 ? 2 : 1), false);
    WriteCrashFolder();
    CourierRun run = Send();
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.output, "Error: HttpSendRequest() failed. Error code: 12029\r\n");
    EXPECT_FALSE(CrashFolderExists());
}

// A Description.txt that is missing, or that cannot be read whole (here a
// link to a file of the system that reads shorter than its size), stops the
// report with a line saying why.
TEST_F(Courier, UnreadableDescriptionKeepsTheFolder)
{
    ASSERT_TRUE(CreateDirectoryW(crash_.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(crash_ + L"\\QX.dmp", "MDMP"));
    CourierRun run = Send();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "Error: CreateFile() failed. Error code: 2\r\n");
    EXPECT_TRUE(FileExists(crash_ + L"\\QX.dmp"));

    ASSERT_TRUE(
        testing_support::MakeLink(crash_, L"Description.txt", L"/sys/devices/system/cpu/online", false));
    run = Send();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "Error: Description.txt could not be read. Error code: 38\r\n");
    EXPECT_TRUE(FileExists(crash_ + L"\\QX.dmp"));
    EXPECT_EQ(FetchCrashReport().count, 0);
    EXPECT_TRUE(testing_support::RemoveLink(crash_, L"Description.txt"));
}

TEST_F(Courier, DescriptionTooLargeForTheBodyKeepsTheFolder)
{
    WriteCrashFolder(std::string(REPORT_BODY_SIZE / 3, '&'));
    CourierRun run = Send();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "Error: EncodeUrlString() failed. Error code: 122\r\n");
    EXPECT_TRUE(CrashFolderExists());
    EXPECT_EQ(FetchCrashReport().count, 0);
}

TEST_F(Courier, BadCommandLinesDoNothing)
{
    WriteCrashFolder();
    const char noFolder[] = "Error: no crash folder in double quotes on the command line\r\n";
    CourierRun empty = Start(L"");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_EQ(empty.output, noFolder);
    CourierRun unquoted = Start(crash_ + L" /UNATTENDED");
    EXPECT_EQ(unquoted.exitCode, 1);
    EXPECT_EQ(unquoted.output, noFolder);
    CourierRun overLong = Start(L"\"" + crash_ + std::wstring(2000, L'x') + L"\" /UNATTENDED");
    EXPECT_EQ(overLong.exitCode, 1);
    EXPECT_EQ(overLong.output.rfind("Error: ", 0), 0u) << overLong.output;
    CourierRun longOption = Start(L"\"" + crash_ + L"\" /" + std::wstring(600, L'U'));
    EXPECT_EQ(longOption.exitCode, 1);
    EXPECT_EQ(longOption.output.rfind("Error: ", 0), 0u) << longOption.output;

    EXPECT_TRUE(FileExists(crash_ + L"\\Description.txt"));
    EXPECT_EQ(FetchCrashReport().count, 0);
}

TEST_F(Courier, ForwardSlashesAreUsedAsBackslashes)
{
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));
    WriteCrashFolder();
    std::wstring slashed = crash_;
    for (wchar_t& c : slashed) {
        if (c == L'\\')
            c = L'/';
    }
    CourierRun run = Start(L"\"" + slashed + L"\" /UNATTENDED");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(CrashFolderExists());
    EXPECT_EQ(FetchCrashReport().Field("Description"), "a b&c");
}

TEST_F(Courier, LanguageComesFromTheLauncherSetting)
{
    LanguageSetting language(L"ru");
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));
    const std::pair<const wchar_t*, const char*> cases[] = {{L"RU", "ru"}, {L"xx", "en"}};
    for (const auto& c : cases) {
        language.Set(c.first);
        WriteCrashFolder();
        ASSERT_EQ(Send().exitCode, 0);
        EXPECT_EQ(FetchCrashReport().Field("Lang"), c.second);
    }
}

TEST_F(Courier, InHouseReportsAddContextReporterAndBugNumberFile)
{
    RegistryValue domain(HKEY_LOCAL_MACHINE, TCPIP_KEY, L"Domain", L"fc-inhouse.test");
    Configure(crash_testing::CrashServerHost(), true);
    ASSERT_TRUE(AnswerCrashReports(200, "4711\r\nFIXED"));

    WriteCrashFolder("Crash type: Crash\r\n");
    ASSERT_TRUE(WriteFileBytes(crash_ + L"\\QX.log",
                               "12.5 Net [Client]: ===[ Arena successfully connected to: 10.0.0.1/x ]===\r\n"));
    CourierRun run = Send();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "");

    wchar_t user[512];
    DWORD size = 512;
    ASSERT_TRUE(GetUserNameW(user, &size));
    PostedReport report = FetchCrashReport();
    EXPECT_EQ(report.FieldNames(), (std::vector<std::string>{"Description", "Lang", "Reporter", "Zip"}));
    EXPECT_EQ(report.Field("Description"), "Crash type: Crash\r\n\n\rLast level loaded: Arena: 10.0.0.1/x");
    EXPECT_EQ(report.Field("Reporter"), NarrowReportText(user, 2048));
    EXPECT_NE(report.zip.Find("QX.log"), nullptr);
    EXPECT_EQ(ReadFileBytes(root_ / L"Temp\\crash1.bug"), "4711");

    ASSERT_TRUE(TestServer::Reset());
    ASSERT_TRUE(AnswerCrashReports(200, "4712"));
    WriteCrashFolder();
    ASSERT_EQ(Send().exitCode, 0);
    EXPECT_EQ(ReadFileBytes(root_ / L"Temp\\crash2.bug"), "4712");
}

// Without the exact "/UNATTENDED" (a lower-case one included) the report
// goes through the wizard. A server error there shows the failure page and
// ends as an undelivered report.
TEST_F(Courier, InteractiveModeRunsTheWizard)
{
    ASSERT_TRUE(AnswerCrashReports(200, "4711"));
    for (const wchar_t* option : {L"", L" /unattended"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(option)));
        CourierRun run = RunInteractive(option);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.outroSummary, L"Crash Submitted");
        EXPECT_FALSE(CrashFolderExists());
    }
    PostedReport report = FetchCrashReport();
    EXPECT_EQ(report.count, 2);
    EXPECT_EQ(report.FieldNames(), (std::vector<std::string>{"Description", "Lang", "Zip"}));
    EXPECT_NE(report.zip.Find("QX.dmp"), nullptr);

    ASSERT_TRUE(AnswerCrashReports(500, "oops"));
    CourierRun failed = RunInteractive(L"");
    EXPECT_EQ(failed.exitCode, 4);
    EXPECT_EQ(failed.output, "Error: The crash server answered with status 500\r\n");
    EXPECT_EQ(failed.outroSummary, L"Connection Failed");
    EXPECT_FALSE(CrashFolderExists());
    EXPECT_EQ(FetchCrashReport().count, 3);
}
