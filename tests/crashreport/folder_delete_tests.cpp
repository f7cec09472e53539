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

TEST(DeleteDirectoryTree, LinksAreRemovedNotFollowed)
{
    TempDir dir;
    std::wstring outside = dir / L"outside";
    std::wstring crash = dir / L"crash";
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(outside + L"\\keep.txt", "precious"));
    ASSERT_TRUE(CreateDirectoryW(crash.c_str(), nullptr));
    ASSERT_TRUE(CreateSymbolicLinkW((crash + L"\\link").c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        << GetLastError();
    ASSERT_TRUE(CreateSymbolicLinkW((crash + L"\\file.log").c_str(), (outside + L"\\keep.txt").c_str(), 0))
        << GetLastError();
    ASSERT_NE(GetFileAttributesW((crash + L"\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    DeleteDirectoryTree(crash);
    EXPECT_TRUE(FileExists(outside + L"\\keep.txt"));
    EXPECT_EQ(GetFileAttributesW(crash.c_str()), INVALID_FILE_ATTRIBUTES);

    // A crash folder that is itself a link: only the link goes.
    ASSERT_TRUE(CreateSymbolicLinkW(crash.c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY));
    DeleteDirectoryTree(crash);
    EXPECT_TRUE(FileExists(outside + L"\\keep.txt"));
}
