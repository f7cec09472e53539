// StepError across threads, system error texts and folder creation.
#include "localization.h"
#include "step_error.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using testing_support::TempDir;

namespace {

TEST(StepErrorTest, ThreadsNeverSeeAMixedText)
{
    // Eight writers, each with a long text of its own letter, and a reader.
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t) {
        writers.emplace_back([t, &stop] {
            std::wstring text(4000, static_cast<wchar_t>(L'a' + t));
            for (int i = 0; i < 2000 && !stop; ++i)
                SetStepError(text, (t & 1) != 0);
        });
    }
    int checked = 0;
    bool mixed = false;
    for (; checked < 20000 && !mixed; ++checked) {
        std::wstring text;
        bool fatal = false;
        GetStepError(text, fatal);
        if (text.empty())
            continue;
        mixed = text.size() != 4000 || text.find_first_not_of(text[0]) != std::wstring::npos;
    }
    stop = true;
    for (auto& writer : writers)
        writer.join();
    EXPECT_FALSE(mixed);
}

TEST(StepErrorTest, SettingFromItsOwnTextAndReadingKeepsIt)
{
    SetStepError(L"first", true);
    std::wstring text;
    bool fatal = false;
    GetStepError(text, fatal);
    SetStepError(text, false);
    GetStepError(text, fatal);
    GetStepError(text, fatal);
    EXPECT_EQ(text, L"first");
    EXPECT_FALSE(fatal);

    SetStepErrorKey("NO_SUCH_KEY_ANYWHERE", true);
    GetStepError(text, fatal);
    EXPECT_EQ(text, L"");
    EXPECT_TRUE(fatal);
}

TEST(SystemErrorTextTest, MessageWithoutTrailingSpaceThenTheCode)
{
    std::wstring text = L"x: ";
    AppendSystemErrorText(text, ERROR_FILE_NOT_FOUND, 1033);
    ASSERT_GT(text.size(), 16u);
    EXPECT_EQ(text.substr(text.size() - 13), L" [0x00000002]");
    EXPECT_FALSE(iswspace(text[text.size() - 14]));
    EXPECT_EQ(text.find(L'\n'), std::wstring::npos);

    std::wstring bare;
    AppendSystemErrorText(bare, 0xE0ABCDEF, 1033);
    EXPECT_EQ(bare, L"[0xE0ABCDEF]");
}

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { SetStepError(L"", false); }
    std::wstring Error(bool& fatal)
    {
        std::wstring text;
        GetStepError(text, fatal);
        return text;
    }
    TempDir dir_;
};

TEST_F(DirectoryTest, CreatesMissingParentsAndAcceptsAnExistingFolder)
{
    steps_test::LogCapture log;
    std::wstring deep = dir_ / L"a\\b\\c";
    EXPECT_TRUE(CreateDirectoryChecked(deep.c_str()));
    EXPECT_TRUE(GetFileAttributesW(deep.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(CreateDirectoryChecked(deep.c_str()));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(DirectoryTest, AFileInTheWayIsAFatalErrorNamingTheCause)
{
    steps_test::LogCapture log;
    std::wstring path = dir_ / L"taken";
    ASSERT_TRUE(testing_support::WriteFileBytes(path, "x"));
    EXPECT_FALSE(CreateDirectoryChecked(path.c_str()));
    bool fatal = false;
    std::wstring text = Error(fatal);
    EXPECT_TRUE(fatal);
    EXPECT_EQ(text, steps_test::Text("FailedDirCreate") + L"\n" + path + L"\n" +
                        steps_test::Text("DirExistsAsFile"));
    EXPECT_NE(log.Text().find(" (already exists as a file)\r\n"), std::string::npos);

    // Below the file: the system's error is named.
    std::wstring below = path + L"\\sub";
    EXPECT_FALSE(CreateDirectoryChecked(below.c_str()));
    text = Error(fatal);
    EXPECT_TRUE(fatal);
    EXPECT_NE(text.find(L"\n" + below + L"\n\n"), std::wstring::npos);
    EXPECT_EQ(text.back(), L']');
    EXPECT_NE(log.Text().find("Could not create directory "), std::string::npos);
}

} // namespace
