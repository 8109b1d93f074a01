// The monitor's command channel: the one command block of the program and
// the routine through which every command reaches the driver.
//
// Calling order for every command: optionally ClearCommandBlock, set
// `command`, `data_length` and `data`, ExecuteCommand, test the result and
// read the reply from the same block only when it is 0. GUI thread only,
// but for ExecuteCommandOn.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/stream_protocol.h"
#include "monitor/channel/command_block.h"

namespace qz6::mon {

// Runs the command in `block` on the open device and returns its
// return_code (NO_RESPONSE_CODE when the driver did not answer, the device
// is not open, or the block breaks the wire's limits). Mirrors the
// command's name and result into the Polling window while it is open.
uint8_t ExecuteCommand(CommandBlock& block);

// The same on `device`, a handle of the caller's own, from any thread, with
// a block of the caller's own; nothing is mirrored.
uint8_t ExecuteCommandOn(HANDLE device, CommandBlock& block);

// The program's block with `command` and no data (data_length 0; the rest
// as the last reply left it), executed; its return_code.
uint8_t ExecuteCommandWithoutData(uint8_t command);

}  // namespace qz6::mon
