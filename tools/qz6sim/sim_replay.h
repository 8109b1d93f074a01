// qz6sim replay: a capture file's frames delivered to an adapter's receive
// side, one IOCTL_SIM_INJECT_FRAME each, with the recorded spacing (scaled)
// or at a fixed rate. A frame recorded with a bad CRC arrives with a bad
// CRC; one marked with another receive error (a file of another program)
// is left out and counted, as no inject makes it.
//
// No Windows header and no allocation: the console program maps the file,
// and provides the clock, the waiting and the inject call through a
// ReplayPort; the host tests drive the same loop with a fake one.
#pragma once

#include <stdint.h>

#include <span>

#include "common/capture/capture_reader.h"
#include "tools/qz6sim/sim_commands.h"

namespace qz6::simtool {

class ReplayPort : public Clock {
public:
    // One IOCTL_SIM_INJECT_FRAME with `input` (a SimInjectHeader and the
    // data); false when the call itself fails, with its error in *error.
    virtual bool Inject(std::span<const uint8_t> input, SimInjectResult* result, uint32_t* error) = 0;

protected:
    ~ReplayPort() = default;
};

enum class ReplayEnd : uint8_t {
    Done,         // every frame of the file was read
    FileDamaged,  // the reader stopped at a damaged block; nothing after it was delivered
    CallFailed,   // an inject call failed; nothing after it was delivered
    NotAllQueued, // every frame was read, but fewer queued than were chosen (inbound, or all with --all)
};

// What a replay did, for its summary and the tests.
struct ReplayTally {
    uint32_t frames_read;
    uint32_t delivered;         // inject calls that completed
    uint32_t left_out;          // outbound frames without --all
    uint32_t too_long;          // longer than an injected frame can be
    uint32_t bad_crc;           // delivered with INJECT_BAD_CRC: recorded with a bad CRC
    uint32_t other_errors;      // left out: recorded with receive errors no inject makes
    uint32_t outcomes[kInjectOutcomeCount];
    uint32_t other_outcomes;
};

// Lines about frames that did not simply queue, at most this many; the
// summary counts them all.
constexpr uint32_t kMaxReplayProblemLines = 20;

// Replays `file` (its whole contents) as `request` (a parsed "replay") says.
// `scratch` holds one inject request. Progress and the summary go to `out`;
// a damaged file's or a failed call's message to `error`.
ReplayEnd RunReplay(const SimRequest& request, std::span<const uint8_t> file, ReplayPort& port,
                    std::span<uint8_t, kSimInjectMaxSize> scratch, ReplayTally* tally, TextBuffer* out,
                    TextBuffer* error);

}  // namespace qz6::simtool
