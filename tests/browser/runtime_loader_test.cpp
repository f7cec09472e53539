// Loading the browser runtime: without its libraries the launcher logs why
// and runs without the browser.
#include "browser_runtime.h"
#include "launcher.h"
#include "log_capture.h"
#include "runtime_loader.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

using testing_support::LogCapture;
using testing_support::TempDir;

TEST(RuntimeLoaderTest, MissingLibrariesTurnTheBrowserOff)
{
    TempDir folder;
    std::wstring runtime = folder.path() + L"\\";
    {
        // No "chrome_elf.dll" is no failure by itself; the missing runtime
        // library is.
        LogCapture log;
        CefEnabled = true;
        CefRootDirectory.clear();
        LoadCEFLibFrom(runtime);
        EXPECT_FALSE(CefEnabled);
        EXPECT_EQ(log.Text(), "LoadCEFLib failed\r\n");
        EXPECT_EQ(CefRootDirectory, runtime);
        EXPECT_EQ(CefLibraryPath, runtime + L"V5\\libcef.dll");
    }
    {
        // A "chrome_elf.dll" that does not load stops before the runtime.
        CreateDirectoryW((runtime + L"V5").c_str(), nullptr);
        ASSERT_TRUE(testing_support::WriteFileBytes(runtime + L"V5\\chrome_elf.dll", "not a library"));
        LogCapture log;
        CefEnabled = true;
        CefRootDirectory.clear();
        CefLibraryPath.clear();
        LoadCEFLibFrom(runtime);
        EXPECT_FALSE(CefEnabled);
        EXPECT_EQ(log.Text(), "Failed to load chrome_elf.dll!");
        EXPECT_EQ(CefRootDirectory, L"");
        EXPECT_EQ(CefLibraryPath, L"");
    }
    {
        // With the browser already off only the first line is written.
        LogCapture log;
        LoadCEFLib();
        EXPECT_EQ(log.Text(), "LoadCEFLib\r\n");
    }
}

} // namespace
