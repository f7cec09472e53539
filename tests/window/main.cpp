// window_tests.exe: the main window driven in this process, on this thread,
// as the launcher runs it: the common controls and the rich-edit libraries
// loaded, the localisation table read and the StepError lock made.
#include "localization.h"
#include "step_error.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace {

// Under a virtual display without a window manager, Wine waits two seconds
// for every activated top-level window it hides or destroys. The windows of
// this program are made unmanaged (a setting of this executable only,
// read when the display driver starts), so the tests do not wait.
void MakeWindowsUnmanaged()
{
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\window_tests.exe\\X11 Driver",
                    L"Managed", REG_SZ, L"N", 4);
}

} // namespace

int main(int argc, char** argv)
{
    MakeWindowsUnmanaged();
    InitCommonControls();
    LoadLibraryW(L"Riched20.dll");
    LoadLibraryW(L"Msftedit.dll");
    CreateStepErrorLock();
    LoadLocalizationTable();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
