// End to end: crashtest.exe crashes with the launcher's hooks installed, in
// a private tools folder beside a FaultCourier stand-in and the system's
// debug-help library; the tests read the CrashFolder it leaves in the
// product's local data folder, which they then remove.
#include "app_folders.h"
#include "exit_codes.h"
#include "settings_store.h"
#include "strings.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::RemoveTree;
using testing_support::TempDir;

namespace {

// Whether the report's text holds part; the whole text is shown when not.
testing::AssertionResult Holds(const std::string& description, const std::string& part)
{
    if (description.find(part) != std::string::npos)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no \"" << part << "\" in:\n" << description;
}

struct CrashRun {
    std::optional<int> exitCode; // none: it still ran at its deadline
    bool uploaderStarted = false;
    std::vector<std::wstring> uploaderArgs;   // as FaultCourier would split them
    std::wstring uploaderFolder;              // its working folder
    std::wstring crashFolder;                 // the folder argument
    std::string crashFiles;                   // its files when FaultCourier started, each with ";"
    std::vector<std::wstring> startedFolders; // the folder of every FaultCourier start, in order
};

bool CopyInto(const std::wstring& source, const std::wstring& target)
{
    return CopyFileW(source.c_str(), target.c_str(), FALSE) != 0;
}

void MakeFolders(const std::wstring& path)
{
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

// A tools folder with the FaultCourier stand-in and, unless told otherwise,
// the debug-help library in "Windows\x64"; crashtest.exe goes into
// programFolder (the tools folder itself, or a build tree's Code\Tools).
class CrashLayout {
  public:
    CrashLayout(const std::wstring& programFolder, const std::wstring& toolsFolder, bool withDbgHelp)
        : program_(programFolder + L"\\crashtest.exe"), tools_(toolsFolder)
    {
        MakeFolders(programFolder);
        MakeFolders(toolsFolder);
        const std::wstring build = testing_support::BuildFolder();
        ok_ = CopyInto(build + L"\\crashtest.exe", program_) &&
              CopyInto(build + L"\\faultcourier_standin.exe", tools_ + L"\\FaultCourier.exe");
        if (withDbgHelp) {
            wchar_t system[MAX_PATH];
            GetSystemDirectoryW(system, MAX_PATH);
            MakeFolders(tools_ + L"\\Windows\\x64");
            ok_ = ok_ &&
                  CopyInto(std::wstring(system) + L"\\dbghelp.dll", tools_ + L"\\Windows\\x64\\dbghelp.dll");
        }
    }

    bool ok() const { return ok_; }
    const std::wstring& tools() const { return tools_; }

    // Runs one crash and waits (bounded) for the stand-in's records of
    // starts FaultCourier starts; the record read is that of the last.
    CrashRun Run(const wchar_t* mode, unsigned uploaderWaitMs = 10000, unsigned processWaitMs = 120000,
                 size_t starts = 1) const
    {
        CrashRun run;
        const std::wstring startsRecord = tools_ + L"\\faultcourier_starts.txt";
        DeleteFileW(startsRecord.c_str());
        run.exitCode = testing_support::RunProcess(L"\"" + program_ + L"\" " + mode, nullptr, processWaitMs);
        for (unsigned waited = 0; StartedFolders().size() < starts && waited < uploaderWaitMs; waited += 100)
            Sleep(100);
        run.startedFolders = StartedFolders();
        DeleteFileW(startsRecord.c_str());
        const std::wstring record = tools_ + L"\\faultcourier_args.txt";
        if (!FileExists(record))
            return run;
        run.uploaderStarted = true;
        std::wstring text = ConvertFromUtf8(ReadFileBytes(record));
        size_t lineEnd = text.find(L'\n');
        int count = 0;
        wchar_t** args = CommandLineToArgvW(text.substr(0, lineEnd).c_str(), &count);
        run.uploaderArgs.assign(args, args + count);
        LocalFree(args);
        size_t folderEnd = text.find(L'\n', lineEnd + 1);
        run.uploaderFolder = text.substr(lineEnd + 1, folderEnd - lineEnd - 1);
        if (folderEnd != std::wstring::npos)
            run.crashFiles =
                ConvertToUtf8(text.substr(folderEnd + 1, text.find(L'\n', folderEnd + 1) - folderEnd - 1));
        if (count == 2)
            run.crashFolder = run.uploaderArgs[1];
        DeleteFileW(record.c_str());
        return run;
    }

  private:
    std::vector<std::wstring> StartedFolders() const
    {
        std::vector<std::wstring> folders;
        const std::wstring text = ConvertFromUtf8(ReadFileBytes(tools_ + L"\\faultcourier_starts.txt"));
        for (size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1)
            folders.push_back(text.substr(at, end - at));
        return folders;
    }

    std::wstring program_;
    std::wstring tools_;
    bool ok_ = false;
};

std::vector<std::wstring> CrashFolders()
{
    std::vector<std::wstring> folders;
    const std::wstring root = std::wstring(GetLocalDataFolder()) + L"\\Crashes\\";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return folders;
    do {
        if (found.cFileName[0] != L'.')
            folders.push_back(root + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return folders;
}

// Removes the CrashFolders a test made, whatever the test's outcome.
struct CrashFolderCleanup {
    std::vector<std::wstring> folders;
    explicit CrashFolderCleanup(const std::wstring& folder = L"")
    {
        if (!folder.empty())
            folders.push_back(folder);
    }
    // The folders that are not among before.
    static CrashFolderCleanup NewSince(const std::vector<std::wstring>& before)
    {
        CrashFolderCleanup cleanup;
        for (const std::wstring& folder : CrashFolders()) {
            if (std::find(before.begin(), before.end(), folder) == before.end())
                cleanup.folders.push_back(folder);
        }
        return cleanup;
    }
    ~CrashFolderCleanup()
    {
        for (const std::wstring& folder : folders)
            RemoveTree(folder);
    }
};

std::string LauncherLog()
{
    return ReadFileBytes(std::wstring(GetLocalDataFolder()) + L"\\Launcher.log");
}

bool SameFolder(const std::wstring& a, const std::wstring& b)
{
    auto trim = [](std::wstring s) {
        while (!s.empty() && (s.back() == L'\\' || s.back() == L'/'))
            s.pop_back();
        return s;
    };
    return _wcsicmp(trim(a).c_str(), trim(b).c_str()) == 0;
}

// The folder is "<local data>\Crashes\YYYY.MM.DD.hh.mm.ss".
void ExpectCrashFolderName(const std::wstring& folder)
{
    const std::wstring root = std::wstring(GetLocalDataFolder()) + L"\\Crashes\\";
    ASSERT_EQ(0, _wcsnicmp(root.c_str(), folder.c_str(), root.size())) << ConvertToUtf8(folder);
    std::wstring name = folder.substr(root.size());
    ASSERT_EQ(19u, name.size()) << ConvertToUtf8(name);
    for (size_t i = 0; i < name.size(); ++i) {
        bool dot = i == 4 || i == 7 || i == 10 || i == 13 || i == 16;
        EXPECT_EQ(dot, name[i] == L'.') << ConvertToUtf8(name);
        EXPECT_EQ(!dot, iswdigit(name[i]) != 0) << ConvertToUtf8(name);
    }
}

// Description.txt is the header with CRLF line ends and one empty line.
std::string ReadDescription(const std::wstring& folder)
{
    std::string text = ReadFileBytes(folder + L"\\Description.txt");
    EXPECT_GE(text.size(), 4u);
    EXPECT_EQ("\r\n\r\n", text.substr(text.size() - 4));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
    return text;
}

std::string ThreadLine(const std::string& log, const char* mode)
{
    std::string marker = std::string("crashtest ") + mode + " thread ";
    size_t at = log.find(marker);
    if (at == std::string::npos)
        return "(no thread logged)";
    size_t end = log.find('\r', at);
    return "Crashing thread id: " + log.substr(at + marker.size(), end - at - marker.size()) + "\r\n";
}

class SavedLauncherGpu {
  public:
    SavedLauncherGpu() : value_(ReadSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", kAbsent)) {}
    ~SavedLauncherGpu()
    {
        if (value_ == kAbsent)
            DeleteSetting(L"LauncherGPU");
        else
            WriteSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", value_);
    }

  private:
    static constexpr DWORD kAbsent = 0xFFFF1234;
    DWORD value_;
};

} // namespace

TEST(CrashReport, AccessViolationWritesTheFolderAndStartsFaultCourierQuoted)
{
    TempDir dir;
    // A blank in the tools folder, as below a user name "John Smith".
    const std::wstring tools = dir / L"John Smith\\Tools";
    CrashLayout layout(tools, tools, true);
    ASSERT_TRUE(layout.ok());
    SavedLauncherGpu savedGpu;
    WriteSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", 1);

    CrashRun run = layout.Run(L"access");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    ASSERT_EQ(2u, run.uploaderArgs.size()) << "FaultCourier's path split at the blank";
    EXPECT_TRUE(SameFolder(tools, run.uploaderFolder)) << ConvertToUtf8(run.uploaderFolder);
    ExpectCrashFolderName(run.crashFolder);

    const std::string log = LauncherLog();
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(Holds(description, "Crash type: Crash\r\nCrash reason: GPF\r\n"));
    EXPECT_TRUE(Holds(description, ThreadLine(log, "access")));
    EXPECT_EQ(std::string::npos, description.find("Last windows error"));

    std::string logCopy = ReadFileBytes(run.crashFolder + L"\\Launcher.log");
    EXPECT_NE(std::string::npos, logCopy.find("crashtest access thread")) << logCopy;
    EXPECT_NE(std::string::npos, logCopy.find("GPF\r\n"));
    EXPECT_EQ(0u, ReadFileBytes(run.crashFolder + L"\\QX.dmp").rfind("MDMP", 0));
    EXPECT_EQ(std::string::npos, log.find("No dbgHelp")) << log;
    EXPECT_EQ(0u, ReadSettingDword(SCOPE_LAUNCHER, L"LauncherGPU", 7));
}

TEST(CrashReport, StackOverflowIsReportedFromAFreshThread)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"stack");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    ExpectCrashFolderName(run.crashFolder);
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(Holds(description, "Crash reason: Stack Overflow\r\n"));
    EXPECT_TRUE(Holds(description, ThreadLine(LauncherLog(), "stack")));
    EXPECT_EQ(0u, ReadFileBytes(run.crashFolder + L"\\QX.dmp").rfind("MDMP", 0));
    EXPECT_TRUE(FileExists(run.crashFolder + L"\\Launcher.log"));
}

TEST(CrashReport, AssertionReportsOnceAndTheProgramGoesOn)
{
    // Run from a build tree's Code\Tools: FaultCourier and the debug-help
    // library come from the tree's Tools folder.
    TempDir dir;
    CrashLayout layout(dir / L"Build\\Code\\Tools", dir / L"Build\\Tools", true);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"assert");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(0, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    EXPECT_TRUE(SameFolder(dir / L"Build\\Tools", run.uploaderFolder)) << ConvertToUtf8(run.uploaderFolder);
    ExpectCrashFolderName(run.crashFolder);

    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(
        Holds(description, "Crash reason: Assert: (count == 1) in Assertions [crashtest.cpp:42]\r\n"));
    EXPECT_TRUE(Holds(description, "Last windows error: "));
    EXPECT_TRUE(Holds(description, "Last standard library error: "));
    // An assertion has no exception to dump, but the dump is still written.
    EXPECT_EQ(0u, ReadFileBytes(run.crashFolder + L"\\QX.dmp").rfind("MDMP", 0));

    const std::string log = LauncherLog();
    EXPECT_NE(std::string::npos, log.find("Assert: (count == 1)"));
    EXPECT_EQ(std::string::npos, log.find("Assert: (second)")) << "a second report";
    EXPECT_NE(std::string::npos, log.find("crashtest asserts returned 0 0"));
}

TEST(CrashReport, PureCallIsReportedBeforeTheProcessEnds)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"purecall");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_ABORTED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(
        Holds(description, "Crash reason: Assert: (Pure virtual function call) in PureCallHandler ["));
    EXPECT_TRUE(Holds(description, ":839]\r\n"));
}

