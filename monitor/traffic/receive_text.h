// What the receive monitor shows of a received frame: its summary line in
// the Receive Detail list, its hex dump, and the bound on the list's lines.
// No Windows header: compiled and tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/stream_protocol.h"

namespace qz6::mon {

// The receive thread's line buffer: the device path, then each summary line.
inline constexpr size_t kReceiveLineSize = 80;
// A summary line lists at most this many bytes of the frame...
inline constexpr size_t kSummaryBytes = 15;
// ...and is at most this long: "0x%02X %5u  " and "%02X " for each byte.
inline constexpr size_t kSummaryLineMax = 12 + 3 * kSummaryBytes;
static_assert(kSummaryLineMax == 57 && kSummaryLineMax < kReceiveLineSize);

// The dump shows at most this many bytes, 16 a line, each full line
// kDumpLineLength characters with its CR LF.
inline constexpr size_t kDumpBytes = 4000;
inline constexpr size_t kDumpLineLength = 58;
inline constexpr size_t kDumpTextSize = 16384;
static_assert((kDumpBytes / 16) * kDumpLineLength < kDumpTextSize);

// Lines the Receive Detail list holds at most.
inline constexpr int32_t kReceiveListLimit = 49;

// The frame bytes the record really holds, at most `limit` of them: a
// frame_length beyond what the record holds never reads past its end.
std::span<const uint8_t> RecordedFrameBytes(const ReceiveRecord& record, size_t limit);

// "0x%02X %5u  " with the bits and the length as reported, then "%02X "
// for each of the first 15 bytes of `frame` (fewer when it holds fewer).
std::string_view FormatSummaryLine(uint8_t frame_bits, uint16_t frame_length, std::span<const uint8_t> frame,
                                   std::span<char, kReceiveLineSize> line);
std::string_view FormatSummaryLine(const ReceiveRecord& record, std::span<char, kReceiveLineSize> line);

// The dump of the first 4000 bytes of `frame`: lines of "%04X  " and
// "%02X " for 16 bytes, "- " after the 8th, each line ending in CR LF; no
// bytes give a single CR LF. Always terminated.
std::string_view FormatFrameDump(std::span<const uint8_t> frame, std::span<char, kDumpTextSize> dump);
std::string_view FormatFrameDump(const ReceiveRecord& record, std::span<char, kDumpTextSize> dump);

// One more line for the Receive Detail list: counts it in `line_count` and
// says whether the oldest line goes first and which line is then selected.
struct ReceiveListStep {
    bool delete_oldest;
    int32_t select;
};
ReceiveListStep CountReceiveLine(int32_t& line_count);

}  // namespace qz6::mon
