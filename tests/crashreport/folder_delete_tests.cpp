// Removal of the crash folder.
#include <gtest/gtest.h>

#include <windows.h>

#include "folder_delete.h"
#include "test_support.h"

using testing_support::FileExists;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

TEST(DeleteDirectoryTree, RemovesEverythingBelow)
{
    TempDir dir;
    std::wstring crash = dir / L"2031.05.07.21.04.09";
    ASSERT_TRUE(CreateDirectoryW(crash.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((crash + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((crash + L"\\sub\\deeper").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(crash + L"\\Description.txt", "x"));
    ASSERT_TRUE(WriteFileBytes(crash + L"\\sub\\deeper\\a.log", "y"));
    ASSERT_TRUE(WriteFileBytes(crash + L"\\noext", "z"));
    DeleteDirectoryTree(crash);
    EXPECT_EQ(GetFileAttributesW(crash.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DeleteDirectoryTree, ReadOnlyFileStaysWithItsFolders)
{
    TempDir dir;
    std::wstring crash = dir / L"crash";
    ASSERT_TRUE(CreateDirectoryW(crash.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((crash + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(crash + L"\\sub\\locked.txt", "x"));
    ASSERT_TRUE(WriteFileBytes(crash + L"\\free.txt", "x"));
    ASSERT_TRUE(SetFileAttributesW((crash + L"\\sub\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    DeleteDirectoryTree(crash);
    EXPECT_TRUE(FileExists(crash + L"\\sub\\locked.txt"));
    EXPECT_FALSE(FileExists(crash + L"\\free.txt"));
    SetFileAttributesW((crash + L"\\sub\\locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

using testing_support::MakeLink;

TEST(DeleteDirectoryTree, LinksAreNeverFollowed)
{
    TempDir dir;
    std::wstring outside = dir / L"outside";
    std::wstring crash = dir / L"crash";
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\keep.txt", "precious"));
    ASSERT_TRUE(CreateDirectoryW(crash.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(crash + L"\\QX.dmp", "x"));
    ASSERT_TRUE(MakeLink(crash, L"link", L"..\\outside", true));
    ASSERT_TRUE(MakeLink(crash, L"file.log", L"..\\outside\\keep.txt", false));
    DWORD attributes = GetFileAttributesW((crash + L"\\link").c_str());
    ASSERT_EQ(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));

    DeleteDirectoryTree(crash);
    EXPECT_EQ(testing_support::ReadFileBytes(outside + L"\\keep.txt"), "precious");
    EXPECT_FALSE(FileExists(crash + L"\\QX.dmp"));

    // A crash folder that is itself a link: nothing behind it goes.
    std::wstring linked = dir / L"linked";
    ASSERT_TRUE(MakeLink(dir.path(), L"linked", L"outside", true));
    DeleteDirectoryTree(linked);
    EXPECT_EQ(testing_support::ReadFileBytes(outside + L"\\keep.txt"), "precious");
}

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
}

TEST(CrashFolderCheck, RootsAreNeverCrashFolders)
{
    for (const wchar_t* root : {L"C:\\", L"C:", L"c:/", L"\\\\server\\share", L"\\\\server\\share\\",
                                L"\\\\?\\C:\\", L"\\\\?\\UNC\\server\\share", L"\\\\.\\D:",
                                L"\\\\?\\Volume{12345678-1234-1234-1234-123456789abc}\\"})
        EXPECT_TRUE(IsRootPath(root)) << testing::PrintToString(std::wstring(root));
    for (const wchar_t* path : {L"C:\\Users", L"C:\\Users\\", L"\\\\server\\share\\crash",
                                L"\\\\?\\C:\\crash", L"\\\\?\\UNC\\server\\share\\crash"})
        EXPECT_FALSE(IsRootPath(path)) << testing::PrintToString(std::wstring(path));

    // The folder as given: made a full path first.
    EXPECT_EQ(CheckCrashFolder(L"C:\\").verdict, CrashFolderVerdict::ROOT);
    EXPECT_EQ(CheckCrashFolder(L"C:\\windows\\..").verdict, CrashFolderVerdict::ROOT);
    EXPECT_EQ(KeptFolderLine(CheckCrashFolder(L"C:\\")),
              "Error: Folder kept: it is the root of a drive or share, not a crash folder\n");
}