TEST(CrashReport, WithoutDebugHelpTheReportHasNoDumpButStillGoesOut)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), false);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"access");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    EXPECT_TRUE(FileExists(run.crashFolder + L"\\Description.txt"));
    EXPECT_TRUE(FileExists(run.crashFolder + L"\\Launcher.log"));
    EXPECT_FALSE(FileExists(run.crashFolder + L"\\QX.dmp"));
    const std::string log = LauncherLog();
    EXPECT_NE(std::string::npos, log.find("Failed to load dbghelp.dll from ")) << log;
    EXPECT_NE(std::string::npos, log.find("Windows\\x64\\dbghelp.dll (0x0000007E)")) << log;
    EXPECT_NE(std::string::npos, log.find("No dbgHelp for writing MiniDump\r\n")) << log;
}

TEST(CrashReport, AnExistingFolderForTheSecondIsNeverWrittenInto)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());

    // Folders for the next seconds exist already, as after a crash in the
    // same second.
    const std::wstring root = std::wstring(GetLocalDataFolder()) + L"\\Crashes\\";
    CreateDirectoryW(root.c_str(), nullptr);
    CrashFolderCleanup taken;
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME start;
    SystemTimeToFileTime(&now, &start);
    for (int second = 0; second < 30; ++second) {
        ULARGE_INTEGER at = {{start.dwLowDateTime, start.dwHighDateTime}};
        at.QuadPart += static_cast<ULONGLONG>(second) * 10000000ULL;
        FILETIME time = {at.LowPart, at.HighPart};
        SYSTEMTIME local;
        FileTimeToSystemTime(&time, &local);
        wchar_t name[32];
        FormatString(name, 32, L"%04d.%02d.%02d.%02d.%02d.%02d", local.wYear, local.wMonth, local.wDay,
                     local.wHour, local.wMinute, local.wSecond);
        std::wstring folder = root + name;
        if (CreateDirectoryW(folder.c_str(), nullptr))
            taken.folders.push_back(folder);
    }

    CrashRun run = layout.Run(L"access", 2000);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    EXPECT_FALSE(run.uploaderStarted);
    const std::string log = LauncherLog();
    EXPECT_NE(std::string::npos, log.find(" already exists!\r\n")) << log;
    ASSERT_FALSE(taken.folders.empty());
    for (const std::wstring& folder : taken.folders)
        EXPECT_FALSE(FileExists(folder + L"\\Description.txt"));
}

