// browser_tests.exe: the browser host's tests, with the launcher's texts
// loaded as at start-up. The runtime starts its sub-processes with this
// program too; they only play their role. A run that skipped cases (no
// runtime installed) ends with SKIPPED_EXIT_CODE, which ctest shows as
// skipped.
#include "localization.h"
#include "real_runtime_support.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    int exitCode = 0;
    if (RunAsBrowserSubProcess(&exitCode))
        return exitCode;
    LoadLocalizationTable();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (result == 0 && testing::UnitTest::GetInstance()->skipped_test_count() > 0)
        return SKIPPED_EXIT_CODE;
    return result;
}
