#include "app_folders.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::wstring ToolsFor(const wchar_t* module)
{
    wchar_t folder[MAX_PATH] = {};
    ToolsFolderForModule(folder, module);
    return folder;
}

} // namespace

TEST(ToolsFolder, BuildTreeCodeToolsUsesTheTreesToolsFolder)
{
    EXPECT_EQ(L"X:\\Build\\Tools\\", ToolsFor(L"X:\\Build\\Code\\Tools\\Launcher.exe"));
    EXPECT_EQ(L"D:\\Game\\Tools\\", ToolsFor(L"D:\\Game\\Tools\\Launcher.exe"));
    // Only a first occurrence that ends the folder counts.
    EXPECT_EQ(L"X:\\Code\\Tools\\Sub\\", ToolsFor(L"X:\\Code\\Tools\\Sub\\Launcher.exe"));
    EXPECT_EQ(L"X:\\Code\\Tools\\Code\\Tools\\", ToolsFor(L"X:\\Code\\Tools\\Code\\Tools\\Launcher.exe"));
    EXPECT_EQ(L"X:\\Code\\ToolsX\\", ToolsFor(L"X:\\Code\\ToolsX\\Launcher.exe"));
}

TEST(ToolsFolder, IsTheRunningExecutablesFolder)
{
    std::wstring expected = testing_support::ExecutableFolder() + L"\\";
    wchar_t longPath[MAX_PATH] = {};
    if (GetLongPathNameW(expected.c_str(), longPath, MAX_PATH))
        expected = longPath;
    EXPECT_EQ(0, _wcsicmp(expected.c_str(), GetToolsFolder()));
}

TEST(LocalDataFolder, IsTheProductFolderAndExists)
{
    std::wstring folder = GetLocalDataFolder();
    ASSERT_GT(folder.size(), 9u);
    EXPECT_EQ(L"\\Vantorel", folder.substr(folder.size() - 9));
    DWORD attributes = GetFileAttributesW(folder.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