TEST(CrashReport, UncaughtExceptionAndAbortAreReportedAsCxxExceptions)
{
    // Without the debug-help library: the dump is not what is looked at here.
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), false);
    ASSERT_TRUE(layout.ok());

    for (const wchar_t* mode : {L"throw", L"abort"}) {
        SCOPED_TRACE(ConvertToUtf8(mode));
        CrashRun run = layout.Run(mode);
        {
            CrashFolderCleanup cleanup(run.crashFolder);
            EXPECT_EQ(EXIT_CRASHED, run.exitCode);
            ASSERT_TRUE(run.uploaderStarted);
            ExpectCrashFolderName(run.crashFolder);
            std::string description = ReadDescription(run.crashFolder);
            EXPECT_TRUE(Holds(description, "Crash reason: Microsoft C++ Exception\r\n"));
            EXPECT_TRUE(Holds(description, ThreadLine(LauncherLog(), ConvertToUtf8(mode).c_str())));
            EXPECT_TRUE(FileExists(run.crashFolder + L"\\Launcher.log"));
        }
    }
    EXPECT_NE(std::string::npos, LauncherLog().find("abort() called\r\n"));
}

TEST(CrashReport, TwoThreadsFaultingTogetherGiveOneCompleteReport)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());
    const size_t before = CrashFolders().size();

    CrashRun run = layout.Run(L"twothreads");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    EXPECT_EQ(before + 1, CrashFolders().size());
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(Holds(description, "Crash reason: GPF\r\n"));
    EXPECT_EQ(0u, ReadFileBytes(run.crashFolder + L"\\QX.dmp").rfind("MDMP", 0));
    EXPECT_TRUE(FileExists(run.crashFolder + L"\\Launcher.log"));
    EXPECT_EQ(std::string::npos, LauncherLog().find("already exists")) << LauncherLog();
}

