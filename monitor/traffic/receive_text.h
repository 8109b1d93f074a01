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

// What the receive thread hands the GUI thread for the Receive Detail
// window, so that it never waits for the window: the newest summary lines
// (the list never shows more than the last 49, so older ones are simply
// overwritten), the bytes of the newest displayed frame for the dump, and
// the counter as "Count:" last allowed it to be shown. Its owner guards it
// with a lock held only for these copies.
struct ReceiveHandoff {
    char lines[kReceiveListLimit][kReceiveLineSize];
    uint64_t lines_written;   // since the thread started; line n is lines[n % 49]
    uint8_t dump_frame[kDumpBytes];
    uint16_t dump_length;
    uint32_t dump_serial;     // counts the frames put into dump_frame
    uint16_t counter_to_show;
    bool counter_pending;     // counter_to_show has not been shown yet
};

// What the GUI thread has shown of a handoff.
struct ReceiveShown {
    uint64_t lines_shown;
    uint32_t dump_serial;
};

// The receive thread: a line of text for the list (bounded to the line size).
void HandOverLine(ReceiveHandoff& handoff, std::string_view line);
// The receive thread: one received frame, already counted in `counter`,
// displayed (line and dump) when `display`, its count shown when `count`.
void HandOverFrame(ReceiveHandoff& handoff, const ReceiveRecord& record, bool display, bool count, uint16_t counter);

// The GUI thread: what to change since `shown`, taken in one copy.
struct ReceiveUpdate {
    char lines[kReceiveListLimit][kReceiveLineSize];  // oldest first
    int32_t line_count;     // lines to append, at most 49: the newest of those handed over
    bool new_dump;
    uint8_t dump_frame[kDumpBytes];
    uint16_t dump_length;
    bool new_counter;
    uint16_t counter;
};
void TakeReceiveUpdate(ReceiveHandoff& handoff, ReceiveShown& shown, ReceiveUpdate& update);

// One more line for the Receive Detail list: counts it in `line_count` and
// says whether the oldest line goes first and which line is then selected.
struct ReceiveListStep {
    bool delete_oldest;
    int32_t select;
};
ReceiveListStep CountReceiveLine(int32_t& line_count);

}  // namespace qz6::mon
