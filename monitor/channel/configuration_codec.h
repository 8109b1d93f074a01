// The streaming configuration as the monitor handles it: the
// SET_CONFIGURATION request, what the SETCONFIG dialog shows and reads
// back, and the texts of the view of the configuration read at the last
// open. No Windows header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/stream_protocol.h"

namespace qz6::mon {

// SET_CONFIGURATION with the 18 bytes in `data`, little-endian; bytes 14
// to 17 are zero whatever the record holds. Other bytes are left alone.
void FillSetConfigurationRequest(CommandBlock& block, const ConfigurationToSend& configuration);

// The read form from the `data` of a READ_CONFIGURATION reply.
StreamingConfiguration DecodeStreamingConfiguration(const CommandBlock& block);

// ---- SETCONFIG ----------------------------------------------------------------------
inline constexpr unsigned kModemOptionBoxes = 4;       // check boxes 400 to 403, bits 0 to 3
inline constexpr unsigned kStatisticsOptionBoxes = 6;  // check boxes 500 to 505, bits 0 to 5

// What the dialog shows on opening.
struct SetConfigControls {
    bool pass_crc_bytes;  // check box 200
    bool rs232;           // radio button 309; 311 shows the opposite
    std::array<bool, kModemOptionBoxes> modem_options;
    std::array<bool, kStatisticsOptionBoxes> statistics_options;
    uint32_t baud_rate;   // edit 304, "%lu"
    uint16_t max_frame_size;      // edit 308
    uint16_t percent_tx_buffers;  // edit 320
};

SetConfigControls ControlsFromConfiguration(const ConfigurationToSend& configuration);

// What the operator left in the dialog when choosing OK.
struct SetConfigEntries {
    bool pass_crc_bytes;
    bool rs232;
    std::array<bool, kModemOptionBoxes> modem_options;
    std::array<bool, kStatisticsOptionBoxes> statistics_options;
    std::string_view baud_text;    // edit 304, at most 79 characters
    uint32_t max_frame_size_entry; // edits 308 and 320 as the platform reads
    uint32_t percent_entry;        // unsigned integers (0 when not a number)
};

// The configuration to send from the entries. Nothing is range-checked:
// the adapter judges the values.
ConfigurationToSend ConfigurationFromEntries(const SetConfigEntries& entries);

// The baud entry read as a signed decimal number: white space skipped, an
// optional sign, the digits up to the first other character, 0 without
// digits. A number beyond the 32-bit signed range stops at its limit. The
// result is the 32-bit pattern of that number.
uint32_t ParseBaudEntry(std::string_view text);

// Buffer size for the baud text of edit 304 ("%lu").
inline constexpr unsigned kBaudTextSize = 12;
std::string_view FormatBaudRate(uint32_t baud_rate, std::span<char, kBaudTextSize> out);

// ---- The view of the configuration read at the last open ---------------------------------
// Controls 200 to 208 show the nine fields of the read form in offset order.
inline constexpr unsigned kConfigurationViewFields = 9;
inline constexpr unsigned kViewFieldSize = 12;
std::string_view ConfigurationViewField(const StreamingConfiguration& configuration, unsigned index,
                                        std::span<char, kViewFieldSize> out);

// "Streaming v%s Configuration".
inline constexpr unsigned kViewTitleSize = 48;
std::string_view StreamingViewTitle(const char* version_text, std::span<char, kViewTitleSize> out);

}  // namespace qz6::mon
