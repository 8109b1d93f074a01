#include "monitor/channel/configuration_codec.h"

#include <limits>

#include "common/formatted_text.h"
#include "monitor/channel/replies.h"

namespace qz6::mon {
namespace {

uint16_t BitsFromBoxes(std::span<const bool> boxes)
{
    uint16_t bits = 0;
    for (size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i])
            bits = static_cast<uint16_t>(bits | (1u << i));
    return bits;
}

template <size_t N>
std::array<bool, N> BoxesFromBits(uint16_t bits)
{
    std::array<bool, N> boxes = {};
    for (size_t i = 0; i < N; ++i)
        boxes[i] = (bits & (1u << i)) != 0;
    return boxes;
}

constexpr bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void FillSetConfigurationRequest(CommandBlock& block, const ConfigurationToSend& configuration)
{
    uint8_t* data = block.data;
    WriteLe32(data + 0, configuration.baud_rate);
    WriteLe16(data + 4, configuration.max_frame_size);
    WriteLe16(data + 6, configuration.percent_tx_buffers);
    WriteLe16(data + 8, configuration.operational_bits);
    WriteLe16(data + 10, configuration.modem_bits);
    WriteLe16(data + 12, configuration.statistics_bits);
    WriteLe32(data + 14, 0);
    block.command = SET_CONFIGURATION;
    block.data_length = kConfigurationSetSize;
}

StreamingConfiguration DecodeStreamingConfiguration(const CommandBlock& block)
{
    const std::span<const uint8_t> data(block.data, kCommandDataSize);
    StreamingConfiguration configuration = {};
    configuration.baud_rate = ReadLe32(data, 0);
    configuration.max_frame_size = ReadLe16(data, 4);
    configuration.percent_tx_buffers = ReadLe16(data, 6);
    configuration.operational_bits = ReadLe16(data, 8);
    configuration.modem_bits = ReadLe16(data, 10);
    configuration.statistics_bits = ReadLe16(data, 12);
    configuration.adapter_frequency = ReadLe32(data, 14);
    configuration.transmit_buffers = ReadLe16(data, 18);
    configuration.receive_buffers = ReadLe16(data, 20);
    return configuration;
}

SetConfigControls ControlsFromConfiguration(const ConfigurationToSend& configuration)
{
    SetConfigControls controls = {};
    controls.pass_crc_bytes = (configuration.operational_bits & OPERATIONAL_PASS_CRC_BYTES) != 0;
    controls.rs232 = (configuration.operational_bits & OPERATIONAL_RS232) != 0;
    controls.modem_options = BoxesFromBits<kModemOptionBoxes>(configuration.modem_bits);
    controls.statistics_options = BoxesFromBits<kStatisticsOptionBoxes>(configuration.statistics_bits);
    controls.baud_rate = configuration.baud_rate;
    controls.max_frame_size = configuration.max_frame_size;
    controls.percent_tx_buffers = configuration.percent_tx_buffers;
    return controls;
}

ConfigurationToSend ConfigurationFromEntries(const SetConfigEntries& entries)
{
    ConfigurationToSend configuration = {};
    configuration.modem_bits = BitsFromBoxes(entries.modem_options);
    configuration.statistics_bits = BitsFromBoxes(entries.statistics_options);
    configuration.operational_bits = static_cast<uint16_t>((entries.pass_crc_bytes ? OPERATIONAL_PASS_CRC_BYTES : 0) |
                                                           (entries.rs232 ? OPERATIONAL_RS232 : 0));
    configuration.baud_rate = ParseBaudEntry(entries.baud_text);
    configuration.max_frame_size = static_cast<uint16_t>(entries.max_frame_size_entry & 0xFFFF);
    configuration.percent_tx_buffers = static_cast<uint16_t>(entries.percent_entry & 0xFFFF);
    configuration.adapter_frequency = 0;
    return configuration;
}

uint32_t ParseBaudEntry(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && IsSpace(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Accumulated as a magnitude that stops just past the signed range, so
    // that no digit string, however long, overflows.
    constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > kLimit)
            magnitude = kLimit;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        value = std::numeric_limits<int32_t>::max();
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

std::string_view FormatBaudRate(uint32_t baud_rate, std::span<char, kBaudTextSize> out)
{
    return FormatInto(out, "%lu", static_cast<unsigned long>(baud_rate));
}

std::string_view ConfigurationViewField(const StreamingConfiguration& c, unsigned index,
                                        std::span<char, kViewFieldSize> out)
{
    // The three bit fields in hex, the rest as unsigned decimals.
    bool hex = false;
    unsigned long value = 0;
    switch (index) {
    case 0: value = c.baud_rate; break;
    case 1: value = c.max_frame_size; break;
    case 2: value = c.percent_tx_buffers; break;
    case 3: hex = true; value = c.operational_bits; break;
    case 4: hex = true; value = c.modem_bits; break;
    case 5: hex = true; value = c.statistics_bits; break;
    case 6: value = c.adapter_frequency; break;
    case 7: value = c.transmit_buffers; break;
    case 8: value = c.receive_buffers; break;
    default: return {};
    }
    return hex ? FormatInto(out, "0x%04lX", value) : FormatInto(out, "%lu", value);
}

std::string_view StreamingViewTitle(const char* version_text, std::span<char, kViewTitleSize> out)
{
    return FormatInto(out, "Streaming v%s Configuration", version_text);
}

}  // namespace qz6::mon
