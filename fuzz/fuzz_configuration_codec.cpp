// The streaming configuration as the monitor codes it: any configuration
// into the SET_CONFIGURATION request and back, any READ_CONFIGURATION reply
// decoded and shown, any text typed into the baud rate box, any version
// text in the view's title.
//
// Input: a configuration to send (18 bytes), a command block (528), the
// dialog's boxes (2), two numeric entries (8), a view index (1), the baud
// text (length byte and bytes), then the version text (the rest).
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "monitor/channel/configuration_codec.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::mon;

namespace {

CommandBlock g_block;
CommandBlock g_before;

// The baud entry read as the C library reads a signed decimal, then held
// to the 32-bit signed range.
uint32_t ReferenceBaud(std::string_view text)
{
    const std::string copy(text);  // up to the first zero byte, as a C string
    errno = 0;
    long long value = strtoll(copy.c_str(), nullptr, 10);
    if (value > INT32_MAX)
        value = INT32_MAX;
    if (value < INT32_MIN)
        value = INT32_MIN;
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

bool SameConfiguration(const ConfigurationToSend& a, const ConfigurationToSend& b)
{
    return memcmp(&a, &b, sizeof(ConfigurationToSend)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    ConfigurationToSend configuration;
    FillFrom(reinterpret_cast<uint8_t*>(&configuration), sizeof(configuration), in.Bytes(sizeof(configuration)), 0);
    FillFrom(reinterpret_cast<uint8_t*>(&g_block), sizeof(g_block), in.Bytes(sizeof(g_block)), 0);
    const uint16_t boxes = in.U16();
    const uint32_t max_frame_entry = in.U32();
    const uint32_t percent_entry = in.U32();
    const unsigned view_index = in.U8() % 12;
    const std::string_view baud_text = in.Text(79);
    const std::span<const uint8_t> rest = in.Rest();
    std::string version(reinterpret_cast<const char*>(rest.data()), rest.size());

    // ---- The request: the 18 bytes little-endian, frequency zero, nothing else touched.
    g_before = g_block;
    FillSetConfigurationRequest(g_block, configuration);
    FUZZ_CHECK(g_block.command == SET_CONFIGURATION && g_block.data_length == kConfigurationSetSize);
    ConfigurationToSend on_wire;
    memcpy(&on_wire, g_block.data, sizeof(on_wire));
    ConfigurationToSend without_frequency = configuration;
    without_frequency.adapter_frequency = 0;
    FUZZ_CHECK(SameConfiguration(on_wire, without_frequency));
    FUZZ_CHECK(g_block.reserved0 == g_before.reserved0 && g_block.return_code == g_before.return_code);
    FUZZ_CHECK(memcmp(g_block.reserved5, g_before.reserved5, sizeof(g_block.reserved5)) == 0);
    FUZZ_CHECK(memcmp(g_block.data + kConfigurationSetSize, g_before.data + kConfigurationSetSize,
                      kCommandDataSize - kConfigurationSetSize) == 0);

    // ---- The reply: a plain copy of the packed layout is the reference.
    const StreamingConfiguration read = DecodeStreamingConfiguration(g_before);
    StreamingConfiguration copy;
    memcpy(&copy, g_before.data, sizeof(copy));
    FUZZ_CHECK(memcmp(&read, &copy, sizeof(copy)) == 0);

    // ---- The view: each field reads back as its value; past the ninth, nothing.
    const std::string field = GuardedText<kViewFieldSize>([&](auto out) { return ConfigurationViewField(read, view_index, out); });
    if (view_index >= kConfigurationViewFields) {
        FUZZ_CHECK(field.empty());
    } else {
        const uint32_t values[] = {read.baud_rate, read.max_frame_size, read.percent_tx_buffers,
                                   read.operational_bits, read.modem_bits, read.statistics_bits,
                                   read.adapter_frequency, read.transmit_buffers, read.receive_buffers};
        const bool hex = view_index >= 3 && view_index <= 5;
        FUZZ_CHECK(!field.empty() && (!hex || (field.starts_with("0x") && field.size() == 6)));
        char* end = nullptr;
        FUZZ_CHECK(strtoul(field.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10) == values[view_index] && *end == 0);
    }
    const std::string title = GuardedText<kViewTitleSize>([&](auto out) { return StreamingViewTitle(version.c_str(), out); });
    const std::string full_title = "Streaming v" + std::string(version.c_str()) + " Configuration";
    FUZZ_CHECK(title == full_title.substr(0, kViewTitleSize - 1));

    // ---- The dialog: the baud box, and what opening and OK give back.
    FUZZ_CHECK(ParseBaudEntry(baud_text) == ReferenceBaud(baud_text));
    const std::string baud_shown = GuardedText<kBaudTextSize>([&](auto out) { return FormatBaudRate(configuration.baud_rate, out); });
    FUZZ_CHECK(strtoull(baud_shown.c_str(), nullptr, 10) == configuration.baud_rate);

    SetConfigEntries entries{};
    entries.pass_crc_bytes = boxes & 1;
    entries.rs232 = boxes & 2;
    for (unsigned i = 0; i < kModemOptionBoxes; ++i)
        entries.modem_options[i] = (boxes >> (2 + i)) & 1;
    for (unsigned i = 0; i < kStatisticsOptionBoxes; ++i)
        entries.statistics_options[i] = (boxes >> (6 + i)) & 1;
    entries.baud_text = baud_text;
    entries.max_frame_size_entry = max_frame_entry;
    entries.percent_entry = percent_entry;
    const ConfigurationToSend entered = ConfigurationFromEntries(entries);
    FUZZ_CHECK(entered.baud_rate == ParseBaudEntry(baud_text) && entered.adapter_frequency == 0);
    FUZZ_CHECK(entered.max_frame_size == static_cast<uint16_t>(max_frame_entry) &&
               entered.percent_tx_buffers == static_cast<uint16_t>(percent_entry));
    // The boxes show what was entered: opening the dialog again shows the same.
    const SetConfigControls controls = ControlsFromConfiguration(entered);
    FUZZ_CHECK(controls.pass_crc_bytes == entries.pass_crc_bytes && controls.rs232 == entries.rs232);
    FUZZ_CHECK(controls.modem_options == entries.modem_options &&
               controls.statistics_options == entries.statistics_options);
    FUZZ_CHECK(controls.baud_rate == entered.baud_rate && controls.max_frame_size == entered.max_frame_size &&
               controls.percent_tx_buffers == entered.percent_tx_buffers);

    // Opening the dialog on a configuration and choosing OK at once keeps it,
    // but for the bits without a box and a baud rate past the signed range.
    const SetConfigControls shown = ControlsFromConfiguration(configuration);
    SetConfigEntries untouched{};
    untouched.pass_crc_bytes = shown.pass_crc_bytes;
    untouched.rs232 = shown.rs232;
    untouched.modem_options = shown.modem_options;
    untouched.statistics_options = shown.statistics_options;
    const std::string shown_baud = GuardedText<kBaudTextSize>([&](auto out) { return FormatBaudRate(shown.baud_rate, out); });
    untouched.baud_text = shown_baud;
    untouched.max_frame_size_entry = shown.max_frame_size;
    untouched.percent_entry = shown.percent_tx_buffers;
    const ConfigurationToSend again = ConfigurationFromEntries(untouched);
    ConfigurationToSend kept = configuration;
    kept.operational_bits &= OPERATIONAL_PASS_CRC_BYTES | OPERATIONAL_RS232;
    kept.modem_bits &= (1u << kModemOptionBoxes) - 1;
    kept.statistics_bits &= (1u << kStatisticsOptionBoxes) - 1;
    kept.adapter_frequency = 0;
    if (kept.baud_rate > INT32_MAX)
        kept.baud_rate = INT32_MAX;
    FUZZ_CHECK(SameConfiguration(again, kept));
    return 0;
}