TEST(CrashReport, AMinidumpThatCannotBeWrittenInTimeIsLeftOut)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"dumphang");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(Holds(description, "Crash reason: GPF\r\n"));
    EXPECT_TRUE(
        Holds(description, "Minidump: not written, the dump thread did not finish within 2 seconds\r\n"));
    EXPECT_NE(std::string::npos, LauncherLog().find("MiniDump thread did not finish within 2000 ms"));
}

TEST(CrashReport, ASecondCrashWhileTheReportIsStuckStillEndsWithAReport)
{
    // The first thread's report blocks for good: on the heap that the
    // second thread locked before it crashed (heapheld), or in a dump thread
    // that holds the loader lock (loaderheld). The second gives the first
    // report up after the time crashtest sets (3 s) and reports its own
    // crash without waiting on the loader (loaderheld leaves the dump's
    // 120 s limit as it is). With dumpfaultheap the dump thread itself
    // crashes holding the heap: it waits as a second crashing thread would
    // and then writes the report it served, that of the main thread.
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());

    struct StuckCase {
        const wchar_t* mode;
        const char* marker; // whose thread id the report names
        const char* extra;  // a further line of the report, or null
    };
    for (const StuckCase& stuck :
         {StuckCase{L"heapheld", "heap holder", nullptr}, StuckCase{L"loaderheld", "second fault", nullptr},
          StuckCase{L"dumpfaultheap", "dumpfaultheap",
                    "Minidump: not written, the dump writer failed (GPF)\r\n"}}) {
        const wchar_t* mode = stuck.mode;
        const char* marker = stuck.marker;
        SCOPED_TRACE(marker);
        const std::vector<std::wstring> before = CrashFolders();
        CrashRun run = layout.Run(mode, 10000, 60000);
        CrashFolderCleanup cleanup = CrashFolderCleanup::NewSince(before);
        EXPECT_EQ(EXIT_CRASHED, run.exitCode) << "the process did not end";
        ASSERT_TRUE(run.uploaderStarted);
        ExpectCrashFolderName(run.crashFolder);
        std::string description = ReadDescription(run.crashFolder);
        EXPECT_TRUE(Holds(description, "Crash reason: GPF\r\n"));
        EXPECT_TRUE(Holds(description, ThreadLine(LauncherLog(), marker)));
        EXPECT_TRUE(
            Holds(description, "Crash report: an earlier report did not finish within 3 seconds\r\n"));
        if (stuck.extra) {
            EXPECT_TRUE(Holds(description, stuck.extra));
        }
        EXPECT_TRUE(FileExists(run.crashFolder + L"\\Launcher.log"));
        EXPECT_FALSE(FileExists(run.crashFolder + L"\\QX.dmp"));
    }
}

