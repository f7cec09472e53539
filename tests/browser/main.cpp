// browser_tests.exe: the browser host's tests, with the launcher's texts
// loaded as at start-up. The runtime starts its sub-processes with this
// program too; they only play their role.
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
    return RUN_ALL_TESTS();
}
