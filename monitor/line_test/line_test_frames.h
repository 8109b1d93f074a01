// The line test's frames and their reckoning: the frame each sequence
// number of a run makes, the check of every byte of a frame that came back,
// and the tally of a run. No Windows header: compiled and tested natively.
//
// A test frame is `length` bytes (12 to 512):
//   bytes 0-3  the sequence number, little-endian (0 for the first frame)
//   bytes 4-5  the frame's length, little-endian
//   bytes 6-7  the run's number, little-endian: chosen when the run starts,
//              never the number of the run before it
//   bytes 8-   a pattern drawn from the run's number, the sequence number
//              and the offset (at least four bytes)
// so that a receiver that knows nothing of the run checks every byte, a
// damaged header spoils the pattern too, and a frame of another run (one
// left over from an earlier run, or another monitor's) is told from the
// run's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/stream_protocol.h"

namespace qz6::mon {

inline constexpr size_t kTestFrameHeaderSize = 8;
inline constexpr uint16_t kTestFrameMinLength = kTestFrameHeaderSize + 4;
inline constexpr uint16_t kTestFrameMaxLength = kCommandDataSize;

// The pattern byte at `offset` (8 or more) of frame `sequence` of run `run`.
uint8_t TestPatternByte(uint16_t run, uint32_t sequence, size_t offset);

// Writes frame `sequence` of run `run` over the whole of `frame`, whose size
// is the frame's length (kTestFrameMinLength to kTestFrameMaxLength; a span
// too short for the header is left alone).
void FillTestFrame(uint16_t run, uint32_t sequence, std::span<uint8_t> frame);

enum class FrameCheck : uint8_t {
    Good,
    TooShort,        // shorter than a test frame can be
    LengthMismatch,  // the length it carries is not the length it arrived with
    PatternMismatch, // a pattern byte differs
};

struct CheckedFrame {
    FrameCheck check;
    uint32_t sequence;  // as the frame carries them (meaningful when Good)
    uint16_t run;
};

// Checks every byte of a frame as it arrived (without CRC bytes).
CheckedFrame CheckTestFrame(std::span<const uint8_t> frame);

// ---- The tally of a run ---------------------------------------------------------------
// A frame that arrived is the run's own when it is a good frame of the run,
// or a damaged one that carries the run's number or would be a good frame
// of the run but for its number (one damaged byte never makes a frame of
// the run a stranger). The run's own frames are received: those that fail
// the check or carry a bad-CRC mark are corrupted, a good one whose number
// is below one already seen is out of order. Every other frame (a good
// frame of another run, a frame the run never sends, anything else) is a
// stranger: counted apart, never received, so it never hides a loss.
// Whatever was sent and never arrived is lost.
struct LineTestTally {
    uint32_t frames;        // frames the run sends
    uint16_t run;           // the number its frames carry
    uint32_t sent;          // accepted by the adapter so far
    uint32_t received;
    uint32_t corrupted;
    uint32_t out_of_order;
    uint32_t strangers;
    uint32_t highest_good;  // highest sequence number of a good frame
    bool any_good;
};

// One frame that arrived: its bytes (CRC bytes already taken off) and
// whether the adapter marked it with a bad CRC. True when it is the run's
// own, false for a stranger.
bool TallyArrival(LineTestTally& tally, std::span<const uint8_t> frame, bool crc_error);

constexpr uint32_t LostFrames(const LineTestTally& tally)
{
    return tally.sent > tally.received ? tally.sent - tally.received : 0;
}

// Frames sent that are still on their way: neither arrived nor behind one
// that arrived after them (a line keeps its frames in order, so a frame
// missing behind a later one is lost, not late).
constexpr uint32_t FramesInFlight(const LineTestTally& tally)
{
    uint32_t accounted = tally.any_good ? tally.highest_good + 1 : 0;
    if (tally.received > accounted)
        accounted = tally.received;
    return tally.sent > accounted ? tally.sent - accounted : 0;
}

}  // namespace qz6::mon
