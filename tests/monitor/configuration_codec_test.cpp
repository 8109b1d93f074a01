// The configuration codec: the SET_CONFIGURATION request, the SETCONFIG
// controls both ways, the baud entry and the view's texts.
#include "monitor/channel/configuration_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/default_configuration.h"

namespace qz6::mon {
namespace {

TEST(SetConfigurationRequest, EighteenLittleEndianBytesWithTheFrequencyZero)
{
    CommandBlock block = {};
    std::memset(block.data, 0xEE, sizeof block.data);
    block.reserved0 = 0x11;
    ConfigurationToSend configuration = {0x0001DAC0, 0x07D0, 0x0032, 0x0003, 0x000F, 0x003F, 0xDEADBEEF};
    FillSetConfigurationRequest(block, configuration);
    EXPECT_EQ(block.command, SET_CONFIGURATION);
    EXPECT_EQ(block.data_length, 18);
    const uint8_t expected[18] = {0xC0, 0xDA, 0x01, 0x00, 0xD0, 0x07, 0x32, 0x00, 0x03,
                                  0x00, 0x0F, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (unsigned i = 0; i < 18; ++i)
        EXPECT_EQ(block.data[i], expected[i]) << "byte " << i;
    EXPECT_EQ(block.data[18], 0xEE) << "nothing past the set form";
    EXPECT_EQ(block.reserved0, 0x11);
}

TEST(SetConfigControls, InitialValuesShowAsTheOperatorFirstSeesThem)
{
    const SetConfigControls shown = ControlsFromConfiguration(DefaultConfiguration());
    EXPECT_EQ(shown.baud_rate, 56000u);
    EXPECT_EQ(shown.max_frame_size, 2000);
    EXPECT_EQ(shown.percent_tx_buffers, 50);
    EXPECT_TRUE(shown.rs232);
    EXPECT_FALSE(shown.pass_crc_bytes);
    EXPECT_EQ(shown.modem_options, (std::array<bool, 4>{false, true, false, false}));
    EXPECT_EQ(shown.statistics_options, (std::array<bool, 6>{true, true, false, false, false, false}));
}

// Every bit that a control edits survives showing and reading back, so
// that confirming the dialog unchanged sends the same bits again.
TEST(SetConfigControls, ConfirmingUnchangedSendsTheSameConfiguration)
{
    const ConfigurationToSend rows[] = {
        DefaultConfiguration(),
        {9600, 512, 10, 0x0001, 0x000F, 0x003F, 0},
        {2048000, 13984, 90, 0x0003, 0x0005, 0x0014, 0},
        {0, 0, 0, 0, 0, 0, 0},
    };
    for (const ConfigurationToSend& row : rows) {
        const SetConfigControls shown = ControlsFromConfiguration(row);
        char baud[kBaudTextSize];
        SetConfigEntries entries = {shown.pass_crc_bytes,
                                    shown.rs232,
                                    shown.modem_options,
                                    shown.statistics_options,
                                    FormatBaudRate(shown.baud_rate, baud),
                                    shown.max_frame_size,
                                    shown.percent_tx_buffers};
        const ConfigurationToSend read = ConfigurationFromEntries(entries);
        EXPECT_EQ(std::memcmp(&read, &row, sizeof row), 0) << row.baud_rate;
    }
}

TEST(SetConfigEntries, BitsOutsideTheControlsAreDroppedAndSizesKeepTheirLowSixteenBits)
{
    SetConfigEntries entries = {};
    entries.rs232 = false;  // RS-485
    entries.pass_crc_bytes = true;
    entries.modem_options = {true, false, false, true};
    entries.statistics_options = {false, false, true, false, false, true};
    entries.baud_text = "19200";
    entries.max_frame_size_entry = 70000;
    entries.percent_entry = 65536 + 25;
    const ConfigurationToSend read = ConfigurationFromEntries(entries);
    EXPECT_EQ(+read.operational_bits, 0x0001);
    EXPECT_EQ(+read.modem_bits, 0x0009);
    EXPECT_EQ(+read.statistics_bits, 0x0024);
    EXPECT_EQ(+read.baud_rate, 19200u);
    EXPECT_EQ(+read.max_frame_size, 70000 & 0xFFFF);
    EXPECT_EQ(+read.percent_tx_buffers, 25);
    EXPECT_EQ(+read.adapter_frequency, 0u);
}

TEST(BaudEntry, ReadAsASignedDecimalStoredAsItsPattern)
{
    const struct {
        const char* text;
        uint32_t value;
    } rows[] = {
        {"56000", 56000},
        {"  \t 9600", 9600},
        {"+115200", 115200},
        {"-1", 0xFFFFFFFFu},
        {"19200 bps", 19200},
        {"38k4", 38},
        {"", 0},
        {"fast", 0},
        {"-", 0},
        {" + 5", 0},
        {"2147483647", 2147483647u},
        {"2147483648", 2147483647u},                  // stops at the signed limit
        {"99999999999999999999999999999", 2147483647u},
        {"-2147483648", 0x80000000u},
        {"-99999999999999999999999999999", 0x80000000u},
        {"0000000000000000000000000000009600", 9600},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ParseBaudEntry(row.text), row.value) << '"' << row.text << '"';
}

TEST(ConfigurationView, NineFieldsInOffsetOrder)
{
    CommandBlock reply = {};
    const uint8_t read_form[22] = {0xC0, 0xDA, 0x00, 0x00, 0xD0, 0x07, 0x32, 0x00, 0x02, 0x00, 0x0A,
                                   0x00, 0xFF, 0xAB, 0x00, 0x00, 0xE1, 0x00, 0x10, 0x00, 0x10, 0x00};
    std::memcpy(reply.data, read_form, sizeof read_form);
    const StreamingConfiguration configuration = DecodeStreamingConfiguration(reply);
    const char* expected[] = {"56000", "2000", "50", "0x0002", "0x000A", "0xABFF", "14745600", "16", "16"};
    for (unsigned i = 0; i < kConfigurationViewFields; ++i) {
        char text[kViewFieldSize];
        EXPECT_EQ(ConfigurationViewField(configuration, i, text), expected[i]) << "field " << i;
    }
    char text[kViewFieldSize];
    EXPECT_EQ(ConfigurationViewField(configuration, kConfigurationViewFields, text), "");

    StreamingConfiguration largest = {};
    largest.baud_rate = 4294967295u;
    largest.adapter_frequency = 4294967295u;
    EXPECT_EQ(ConfigurationViewField(largest, 0, text), "4294967295");
    EXPECT_EQ(ConfigurationViewField(largest, 6, text), "4294967295");
}

TEST(ConfigurationView, TitleCarriesTheVersion)
{
    char title[kViewTitleSize];
    EXPECT_EQ(StreamingViewTitle("2.14", title), "Streaming v2.14 Configuration");
    EXPECT_EQ(StreamingViewTitle("?.??", title), "Streaming v?.?? Configuration");
    EXPECT_EQ(StreamingViewTitle("123456789012345", title), "Streaming v123456789012345 Configuration");
}

}  // namespace
}  // namespace qz6::mon
