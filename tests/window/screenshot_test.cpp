// A picture of the window as a user sees it during a download, kept as an
// artefact of the test run (artifacts\main_window.bmp in the build tree):
// the artwork, the status lines, the progress bar and the message of the
// day. The picture is also checked where the artwork has known colours.
#include "drawing_resources.h"
#include "localization.h"
#include "motd_buffer.h"
#include "requirement_queue.h"
#include "step_messages.h"
#include "step_statistics.h"
#include "window_test_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>

using window_test::FakeStep;
using window_test::LauncherWindow;
using window_test::PumpFor;
using window_test::PumpUntil;

namespace {

constexpr uint32_t PROGRESS_COLOUR = 0x248BCF; // the bar's 0xCF8B24 as red, green, blue

TEST(ScreenshotTest, WindowDuringADownload)
{
    window_test::WindowOptions options;
    options.clusterAccessLevel = 2;
    options.installedLanguages = {0, 1, 3};
    LauncherWindow w(options);
    HWND window = w.get();

    auto* download = new FakeStep(STEP_PROGRESS_LIGHT, true);
    AppendStep(download, L"Binaries0");
    AppendStep(new FakeStep(STEP_PROGRESS_LIGHT, true), L"Binaries1");
    PostMessageW(window, WM_STEP_NEXT, 0, 0);
    PumpFor(50);
    download->progress = 0.8f; // 0.2 of the 0.5 the two steps weigh: 40 %
    SetTransparentText(w.Item(IDC_STATUS_TEXT), L"Downloading game files");
    SetTransparentText(w.Item(IDC_STATUS_DETAIL), L"184.2 MB of 460.5 MB - 2 minutes left");
    HWND mainButton = w.Item(IDC_MAIN_BUTTON);
    EnableWindow(mainButton, TRUE);
    SetWindowTextByKey(mainButton, "PLAY", true);

    MotdBuffer.clear();
    const std::string motd = "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}\\f0{\\b Patch notes}\\par\\par "
                             "The frontier caravans now cross the salt flats at dusk.\\par "
                             "Crafting queues keep their order after a restart.\\par\\par "
                             "Read more at https://www.example.com/vantorel/notes\\par}";
    MotdBuffer.assign(motd.begin(), motd.end());
    SendMessageW(window, WM_STEP_SHOW_MOTD, 0, 0);

    SetForegroundWindow(window);
    RECT settings = {};
    GetWindowRect(w.Item(IDC_SETTINGS), &settings);
    window_test::MovePointer({(settings.left + settings.right) / 2, (settings.top + settings.bottom) / 2});
    HWND bar = w.Item(IDC_PROGRESS);
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) == 0x10000 * 2 / 5; }, 3000));
    PumpFor(400);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(200);

    std::wstring path = window_test::ArtifactFolder() + L"\\main_window.bmp";
    window_test::Picture picture = window_test::CaptureWindow(window, path);
    EXPECT_TRUE(testing_support::FileExists(path));
    ASSERT_EQ(picture.width, 1026); // the client area and its one-pixel border
    ASSERT_EQ(picture.height, 642);

    // Client pixels, one in from the border: the background, the bar's done
    // part and its rest, the close button's plate, the hovered settings
    // button, the PLAY button's blue; white texts in the status line, the
    // pane and the PLAY caption.
    auto at = [&](int x, int y) { return picture.At(x + 1, y + 1); };
    EXPECT_EQ(at(500, 60), 0u);
    EXPECT_EQ(at(32 + 50, 611 + 6), PROGRESS_COLOUR);
    EXPECT_EQ(at(32 + 700, 611 + 6), 0u);
    EXPECT_EQ(at(1000 + 10, 4 + 2), 0x1A2029u);
    EXPECT_EQ(at(952 + 2, 4 + 10), 0x248BCFu);
    EXPECT_GT(at(868 + 10, 591 + 16) & 0xFF, 0x90u);
    auto hasWhite = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (at(x, y) == 0xFFFFFFu)
                    return true;
        return false;
    };
    EXPECT_TRUE(hasWhite(32, 592, 200, 611));
    EXPECT_TRUE(hasWhite(32, 120, 400, 200));
    EXPECT_TRUE(hasWhite(900, 600, 968, 615));
    MotdBuffer.clear();
    StepStatistics.clear();
}

} // namespace
