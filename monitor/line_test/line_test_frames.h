// The line test's frames and their reckoning: the frame each sequence
// number makes, the check of every byte of a frame that came back, and the
// tally of a run. No Windows header: compiled and tested natively.
//
// A test frame is `length` bytes (8 to 512):
//   bytes 0-3  the sequence number, little-endian (0 for the first frame)
//   bytes 4-5  the frame's length, little-endian
//   bytes 6-   a pattern drawn from the sequence number and the offset
// so that a receiver that knows nothing of the run checks every byte, and
// a damaged sequence number spoils the pattern too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/stream_protocol.h"

namespace qz6::mon {

inline constexpr size_t kTestFrameHeaderSize = 6;
inline constexpr uint16_t kTestFrameMinLength = 8;
inline constexpr uint16_t kTestFrameMaxLength = kCommandDataSize;

// The pattern byte at `offset` (6 or more) of frame `sequence`.
uint8_t TestPatternByte(uint32_t sequence, size_t offset);

// Writes frame `sequence` over the whole of `frame`, whose size is the
// frame's length (kTestFrameMinLength to kTestFrameMaxLength; a span too
// short for the header is left alone).
void FillTestFrame(uint32_t sequence, std::span<uint8_t> frame);

enum class FrameCheck : uint8_t {
    Good,
    TooShort,        // shorter than a test frame can be
    LengthMismatch,  // the length it carries is not the length it arrived with
    PatternMismatch, // a pattern byte differs
};

struct CheckedFrame {
    FrameCheck check;
    uint32_t sequence;  // as the frame carries it (meaningful when Good)
};

// Checks every byte of a frame as it arrived (without CRC bytes).
CheckedFrame CheckTestFrame(std::span<const uint8_t> frame);

// ---- The tally of a run ---------------------------------------------------------------
// Frames that arrived are received; those that fail the check, carry a
// bad-CRC mark or a sequence number outside the run are corrupted; a good
// frame whose number is below one already seen is out of order. Whatever
// was sent and never arrived is lost.
struct LineTestTally {
    uint32_t frames;        // frames the run sends
    uint32_t sent;          // accepted by the adapter so far
    uint32_t received;
    uint32_t corrupted;
    uint32_t out_of_order;
    uint32_t highest_good;  // highest sequence number of a good frame
    bool any_good;
};

// One frame that arrived: its bytes (CRC bytes already taken off) and
// whether the adapter marked it with a bad CRC.
void TallyArrival(LineTestTally& tally, std::span<const uint8_t> frame, bool crc_error);

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
