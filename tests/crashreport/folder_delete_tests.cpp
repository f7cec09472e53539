// Removal of the crash folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "error_output.h"
#include "folder_delete.h"
#include "test_support.h"

using testing_support::FileExists;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

TEST(CrashFolderCheck, OnlyCrashFilesMakeACrashFolder)
{
    for (const wchar_t* name : {L"Description.txt", L"DESCRIPTION.TXT", L"Launcher.log", L"QX.dmp", L"QX.DMP",
                                L"QX.cfg", L"Editor.cfg", L"dxdiag.txt", L".log"})
        EXPECT_TRUE(IsCrashFileName(name)) << testing::PrintToString(std::wstring(name));
    for (const wchar_t* name :
         {L"photo.jpg", L"desktop.ini", L"Description.txt.bak", L"notes.txt", L"QX.dmp.tmp", L"log", L"QX"})
        EXPECT_FALSE(IsCrashFileName(name)) << testing::PrintToString(std::wstring(name));

    TempDir dir;
    std::wstring crash = dir / L"2031.05.07.21.04.09";
    ASSERT_TRUE(CreateDirectoryW(crash.c_str(), nullptr));
    for (const wchar_t* name : {L"Description.txt", L"Launcher.log", L"QX.dmp", L"QX.cfg", L"dxdiag.txt"})
        ASSERT_TRUE(WriteFileBytes(crash + L"\\" + name, "x"));
    EXPECT_EQ(CheckCrashFolder(crash).verdict, CrashFolderVerdict::CRASH_FOLDER);
    // Named in other letter case, or by its short name, it is the same
    // folder, not one reached through a link.
    std::wstring upper = crash;
    CharUpperW(upper.data());
    EXPECT_EQ(CheckCrashFolder(upper).verdict, CrashFolderVerdict::CRASH_FOLDER);
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(crash.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortName), crash);
    EXPECT_EQ(CheckCrashFolder(shortName).verdict, CrashFolderVerdict::CRASH_FOLDER);

    // A link to a folder inside is never followed: the folder is kept.
    std::wstring outside = dir / L"outside";
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\keep.txt", "precious"));
    ASSERT_TRUE(testing_support::MakeLink(crash, L"link", L"..\\outside", true));
    CrashFolderCheck check = CheckCrashFolder(crash);
    EXPECT_EQ(check.verdict, CrashFolderVerdict::HOLDS_FOLDER);
    EXPECT_EQ(check.entry, L"link");
    EXPECT_FALSE(DeleteCrashFolder(crash));
    EXPECT_EQ(testing_support::ReadFileBytes(outside + L"\\keep.txt"), "precious");
    EXPECT_TRUE(FileExists(crash + L"\\QX.dmp"));
}

