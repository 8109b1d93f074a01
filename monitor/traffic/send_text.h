// What the Send Frames window makes of its texts: the ring of the last ten
// frames sent, and the Send Many stream with its status line. No Windows
// header: compiled and tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/stream_protocol.h"

namespace qz6::mon {

// A Data box text as kept: at most 999 characters and a terminator.
inline constexpr size_t kFrameTextSize = 1000;
// A text frame is at most 511 characters, so that its terminator still
// fits the command block's data.
inline constexpr size_t kTextFrameMax = kCommandDataSize - 1;
inline constexpr int32_t kFrameHistorySlots = 10;

// ---- Hex mode ------------------------------------------------------------------
// The Data box in hex mode is read by ParseSpacedHexTokens (common/hex_text.h):
// one byte per space-separated token, tokens beyond the block dropped.

// ---- History -----------------------------------------------------------------------
// The Data box texts of the last ten SENDs; the newest is in slot
// (next_index - 1) mod 10.
struct FrameHistory {
    char entries[kFrameHistorySlots][kFrameTextSize];
    int32_t count;       // filled slots, 0..10
    int32_t next_index;  // slot for the next text, 0..9
};

// Stores the text (its first 999 characters) over the oldest once ten are kept.
void RememberFrame(FrameHistory& history, std::string_view text);

// The k-th newest text, k from 0 to count - 1; empty outside that range.
std::string_view HistoryEntry(const FrameHistory& history, int32_t newest_first);

// ---- Send Many -------------------------------------------------------------------------
inline constexpr uint16_t kSendManyDefaultLength = 100;
inline constexpr uint16_t kSendManyMaxLength = kCommandDataSize;
// The status line's buffer; its longest text is 35 characters.
inline constexpr size_t kSendManyStatusSize = 40;

struct SendManyState {
    bool running;
    uint8_t fill_byte;    // every data byte of the next frame
    uint16_t length;      // data_length of every frame, 0..512
    uint16_t sent_count;  // frames accepted since Start
};

// The "Length:" box read as an unsigned decimal number (0 when it is no
// such number), limited to 512; `limited` when the box must show 512.
struct SendManyLength {
    uint16_t length;
    bool limited;
};
SendManyLength ParseSendManyLength(std::string_view text);

// Start: running, byte 0, count 0, the given length.
void StartSendMany(SendManyState& state, uint16_t length);

// The next frame: `length` bytes of the fill byte; returns its length.
uint16_t FillStreamFrame(const SendManyState& state, std::span<uint8_t, kCommandDataSize> data);

// "Sent # %u: %02X %02X %02X... - RC 0x%02X" for the frame just sent.
std::string_view FormatSendManyStatus(const SendManyState& state, uint8_t return_code,
                                      std::span<char, kSendManyStatusSize> text);

// After a streamed frame: only an accepted one moves the number and the
// byte on, so a refused frame goes out again unchanged.
void AfterStreamFrame(SendManyState& state, uint8_t return_code);

}  // namespace qz6::mon
