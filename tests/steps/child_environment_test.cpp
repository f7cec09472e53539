// The child's environment block built from a given launcher environment.
#include "log_capture.h"
#include "process/child_environment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testing_support::LogCapture;

namespace {

// A block of the launcher's form from entries.
std::wstring Source(const std::vector<std::wstring>& entries)
{
    std::wstring block;
    for (const std::wstring& entry : entries)
        block += entry + L'\0';
    return block + L'\0';
}

std::vector<std::wstring> Entries(const EnvironmentBlock& block)
{
    std::vector<std::wstring> entries;
    for (size_t at = 0; at < block.size() && block[at] != L'\0';) {
        std::wstring entry(&block[at]);
        entries.push_back(entry);
        at += entry.size() + 1;
    }
    return entries;
}

const std::wstring Tools = L"C:\\Games\\Public\\Tools\\Windows\\x64";

} // namespace

TEST(ChildEnvironmentTest, PathGetsTheToolsFolderAndLayerSwitchesGo)
{
    LogCapture log;
    std::wstring source = Source({L"A=1", L"Path=C:\\Windows", L"disable_vk_layer_valve_steam_overlay_1=1",
                                  L"DISABLE_VK_LAYER_VALVE_steam_fossilize_1=1",
                                  L"KEEP=DISABLE_VK_LAYER_VALVE_steam_overlay_1=1", L"Z=2"});
    EnvironmentBlock block;
    AppendChildEnvironment(source.c_str(), Tools, false, block);
    EXPECT_EQ((std::vector<std::wstring>{L"A=1", L"Path=C:\\Windows;" + Tools,
                                         L"KEEP=DISABLE_VK_LAYER_VALVE_steam_overlay_1=1", L"Z=2"}),
              Entries(block));
    ASSERT_GE(block.size(), 2u);
    EXPECT_EQ(L'\0', block[block.size() - 1]);
    EXPECT_EQ(L'\0', block[block.size() - 2]);

    // The forced PATH drops the old value.
    block.clear();
    AppendChildEnvironment(source.c_str(), Tools, true, block);
    EXPECT_EQ(L"PATH=" + Tools, Entries(block)[1]);
    EXPECT_TRUE(log.Contains("Overriding system PATH environment variable value\r\n"));

    // No PATH: none is added; a long PATH is only warned about.
    block.clear();
    AppendChildEnvironment(Source({L"A=1"}).c_str(), Tools, false, block);
    EXPECT_EQ(std::vector<std::wstring>{L"A=1"}, Entries(block));
    block.clear();
    AppendChildEnvironment(Source({L"PATH=" + std::wstring(2020, L'p')}).c_str(), Tools, false, block);
    EXPECT_EQ(1u, Entries(block).size());
    EXPECT_TRUE(log.Contains("PATH exceeded length of registry value limit.\r\n"));
}

TEST(ChildEnvironmentTest, OverflowOrEmptyGivesTheSinglePath)
{
    LogCapture log;
    for (const std::wstring& source :
         {Source({L"PATH=x", L"BIG=" + std::wstring(32760, L'b')}), Source({})}) {
        EnvironmentBlock block;
        AppendChildEnvironment(source.c_str(), Tools, false, block);
        EXPECT_EQ(std::vector<std::wstring>{L"PATH=" + Tools}, Entries(block));
        EXPECT_EQ(5 + Tools.size() + 2, block.size());
    }
    EXPECT_TRUE(log.Contains("Environment block overflow detected!\r\n"));
}
