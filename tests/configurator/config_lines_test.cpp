// The configurator's choice tables, device lines and the reading of chosen texts.
#include "configurator/config_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace qz6::conf {
namespace {

TEST(ChoiceTables, MemoryListRunsThroughFourSegmentsWithoutB)
{
    ASSERT_EQ(kMemoryList.size(), 32u);
    struct Row {
        std::size_t index;
        std::string_view text;
    };
    const Row rows[] = {
        {0, "0xA0000"}, {1, "0xA2000"}, {7, "0xAE000"}, {8, "0xC0000"},  {15, "0xCE000"},
        {16, "0xD0000"}, {23, "0xDE000"}, {24, "0xE0000"}, {31, "0xEE000"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(std::string_view(kMemoryList[row.index].data()), row.text) << "item " << row.index;

    // Consecutive items within a segment are 0x2000 apart; no item lies in 0xB0000.
    for (std::size_t i = 0; i < kMemoryList.size(); ++i) {
        std::optional<uint32_t> address = ParseHexChoice(kMemoryList[i].data());
        ASSERT_TRUE(address) << kMemoryList[i].data();
        EXPECT_NE(*address & 0xF0000u, 0xB0000u);
        EXPECT_EQ(*address & 0xFFFu, 0u);
        if (i % 8 != 0) {
            EXPECT_EQ(*address - *ParseHexChoice(kMemoryList[i - 1].data()), 0x2000u);
        }
    }
}

TEST(ChoiceTables, DefaultsAreThePortMemoryAndLineTheAdapterShipsWith)
{
    EXPECT_EQ(kIoPortTable[kDefaultIoPort], "0x360");
    EXPECT_EQ(std::string_view(kMemoryList[kDefaultMemory].data()), "0xD0000");
    EXPECT_EQ(kIrqTable[kDefaultIrq], "5");
}

// Every choice reads as exactly the number it shows, and a line built from
// it shows the same text again.
TEST(ChoiceTables, EveryChoiceReadsAsTheNumberShown)
{
    const uint32_t ports[] = {0x250, 0x270, 0x280, 0x300, 0x350, 0x360, 0x380, 0x390};
    const uint32_t segments[] = {0xA0000, 0xC0000, 0xD0000, 0xE0000};
    const uint32_t irqs[] = {3, 4, 5, 7, 10, 11, 12};
    ASSERT_EQ(std::size(ports), kIoPortTable.size());
    ASSERT_EQ(std::size(irqs), kIrqTable.size());
    for (std::size_t p = 0; p < kIoPortTable.size(); ++p) {
        for (std::size_t m = 0; m < kMemoryList.size(); ++m) {
            for (std::size_t q = 0; q < kIrqTable.size(); ++q) {
                std::optional<DeviceParameters> chosen =
                    ChosenParameters(static_cast<int>(p), kMemoryList[m].data(), static_cast<int>(q));
                ASSERT_TRUE(chosen);
                EXPECT_EQ(chosen->io_base, ports[p]);
                EXPECT_EQ(chosen->shared_memory, segments[m / 8] + static_cast<uint32_t>(m % 8) * 0x2000u);
                EXPECT_EQ(chosen->interrupt_number, irqs[q]);

                std::string line = FormatDeviceLine(4, *chosen).data();
                std::string expected = std::string("KORQZ6C4\t") + std::string(kIoPortTable[p]) + "\t" +
                                       kMemoryList[m].data() + "\t" + (irqs[q] < 10 ? " " : "") + std::string(kIrqTable[q]);
                EXPECT_EQ(line, expected);
            }
        }
    }
}

TEST(ChosenTexts, ReadOnlyWhatTheFormatsDescribe)
{
    struct Row {
        std::string_view text;
        std::optional<uint32_t> hex;
        std::optional<uint32_t> decimal;
    };
    const Row rows[] = {
        {"0x360", 0x360u, std::nullopt},
        {"0xD0000", 0xD0000u, std::nullopt},
        {"0xe2000", 0xE2000u, std::nullopt},
        {"0xFFFFFFFF", 0xFFFFFFFFu, std::nullopt},
        {"0x100000000", std::nullopt, std::nullopt},  // does not fit 32 bits
        {"0x", std::nullopt, std::nullopt},
        {"0X360", std::nullopt, std::nullopt},
        {"360", std::nullopt, 360u},
        {"0x36g", std::nullopt, std::nullopt},
        {"0x-1", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"10", std::nullopt, 10u},
        {"5", std::nullopt, 5u},
        {"4294967295", std::nullopt, 4294967295u},
        {"4294967296", std::nullopt, std::nullopt},
        {" 5", std::nullopt, std::nullopt},
        {"5 ", std::nullopt, std::nullopt},
        {"-5", std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseHexChoice(row.text), row.hex) << '"' << row.text << '"';
        EXPECT_EQ(ParseDecimalChoice(row.text), row.decimal) << '"' << row.text << '"';
    }
}

TEST(ChosenTexts, IndexOutsideATableOrUnreadableMemoryGivesNothing)
{
    EXPECT_FALSE(ChosenParameters(-1, "0xD0000", 2));  // combo box without a selection
    EXPECT_FALSE(ChosenParameters(8, "0xD0000", 2));
    EXPECT_FALSE(ChosenParameters(5, "0xD0000", -1));
    EXPECT_FALSE(ChosenParameters(5, "0xD0000", 7));
    EXPECT_FALSE(ChosenParameters(5, "", 2));
    EXPECT_FALSE(ChosenParameters(5, "D0000", 2));
    std::optional<DeviceParameters> defaults = ChosenParameters(kDefaultIoPort, "0xD0000", kDefaultIrq);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->io_base, 0x360u);
    EXPECT_EQ(defaults->shared_memory, 0xD0000u);
    EXPECT_EQ(defaults->interrupt_number, 5u);
}

TEST(DeviceLines, ShowTheRegistryValuesInFixedFormats)
{
    struct Row {
        uint8_t adapter;
        DeviceParameters parameters;
        std::string_view line;
    };
    const Row rows[] = {
        {0, {0x360, 0xD0000, 5}, "ROZAR6O0\t0x360\t0xD0000\t 5"},
        {3, {0x360, 0xD0000, 5}, "KORQZ6C3\t0x360\t0xD0000\t 5"},
        {7, {0x250, 0xA0000, 10}, "KORQZ6C7\t0x250\t0xA0000\t10"},
        {1, {0x3E8, 0xD0000, 5}, "KORQZ6C1\t0x3E8\t0xD0000\t 5"},   // values outside the choices
        {2, {0x3, 0x1F, 123}, "KORQZ6C2\t0x003\t0x0001F\t123"},      // widths are minimums
        {6, {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, "KORQZ6C6\t0xFFFFFFFF\t0xFFFFFFFF\t4294967295"},
        {5, {0x360, 0xD0000, 0}, "KORQZ6C5\t<Not Configured>"},      // port and memory without a line
        {0, {0, 0, 0}, "ROZAR6O0\t<Not Configured>"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(std::string_view(FormatDeviceLine(row.adapter, row.parameters).data()), row.line);
}

TEST(DeviceLines, NumbersBeyondTheEightAdaptersNameNothing)
{
    for (unsigned adapter = 0; adapter < kAdapterCount; ++adapter) {
        std::string name = std::string("Zurezi6c") + std::to_string(adapter);
        EXPECT_EQ(std::string(DeviceKeyName(static_cast<uint8_t>(adapter)).data()), name);
        EXPECT_EQ(std::string(DeviceKeyPath(static_cast<uint8_t>(adapter)).data()),
                  "SYSTEM\\CurrentControlSet\\Services\\Zurezi6\\Parameters\\" + name);
    }
    for (unsigned adapter : {8u, 9u, 200u, 255u}) {
        EXPECT_EQ(DeviceKeyName(static_cast<uint8_t>(adapter))[0], '\0') << adapter;
        EXPECT_EQ(DeviceKeyPath(static_cast<uint8_t>(adapter))[0], '\0') << adapter;
        EXPECT_EQ(FormatDeviceLine(static_cast<uint8_t>(adapter), {0x360, 0xD0000, 5})[0], '\0') << adapter;
    }
}

TEST(DeviceLines, OnlyTheEightLinesAreAdapters)
{
    const struct {
        int line;
        std::optional<uint8_t> adapter;
    } rows[] = {{-1, std::nullopt}, {0, uint8_t{0}}, {3, uint8_t{3}}, {7, uint8_t{7}}, {8, std::nullopt}, {256, std::nullopt}, {-256, std::nullopt}};
    for (const auto& row : rows)
        EXPECT_EQ(AdapterOfLine(row.line), row.adapter) << row.line;
}

}  // namespace
}  // namespace qz6::conf
