// What the Line Test window reads and shows: its four entries made into a
// plan (or the message that says what is wrong with them), the rates of a
// run and its verdict. No Windows header: compiled and tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/adapter_names.h"
#include "monitor/line_test/line_test_frames.h"

namespace qz6::mon {

inline constexpr uint32_t kLineTestDefaultFrames = 1000;
inline constexpr uint16_t kLineTestDefaultLength = 64;
inline constexpr uint32_t kLineTestMaxFrames = 1000000;
inline constexpr uint32_t kLineTestMaxRate = 100000;

// The entries as typed: edits 100 to 103.
struct LineTestEntries {
    std::string_view frames;
    std::string_view length;
    std::string_view partner;
    std::string_view rate;
};

struct LineTestPlan {
    uint32_t frames;
    uint16_t length;
    uint32_t rate;                           // frames a second; 0: as fast as the line takes them
    char partner[kDeviceNameMax + 1];        // "" for this adapter's own loopback plug
};

inline constexpr size_t kLineTestMessageSize = 128;

// Reads the entries of a test on `device_name`, whose frames the adapter
// takes up to `max_frame_size` bytes. Numbers are plain decimal digits,
// white space around them allowed. Returns "" and fills `plan`, or the
// message for the operator.
std::string_view ReadLineTestEntries(const LineTestEntries& entries, std::string_view device_name,
                                     uint16_t max_frame_size, LineTestPlan& plan,
                                     std::span<char, kLineTestMessageSize> message);

// How long a run waits after its last send, while no frame arrives, before
// it counts the frames still missing as lost: twice the time the transmit
// buffers (and the frame on the wire) take to empty at the bit rate, each
// frame with two flags and two CRC bytes, and a second for the host.
uint32_t LineTestDrainMs(uint16_t length, uint32_t baud_rate, uint16_t transmit_buffers);

// ---- Results ------------------------------------------------------------------------------
struct LineTestRates {
    double frames_per_second;
    double bits_per_second;      // the frames' own bits, without flags and CRC
    double percent_of_bit_rate;  // bits_per_second against the configured bit rate
};

// The rates of `received` frames of `length` bytes over `elapsed_us` (from
// the first send to the last arrival); zeros without time or frames.
LineTestRates ComputeLineTestRates(uint32_t received, uint16_t length, uint64_t elapsed_us, uint32_t baud_rate);

inline constexpr size_t kLineTestFieldSize = 24;
// "%.1f" frames a second, "%.0f" bits a second, "%.1f %%" of the bit rate.
std::string_view FormatFramesPerSecond(double value, std::span<char, kLineTestFieldSize> out);
std::string_view FormatBitsPerSecond(double value, std::span<char, kLineTestFieldSize> out);
std::string_view FormatPercent(double value, std::span<char, kLineTestFieldSize> out);

// How a run ended.
enum class LineTestEnding : uint8_t {
    Finished,    // every frame sent and accounted for, or the wait after the last send ran out
    FellSilent,  // frames were left to send, and nothing came back for the drain time
    Stopped,     // the operator (or a close) stopped it
    Failed,      // the adapter refused, or the line went away; see the failure text
};

// What failed, e.g. "ROZAR6O0 refused frame 12 (0x03)".
inline constexpr size_t kLineTestFailureSize = 80;
inline constexpr size_t kLineTestVerdictSize = 128;
// "PASS" for a finished run that lost, spoiled and reordered nothing;
// otherwise "FAIL: " and what failed, e.g. "FAIL: 100 lost, 20 corrupted",
// "FAIL: nothing came back, 16 lost". Frames not of the run follow, apart:
// "PASS; 3 frames not of this run".
std::string_view LineTestVerdict(const LineTestTally& tally, LineTestEnding ending, std::string_view failure,
                                 std::span<char, kLineTestVerdictSize> out);

}  // namespace qz6::mon
