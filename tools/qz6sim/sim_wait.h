// qz6sim wait: reads the simulator's status every kWaitPollUs until one
// adapter's counter (a key of status --json) compares as asked with a
// value, or the time-out passes.
//
// No Windows header and no allocation: the console program provides the
// status call through a StatusPort, and the clock; the host tests drive
// the same loop with fakes.
#pragma once

#include <stdint.h>

#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool {

class StatusPort {
public:
    // One IOCTL_SIM_GET_STATUS; false when the call fails, with its error.
    virtual bool ReadStatus(SimStatus* status, uint32_t* error) = 0;

protected:
    ~StatusPort() = default;
};

constexpr uint64_t kWaitPollUs = 20000;

// `request` is a parsed "wait". The counter's last value goes to `out`
// ("rx_frames 1000"); a time-out's or a failed call's message to `error`.
// `scratch` holds one status reply.
ExitStatus RunWait(const SimRequest& request, StatusPort& port, Clock& clock, SimStatus* scratch, TextBuffer* out,
                   TextBuffer* error);

}  // namespace qz6::simtool