TEST(CrashReport, ATakenOverReportIsTheOnlyOneThatGoesOut)
{
    // The main thread's report waits for its dump while a second thread
    // crashes, takes the report over after 3 s and writes its own; only then
    // does the dump fail. The first report must stop where it is: its
    // folder keeps what it had written, the second report's folder only
    // the second report's files, and FaultCourier starts once.
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());
    const std::vector<std::wstring> before = CrashFolders();

    // A second start is waited for (3 s), so that one would be seen.
    CrashRun run = layout.Run(L"lateowner", 3000, 60000, 2);
    CrashFolderCleanup cleanup = CrashFolderCleanup::NewSince(before);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_EQ(1u, run.startedFolders.size());
    ASSERT_EQ(2u, cleanup.folders.size());
    const std::wstring& taken = run.startedFolders[0];
    ExpectCrashFolderName(taken);
    const std::string log = LauncherLog();
    std::string description = ReadDescription(taken);
    EXPECT_TRUE(Holds(description, "Crash reason: GPF\r\n"));
    EXPECT_TRUE(Holds(description, ThreadLine(log, "taker")));
    EXPECT_TRUE(Holds(description, "Crash report: an earlier report did not finish within 3 seconds\r\n"));
    EXPECT_EQ(std::string::npos, description.find("Minidump:")) << description;
    EXPECT_TRUE(FileExists(taken + L"\\Launcher.log"));
    EXPECT_FALSE(FileExists(taken + L"\\QX.dmp"));

    const std::wstring& first =
        SameFolder(cleanup.folders[0], taken) ? cleanup.folders[1] : cleanup.folders[0];
    std::string firstDescription = ReadDescription(first);
    EXPECT_TRUE(Holds(firstDescription, "Crash reason: GPF\r\n"));
    EXPECT_EQ(std::string::npos, firstDescription.find(ThreadLine(log, "taker"))) << firstDescription;
    EXPECT_FALSE(FileExists(first + L"\\QX.dmp"));
    // Nothing was written beside the folders.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(GetLocalDataFolder()) + L"\\Crashes*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    std::vector<std::wstring> names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(std::vector<std::wstring>{L"Crashes"}, names);
}

TEST(CrashReport, ACrashOnTheIdOfAFaultedDumpWriterIsReported)
{
    // An assertion report's dump writer crashes; later a thread that the
    // system gives the writer's id crashes too, and is reported as any
    // other crash.
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());
    const std::vector<std::wstring> before = CrashFolders();

    CrashRun run = layout.Run(L"writerid", 10000, 120000, 2);
    CrashFolderCleanup cleanup = CrashFolderCleanup::NewSince(before);
    const std::string log = LauncherLog();
    ASSERT_EQ(std::string::npos, log.find("crashtest no thread was given id")) << "no id was given again";
    EXPECT_EQ(EXIT_CRASHED, run.exitCode) << log;
    ASSERT_EQ(2u, run.startedFolders.size());

    std::string assertion = ReadDescription(run.startedFolders[0]);
    EXPECT_TRUE(Holds(assertion, "Crash reason: Assert: (writer faults) in FaultOnTheIdOfAFaultedWriter "
                                 "[crashtest.cpp:11]\r\n"));
    EXPECT_TRUE(Holds(assertion, "Minidump: not written, the dump writer failed (GPF)\r\n"));

    std::string crash = ReadDescription(run.startedFolders[1]);
    EXPECT_TRUE(Holds(crash, "Crash reason: GPF\r\n"));
    EXPECT_EQ(ThreadLine(log, "faulted writer"), ThreadLine(log, "reused id"));
    EXPECT_TRUE(Holds(crash, ThreadLine(log, "reused id")));
    EXPECT_EQ(0u, ReadFileBytes(run.startedFolders[1] + L"\\QX.dmp").rfind("MDMP", 0)) << crash;
}

