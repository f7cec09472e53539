// steps_tests.exe: the pipeline's tests. Started with
// "--print-shared-main-window" it only prints the SharedMainWindow value it
// sees (the shared-section test starts a second copy of itself that way).
#include "launcher.h"
#include "localization.h"
#include "step_error.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "--print-shared-main-window") == 0) {
        printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(SharedMainWindow)));
        return 0;
    }
    CreateStepErrorLock();
    LoadLocalizationTable();
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