TEST(CrashFolderCheck, RootsAreNeverCrashFolders)
{
    for (const wchar_t* root :
         {L"C:\\", L"C:", L"c:/", L"\\\\server\\share", L"\\\\server\\share\\", L"\\\\?\\C:\\",
          L"\\\\?\\UNC\\server\\share", L"\\\\.\\D:",
          L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}\\", L"\\\\.\\UNC\\server\\share",
          L"\\\\.\\unc\\server\\share\\", L"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share",
          L"\\\\.\\globalroot\\device\\mup\\server\\share\\",
          L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume2\\"})
        EXPECT_TRUE(IsRootPath(root)) << testing::PrintToString(std::wstring(root));
    for (const wchar_t* path :
         {L"C:\\Users", L"C:\\Users\\", L"\\\\server\\share\\crash", L"\\\\?\\C:\\crash",
          L"\\\\?\\UNC\\server\\share\\crash", L"\\\\.\\UNC\\server\\share\\crash",
          L"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\crash\\",
          L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume2\\crash"})
        EXPECT_FALSE(IsRootPath(path)) << testing::PrintToString(std::wstring(path));

    // The folder as given: made a full path first.
    EXPECT_EQ(CheckCrashFolder(L"C:\\").verdict, CrashFolderVerdict::ROOT);
    EXPECT_EQ(CheckCrashFolder(L"C:\\windows\\..").verdict, CrashFolderVerdict::ROOT);
    EXPECT_EQ(CheckCrashFolder(L"\\\\.\\UNC\\server\\share").verdict, CrashFolderVerdict::ROOT);
    EXPECT_EQ(CheckCrashFolder(L"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\").verdict,
              CrashFolderVerdict::ROOT);
    EXPECT_EQ(KeptFolderLine(CheckCrashFolder(L"C:\\")),
              "Error: Folder kept: it is the root of a drive or share, not a crash folder\n");
}

namespace {

std::string ErrorText;

void CaptureError(const char* text)
{
    ErrorText += text;
}

// What the running case does to the folder after its check.
void (*ChangeFolder)(const std::wstring& folder) = nullptr;

void RunChange(const std::wstring& folder)
{
    ChangeFolder(folder);
}

// Under Wine, renames the entry from of parent to to with the system's own
// mv, which knows nothing of Windows sharing; false elsewhere. Such a
// process cannot be waited on, so its outcome is (bounded).
bool MoveAsUnixPeer(const std::wstring& parent, const std::wstring& from, const std::wstring& to)
{
    std::wstring command = L"Z:\\bin\\mv " + from + L" " + to;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, parent.c_str(),
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 100 && !FileExists(parent + L"\\" + to); ++i)
        Sleep(50);
    return FileExists(parent + L"\\" + to);
}

} // namespace

// What comes into a checked crash folder, or takes the place of what was
// checked, before the deletion was never checked: it stays, and so does the
// folder, with a line saying why.
TEST(DeleteCrashFolder, DeletesOnlyWhatItChecked)
{
    struct Case {
        const char* what;
        void (*change)(const std::wstring& folder);
        const wchar_t* kept; // made by the change, holding "mine"
        std::string line;
    };
    const std::string added = "Error: Folder kept: entries were added to it after it was checked\n";
    const Case cases[] = {
        {"a photo", [](const std::wstring& f) { WriteFileBytes(f + L"\\holiday.jpg", "mine"); },
         L"holiday.jpg", added},
        {"a crash file", [](const std::wstring& f) { WriteFileBytes(f + L"\\late.log", "mine"); },
         L"late.log", added},
        {"a subfolder",
         [](const std::wstring& f) {
             CreateDirectoryW((f + L"\\Saved Games").c_str(), nullptr);
             WriteFileBytes(f + L"\\Saved Games\\slot1.sav", "mine");
         },
         L"Saved Games\\slot1.sav", added},
        {"a folder in place of a checked file",
         [](const std::wstring& f) {
             DeleteFileW((f + L"\\QX.dmp").c_str());
             CreateDirectoryW((f + L"\\QX.dmp").c_str(), nullptr);
             WriteFileBytes(f + L"\\QX.dmp\\slot1.sav", "mine");
         },
         L"QX.dmp\\slot1.sav",
         "Error: Folder kept: it holds the folder \"QX.dmp\", so it is not a crash folder\n"},
        // Opened, a link may be what it leads to (under Wine): the folder's
        // listing still tells.
        {"a link in place of a checked file",
         [](const std::wstring& f) {
             DeleteFileW((f + L"\\QX.dmp").c_str());
             WriteFileBytes(f.substr(0, f.rfind(L'\\')) + L"\\outside.txt", "mine");
             testing_support::MakeLink(f, L"QX.dmp", L"..\\outside.txt", false);
         },
         L"QX.dmp", "Error: Folder kept: \"QX.dmp\" in it leads to another place\n"},
        {"a checked file that cannot be deleted",
         [](const std::wstring& f) {
             WriteFileBytes(f + L"\\QX.dmp", "mine");
             SetFileAttributesW((f + L"\\QX.dmp").c_str(), FILE_ATTRIBUTE_READONLY);
         },
         L"QX.dmp", "Error: Folder kept: \"QX.dmp\" could not be deleted. Error code: 5\n"},
    };
    struct Restore {
        ~Restore()
        {
            SetFolderCheckedHook(nullptr);
            SetErrorSink(nullptr);
        }
    } restore;
    SetErrorSink(CaptureError);
    SetFolderCheckedHook(RunChange);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::wstring crash = dir / L"2031.05.07.21.04.09";
        ASSERT_TRUE(CreateDirectoryW(crash.c_str(), nullptr));
        for (const wchar_t* name : {L"Description.txt", L"Launcher.log", L"QX.dmp"})
            ASSERT_TRUE(WriteFileBytes(crash + L"\\" + name, "x"));
        ErrorText.clear();
        ChangeFolder = c.change;
        EXPECT_FALSE(DeleteCrashFolder(crash));
        EXPECT_EQ(ErrorText, c.line);
        EXPECT_EQ(testing_support::ReadFileBytes(crash + L"\\" + c.kept), "mine");
    }

    // Another folder moved into the checked one's place loses nothing. The
    // checked folder is moved away as a peer that does not honour the
    // sharing of an open folder would (another client of a network share):
    // with MoveFileW where the system lets it, else with the system's own mv
    // beneath Wine.
    TempDir dir;
    std::wstring crash = dir / L"2031.05.07.21.04.09";
    ASSERT_TRUE(CreateDirectoryW(crash.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((dir / L"Documents").c_str(), nullptr));
    for (const wchar_t* name : {L"Description.txt", L"Launcher.log"}) {
        ASSERT_TRUE(WriteFileBytes(crash + L"\\" + name, "x"));
        ASSERT_TRUE(WriteFileBytes(dir / L"Documents\\" + name, "mine"));
    }
    static bool moved;
    moved = false;
    ChangeFolder = [](const std::wstring& f) {
        size_t slash = f.rfind(L'\\');
        moved = (MoveFileW(f.c_str(), (f + L".old").c_str()) ||
                 MoveAsUnixPeer(f.substr(0, slash), f.substr(slash + 1), f.substr(slash + 1) + L".old")) &&
                MoveFileW((f.substr(0, slash) + L"\\Documents").c_str(), f.c_str());
    };
    ErrorText.clear();
    bool deleted = DeleteCrashFolder(crash);
    std::wstring documents = moved ? crash : dir / L"Documents";
    for (const wchar_t* name : {L"Description.txt", L"Launcher.log"})
        EXPECT_EQ(testing_support::ReadFileBytes(documents + L"\\" + name), "mine");
    EXPECT_EQ(deleted, !moved);
    EXPECT_EQ(ErrorText,
              moved ? "Error: Folder kept: another folder took its place after it was checked\n" : "");
}

// The folders above the checked one are not looked up again: a parent turned
// into a link to another folder, just before a checked file is deleted,
// leads to nothing that is deleted. Whatever of the checked folder could not
// be deleted keeps it, with a line saying why.
TEST(DeleteCrashFolder, AParentTurnedIntoALinkLeadsNowhere)
{
    struct Restore {
        ~Restore()
        {
            SetEntryCheckedHook(nullptr);
            SetErrorSink(nullptr);
        }
    } restore;
    static TempDir* dir;
    TempDir temp;
    dir = &temp;
    const wchar_t* const names[] = {L"Description.txt", L"Launcher.log", L"QX.dmp"};
    std::wstring crash = temp / L"Crashes\\2031.05.07.21.04.09";
    std::wstring other = temp / L"Documents\\2031.05.07.21.04.09";
    for (const std::wstring& folder : {temp / L"Crashes", crash, temp / L"Documents", other})
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (const wchar_t* name : names) {
        ASSERT_TRUE(WriteFileBytes(crash + L"\\" + name, "x"));
        ASSERT_TRUE(WriteFileBytes(other + L"\\" + name, "mine"));
    }
    static bool linked;
    linked = false;
    SetEntryCheckedHook([](const std::wstring&, const std::wstring&) {
        if (linked)
            return;
        linked = (MoveFileW((*dir / L"Crashes").c_str(), (*dir / L"Crashes.old").c_str()) ||
                  MoveAsUnixPeer(dir->path(), L"Crashes", L"Crashes.old")) &&
                 testing_support::MakeLink(dir->path(), L"Crashes", L"Documents", true);
    });
    SetErrorSink(CaptureError);
    ErrorText.clear();
    bool deleted = DeleteCrashFolder(crash);
    ASSERT_TRUE(linked);
    for (const wchar_t* name : names)
        EXPECT_EQ(testing_support::ReadFileBytes(other + L"\\" + name), "mine")
            << testing::PrintToString(std::wstring(name));
    bool kept =
        GetFileAttributesW((temp / L"Crashes.old\\2031.05.07.21.04.09").c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(deleted, !kept);
    if (kept) {
        EXPECT_EQ(ErrorText.rfind("Error: Folder kept: ", 0), 0u) << ErrorText;
        EXPECT_EQ(std::count(ErrorText.begin(), ErrorText.end(), '\n'), 1) << ErrorText;
    } else {
        EXPECT_EQ(ErrorText, "");
    }
    EXPECT_TRUE(testing_support::RemoveLink(temp.path(), L"Crashes"));
}
