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

uint32_t Average(const window_test::Picture& picture, int x0, int y0, int x1, int y1)
{
    uint64_t sum[3] = {};
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x, ++count) {
            uint32_t p = picture.At(x, y);
            sum[0] += (p >> 16) & 0xFF;
            sum[1] += (p >> 8) & 0xFF;
            sum[2] += p & 0xFF;
        }
    }
    return static_cast<uint32_t>((sum[0] / count) << 16 | (sum[1] / count) << 8 | (sum[2] / count));
}

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
    const std::string motd =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}\\f0{\\b Patch notes}\\par\\par "
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

    // Coordinates below are client pixels, one in from the border.
    auto at = [&](int x, int y) { return picture.At(x + 1, y + 1); };
    EXPECT_EQ(at(500, 60), 0u);                           // the black background
    EXPECT_EQ(at(32 + 50, 611 + 6), PROGRESS_COLOUR);     // the bar's done part
    EXPECT_EQ(at(32 + 700, 611 + 6), 0u);                 // its rest, on black
    EXPECT_EQ(at(1000 + 10, 4 + 2), 0x1A2029u);           // the close button's plate
    EXPECT_EQ(at(952 + 2, 4 + 10), 0x248BCFu);            // the settings button, hovered
    // The PLAY button's blue, and its white caption somewhere in the middle.
    uint32_t button = Average(picture, 869 + 5, 592 + 4, 869 + 20, 592 + 28);
    EXPECT_GT(button & 0xFF, 0x90u) << std::hex << button;
    bool caption = false;
    for (int x = 900; x < 968 && !caption; ++x)
        caption = at(x, 607) == 0xFFFFFFu || at(x, 608) == 0xFFFFFFu;
    EXPECT_TRUE(caption);
    // White text in the status line and in the pane.
    bool status = false, notes = false;
    for (int y = 592; y < 611; ++y)
        for (int x = 32; x < 200; ++x)
            status = status || at(x, y) == 0xFFFFFFu;
    for (int y = 120; y < 200; ++y)
        for (int x = 32; x < 400; ++x)
            notes = notes || at(x, y) == 0xFFFFFFu;
    EXPECT_TRUE(status);
    EXPECT_TRUE(notes);
    MotdBuffer.clear();
    StepStatistics.clear();
}

} // namespace
