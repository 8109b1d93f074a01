// The command block as the monitor uses it: display names of the command
// codes, the whole-block operations and the rules that decide how a block
// goes to the driver. No Windows header: compiled and tested natively.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/stream_protocol.h"

namespace qz6::mon {

// Display name of every command code, indexed by the code. A leading "!"
// marks the active commands, whose result the Polling window keeps.
inline constexpr std::array<std::string_view, kCommandCount> CommandNameTable = {
    "Read Status:",          // 0x00 READ_STATUS
    "! Send I-Frame:",       // 0x01 SEND_I_FRAME
    "0x02:",                 // 0x02
    "! Enable Comms:",       // 0x03 ENABLE_COMMS
    "! Disable Comms:",      // 0x04 DISABLE_COMMS
    "Set Configuration:",    // 0x05 SET_CONFIGURATION
    "Read Configuration:",   // 0x06 READ_CONFIGURATION
    "Read Statistics:",      // 0x07 READ_STATISTICS
    "Zero Statistics:",      // 0x08 ZERO_STATISTICS
    "Read Comm Errors:",     // 0x09 READ_COMM_ERRORS
    "Zero Comm Errors:",     // 0x0A ZERO_COMM_ERRORS
    "! Set DTR/RTS:",        // 0x0B SET_DTR_RTS
    "Read DCD/CTS:",         // 0x0C READ_DCD_CTS
    "FLUSH_BFRS:",           // 0x0D FLUSH_BFRS
    "0x0e:",                 // 0x0E
    "0x0f:",                 // 0x0F
    "Read Code Version:",    // 0x10 READ_CODE_VERSION
    "! Bridge Rx/Tx:",       // 0x11 BRIDGE_RX_TX
    "0x12:", "0x13:", "0x14:", "0x15:", "0x16:", "0x17:", "0x18:",
    "0x19:", "0x1a:", "0x1b:", "0x1c:", "0x1d:", "0x1e:", "0x1f:",
    "SET_INT_TRIGS:",        // 0x20 SET_INT_TRIGS
    "READ_INT_TRIGS:",       // 0x21 READ_INT_TRIGS
    "! CRC Control:",        // 0x22 CRC_CONTROL
};
static_assert(CommandNameTable.size() == 35);
static_assert(CommandNameTable[CRC_CONTROL] == "! CRC Control:");

constexpr bool CommandInSet(uint8_t code) { return code <= kHighestCommandCode; }

// Active commands change the line or the channel; their names start with "!".
constexpr bool IsActiveCommand(uint8_t code)
{
    return CommandInSet(code) && CommandNameTable[code].starts_with('!');
}

// Display name of a code; codes outside the set are named like the unnamed
// codes inside it ("0x%02x:"), written into `spare`.
std::string_view CommandDisplayName(uint8_t code, std::span<char, 8> spare);

// A block goes to the driver only when it respects the wire's limits: a
// known command and a payload that fits in `data`.
constexpr bool RequestFitsWire(const CommandBlock& block)
{
    return CommandInSet(block.command) && block.data_length <= kCommandDataSize;
}

// SEND_I_FRAME travels with direct output; every other code buffered.
constexpr uint32_t ControlCodeForCommand(uint8_t code)
{
    return code == SEND_I_FRAME ? IOCTL_STREAM_SEND : IOCTL_STREAM_COMMAND;
}

// Input length of the control call: the header and the payload.
constexpr uint32_t RequestInputLength(const CommandBlock& block)
{
    return kCommandHeaderSize + block.data_length;
}

// "0x%02X", e.g. "0x00", "0xAA".
std::string_view FormatReturnCode(uint8_t code, std::span<char, 8> out);

// The text the Polling window keeps for an active command's result.
std::string_view ActiveResultText(uint8_t code, std::span<char, 8> out);

void CopyCommandBlock(CommandBlock& destination, const CommandBlock& source);
bool SameCommandBlock(const CommandBlock& a, const CommandBlock& b);
void ClearCommandBlock(CommandBlock& block);

}  // namespace qz6::mon
