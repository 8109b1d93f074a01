// qz6sim configure, comms and send: command blocks through an adapter's own
// device (\\.\ROZAR6O0, \\.\KORQZ6C1, ...), as the monitor and any other
// program send them, so the frames leave through the adapter's transmitter
// over its cable with the line's timing.
//
// No Windows header and no allocation: the console program opens the
// device and provides the call through an AdapterPort, and the clock; the
// host tests drive the same code with fakes.
#pragma once

#include <stdint.h>

#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool {

class AdapterPort {
public:
    // One call with `block` (IOCTL_STREAM_COMMAND or IOCTL_STREAM_SEND):
    // the request's header and data in, the whole block back. False when the
    // call itself fails, with its error in *error.
    virtual bool Execute(uint32_t control_code, CommandBlock* block, uint32_t* error) = 0;

protected:
    ~AdapterPort() = default;
};

// How long send waits before it offers a frame again to a transmitter
// whose buffers were all in use.
constexpr uint64_t kFullTransmitterRetryUs = 1000;

// configure or comms: the one command of `request` (a parsed "configure" or
// "comms"). The confirmation goes to `out`, a failure's message to `error`.
ExitStatus RunAdapterCommand(const SimRequest& request, AdapterPort& port, CommandBlock* block, TextBuffer* out,
                             TextBuffer* error);

// What a send did, for its summary and the tests.
struct SendTally {
    uint32_t sent;         // frames the adapter took
    uint32_t full_waits;   // times the transmitter was full and the frame was offered again
};

// send: the frames of `request` (a parsed "send"), paced by --rate or as
// fast as the transmitter takes them. The summary goes to `out`, a
// failure's message to `error`.
ExitStatus RunSend(const SimRequest& request, AdapterPort& port, Clock& clock, CommandBlock* block, SendTally* tally,
                   TextBuffer* out, TextBuffer* error);

}  // namespace qz6::simtool