TEST(CrashReport, AStackOverflowHoldingTheHeapStillEndsTheProcess)
{
    // The thread that would write the report cannot start while the
    // overflowing thread holds the heap; crashtest bounds the wait to 3 s.
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());
    const std::vector<std::wstring> before = CrashFolders();

    CrashRun run = layout.Run(L"stackheap", 2000, 60000);
    CrashFolderCleanup cleanup = CrashFolderCleanup::NewSince(before);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode) << "the process did not end";
}

TEST(CrashReport, APureCallWaitsForTheReportOfAnotherThread)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"purecallduring");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_ABORTED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted) << "the report was cut off";
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(Holds(description,
                      "Crash reason: Assert: (slow report) in AssertWithSlowDump [crashtest.cpp:9]\r\n"));
    EXPECT_TRUE(Holds(description, ThreadLine(LauncherLog(), "reporting")));
    EXPECT_EQ("MDMP", ReadFileBytes(run.crashFolder + L"\\QX.dmp"));
}

TEST(CrashReport, AFaultInTheDumpWriterEndsOnlyTheDumpThread)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"dumpfault");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(Holds(description, "Crash reason: GPF\r\n"));
    EXPECT_TRUE(Holds(description, ThreadLine(LauncherLog(), "dumpfault")));
    EXPECT_TRUE(Holds(description, "Minidump: not written, the dump writer failed (GPF)\r\n"));
    EXPECT_EQ(std::string::npos, description.find("did not finish")) << description;
    EXPECT_FALSE(FileExists(run.crashFolder + L"\\QX.dmp"));
    EXPECT_TRUE(FileExists(run.crashFolder + L"\\Launcher.log"));
}

TEST(CrashReport, AnExceptionLeavingASecondaryThreadIsReportedWithItsText)
{
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), false);
    ASSERT_TRUE(layout.ok());

    CrashRun run = layout.Run(L"threadthrow");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(EXIT_CRASHED, run.exitCode);
    ASSERT_TRUE(run.uploaderStarted);
    std::string description = ReadDescription(run.crashFolder);
    EXPECT_TRUE(Holds(description, "Crash reason: Microsoft C++ Exception\r\n"));
    EXPECT_TRUE(Holds(description, ThreadLine(LauncherLog(), "thrower")));
    EXPECT_TRUE(Holds(description, "Uncaught exception: crashtest thread uncaught\r\n"));
}

TEST(CrashReport, AStalledMinidumpDoesNotKeepTheFolder)
{
    // The dump thread blocks with QX.dmp open; the assertion report goes out
    // without it, and the stand-in, which deletes the folder as FaultCourier
    // does, can remove it while the program still runs.
    TempDir dir;
    CrashLayout layout(dir.path(), dir.path(), true);
    ASSERT_TRUE(layout.ok());
    ASSERT_TRUE(testing_support::WriteFileBytes(layout.tools() + L"\\faultcourier_delete", ""));

    CrashRun run = layout.Run(L"dumpstall");
    CrashFolderCleanup cleanup(run.crashFolder);
    EXPECT_EQ(0, run.exitCode) << "the crash folder could not be deleted";
    ASSERT_TRUE(run.uploaderStarted);
    EXPECT_NE(std::string::npos, run.crashFiles.find("Description.txt;")) << run.crashFiles;
    EXPECT_NE(std::string::npos, run.crashFiles.find("Launcher.log;")) << run.crashFiles;
    EXPECT_EQ(std::string::npos, run.crashFiles.find("QX.dmp")) << run.crashFiles;
    EXPECT_FALSE(FileExists(run.crashFolder));
    EXPECT_FALSE(FileExists(run.crashFolder + L".partial.dmp"));
    EXPECT_NE(std::string::npos, LauncherLog().find("MiniDump thread did not finish within 2000 ms"));
}
