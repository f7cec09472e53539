// Installing the browser runtime's staged ".cpy" files.
#include "localization.h"
#include "staged_files.h"
#include "step_error.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

TEST(BrowserRuntimeFolderTest, BesideTheExecutableOrInTheToolsFolderOfABuildTree)
{
    EXPECT_EQ(BrowserRuntimeFolderFor(L"D:\\Game\\Tools\\Launcher.exe"), L"D:\\Game\\Tools\\CEF3_1\\");
    EXPECT_EQ(BrowserRuntimeFolderFor(L"X:\\Build\\Code\\Tools\\Launcher.exe"),
              L"X:\\Build\\Tools\\CEF3_1\\");
}

class StagedFilesTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        SetStepError(L"", false);
        root_ = dir_.path() + L"\\";
        CreateDirectoryW((root_ + L"V5").c_str(), nullptr);
    }
    TempDir dir_;
    std::wstring root_;
};

TEST_F(StagedFilesTest, StagedFilesReplaceTheirTargetsAnywhereBelow)
{
    steps_test::LogCapture log;
    ASSERT_TRUE(WriteFileBytes(root_ + L"V5\\libcef.dll", "old"));
    ASSERT_TRUE(WriteFileBytes(root_ + L"V5\\libcef.dll.cpy", "new"));
    ASSERT_TRUE(WriteFileBytes(root_ + L"launcher.zip.cpy.1", "zip"));
    EXPECT_EQ(InstallStagedFilesIn(root_), 2);
    EXPECT_EQ(ReadFileBytes(root_ + L"V5\\libcef.dll"), "new");
    EXPECT_FALSE(FileExists(root_ + L"V5\\libcef.dll.cpy"));
    EXPECT_EQ(ReadFileBytes(root_ + L"launcher.zip"), "zip");
    std::string text = log.Text();
    std::wstring target = root_ + L"V5\\libcef.dll";
    EXPECT_NE(text.find("Installed staged file " + std::string(target.begin(), target.end()) + "\r\n"),
              std::string::npos);
    std::wstring error;
    bool fatal = true;
    GetStepError(error, fatal);
    EXPECT_EQ(error, L"");
}

TEST_F(StagedFilesTest, HiddenSystemFolderAndLinkedEntriesAreLeftAlone)
{
    std::wstring hidden = root_ + L"a.dll.cpy";
    std::wstring system = root_ + L"b.dll.cpy";
    ASSERT_TRUE(WriteFileBytes(hidden, "h"));
    ASSERT_TRUE(WriteFileBytes(system, "s"));
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(CreateDirectoryW((root_ + L"c.cpy").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(root_ + L".cpy", "nameless"));
    // A link to a folder elsewhere is not followed.
    TempDir outside;
    ASSERT_TRUE(WriteFileBytes(outside / L"d.dll.cpy", "elsewhere"));
    const std::wstring outsideName = outside.path().substr(outside.path().rfind(L'\\') + 1);
    ASSERT_TRUE(testing_support::MakeLink(dir_.path(), L"linked", L"..\\" + outsideName, true));
    EXPECT_EQ(InstallStagedFilesIn(root_), 0);
    EXPECT_TRUE(FileExists(outside / L"d.dll.cpy"));
    EXPECT_FALSE(FileExists(outside / L"d.dll"));
    EXPECT_FALSE(FileExists(root_ + L"a.dll"));
    EXPECT_FALSE(FileExists(root_ + L"b.dll"));
    EXPECT_TRUE(GetFileAttributesW((root_ + L"c.cpy").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FileExists(root_ + L"c"));
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(system.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StagedFilesTest, FirstFailureStopsTheInstallationWithAFatalError)
{
    // A target that is a non-empty folder cannot be replaced by a file.
    ASSERT_TRUE(CreateDirectoryW((root_ + L"V5\\a.dll").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(root_ + L"V5\\a.dll\\inside", "x"));
    ASSERT_TRUE(WriteFileBytes(root_ + L"V5\\a.dll.cpy", "new a"));
    ASSERT_TRUE(WriteFileBytes(root_ + L"V5\\b.dll.cpy", "new b"));
    ASSERT_TRUE(WriteFileBytes(root_ + L"V5\\c.dll.cpy", "new c"));
    steps_test::LogCapture log;
    int installed = InstallStagedFilesIn(root_);
    // Building the main chain clears the StepError, so the log keeps it.
    std::wstring failed = root_ + L"V5\\a.dll";
    EXPECT_NE(
        log.Text().find("Could not install staged file " + std::string(failed.begin(), failed.end()) + ": "),
        std::string::npos);

    std::wstring error;
    bool fatal = false;
    GetStepError(error, fatal);
    EXPECT_TRUE(fatal);
    EXPECT_EQ(error.rfind(steps_test::Text("FailedFileUpdate") + L"\n" + root_ + L"V5\\a.dll\n\n", 0), 0u)
        << std::string(error.begin(), error.end());
    EXPECT_EQ(error.back(), L']');
    EXPECT_TRUE(FileExists(root_ + L"V5\\a.dll.cpy"));
    // Folders are listed in name order, so the failing entry comes first and
    // the two after it stay staged.
    EXPECT_EQ(installed, 0);
    EXPECT_TRUE(FileExists(root_ + L"V5\\b.dll.cpy"));
    EXPECT_TRUE(FileExists(root_ + L"V5\\c.dll.cpy"));
}

} // namespace
