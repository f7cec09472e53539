// The runner through which the tests start programs, driven with the game's
// stand-in: a program's own exit code is never taken for a program still
// running, and the deadline holds whatever the program writes.
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::optional<int> RunStandIn(const wchar_t* script, std::string* output, unsigned timeoutMs)
{
    SetEnvironmentVariableW(L"VANTOREL_STANDIN", script);
    std::optional<int> code =
        testing_support::RunProcess(L"\"" + testing_support::BuildFolder() + L"\\Vantorel.x64.exe\"", output,
                                    timeoutMs, L"", nullptr, testing_support::AtDeadline::EndProgram);
    SetEnvironmentVariableW(L"VANTOREL_STANDIN", nullptr);
    return code;
}

TEST(RunProcessTest, EndsAtTheDeadlineWhateverTheProgramWritesAndKeepsItsExitCode)
{
    std::string output;
    EXPECT_EQ(RunStandIn(L"exit:0xFFFFFFFF", &output, 60000), -1);

    // Writes without a pause, for far longer than its deadline, in writes
    // of 512 MiB: while one drains, the pipe never runs empty.
    output.clear();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RunStandIn(L"flood:1000000000000,80,536870912", &output, 5000), std::nullopt);
    EXPECT_LT(GetTickCount64() - start, 8000u);
    EXPECT_LE(output.size(), testing_support::OUTPUT_KEPT + 100);
    EXPECT_EQ(output.substr(0, 4), "xxxx");
    EXPECT_NE(output.find(" bytes of output left out ...]\n"), std::string::npos);
}

} // namespace
