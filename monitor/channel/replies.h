// The replies that the monitor windows poll: decoding them from the command
// block, the texts they are shown with, and the decisions of which controls
// a reply rewrites. No Windows header: compiled and tested natively.
//
// Reply layouts (StatusReply, ModemLinesReply, StatisticsReply,
// CommErrorsReply) live with the rest of the wire in common/stream_protocol.h;
// the decoders read them byte by byte, little-endian, so that neither the
// host's byte order nor the fields' odd offsets matter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/little_endian.h"
#include "common/stream_protocol.h"

namespace qz6::mon {

// The offsets the windows rely on, restated against the shared layouts.
static_assert(offsetof(StatusReply, channel_status) == 0);
static_assert(offsetof(StatusReply, rx_frames_queued) == 1);
static_assert(offsetof(StatusReply, interrupt_pending) == 5);
static_assert(offsetof(ModemLinesReply, modem_lines) == 0);
static_assert(offsetof(StatisticsReply, rx_discards_too_long) == 0);
static_assert(offsetof(StatisticsReply, tx_frames) == 6);
static_assert(offsetof(StatisticsReply, bridge_tx_discards) == 38);
static_assert(sizeof(StatisticsReply) == 42);
static_assert(offsetof(CommErrorsReply, rx_overruns) == 0);
static_assert(offsetof(CommErrorsReply, cts_drops) == 9);
static_assert(sizeof(CommErrorsReply) == 10);

// ---- Little-endian reads from a block's data -----------------------------------
constexpr uint16_t ReadLe16(std::span<const uint8_t> bytes, size_t offset) { return qz6::ReadLe16(&bytes[offset]); }
constexpr uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t offset) { return qz6::ReadLe32(&bytes[offset]); }

// ---- Decoders: the reply in `data` of a block whose return_code was 0 ----------
StatusReply DecodeStatusReply(const CommandBlock& block);
ModemLinesReply DecodeModemLinesReply(const CommandBlock& block);
StatisticsReply DecodeStatisticsReply(const CommandBlock& block);
CommErrorsReply DecodeCommErrorsReply(const CommandBlock& block);

// ---- Texts ------------------------------------------------------------------------
// Room for any 32-bit number in decimal and for "0x%02X".
using NumberText = std::array<char, 12>;

// "%lu": unsigned decimal.
std::string_view FormatDecimal(uint32_t value, std::span<char, 12> out);
// "0x%02X": the interrupt pending byte.
std::string_view FormatHexByte(uint8_t value, std::span<char, 12> out);

constexpr std::string_view ChannelStatusText(uint8_t channel_status)
{
    return channel_status != 0 ? "ENABLED" : "DISABLED";
}

constexpr std::string_view LineLevelText(uint8_t modem_lines, uint8_t line_bit)
{
    return (modem_lines & line_bit) != 0 ? "High" : "Low";
}

// ---- Link Status: what each control last showed ----------------------------------
// The start values double as "nothing shown yet": a reply carrying one of
// them leaves its control at "?".
struct LinkStatusShown {
    uint8_t channel_status = 255;
    uint16_t frames_queued = 0xFFFF;
    uint8_t interrupt_byte = 255;
};

// Controls that a reply rewrites, as bits.
enum LinkStatusChange : uint8_t {
    kChannelStatusChanged = 0x01,
    kFramesQueuedChanged = 0x02,
    kInterruptByteChanged = 0x04,
};

// Compares each field with what is shown, remembers the ones that differ
// and returns them. The three tests are independent.
uint8_t UpdateLinkStatusShown(LinkStatusShown& shown, const StatusReply& reply);

// ---- Modem Status ----------------------------------------------------------------------
inline constexpr uint8_t kModemLinesStart = 255;

// True when the byte differs from what is shown (any bit, shown or not):
// both line controls are then rewritten.
bool UpdateModemLinesShown(uint8_t& shown, const ModemLinesReply& reply);

// ---- Statistics windows ----------------------------------------------------------------
// What a poll of a statistics window does with the block after its read.
enum class StatisticsPoll : uint8_t {
    Unchanged,  // the whole block equals the saved one: nothing to do
    Failed,     // differs, but the read failed: display and saved block stay
    Redraw,     // save the block and rewrite every counter
};

StatisticsPoll JudgeStatisticsPoll(const CommandBlock& block, const CommandBlock& saved);

// Marks a saved block stale at a window's opening, so that its first
// successful read always redraws (a read leaves 7 or 9 in that byte).
void MarkSavedBlockStale(CommandBlock& saved);

// Communications Error Statistics: control id of each reply byte, by
// offset; kNotShown for a byte without a control, kControlMapEnd ends it.
inline constexpr uint16_t kNotShown = 0xFFFF;
inline constexpr uint16_t kControlMapEnd = 0;
inline constexpr std::array<uint16_t, 11> CommErrorControlMap = {
    200, 201, 202, 203, kNotShown, 204, kNotShown, kNotShown, 207, 208, kControlMapEnd,
};
static_assert(CommErrorControlMap.size() == sizeof(CommErrorsReply) + 1);

// What a redraw of a statistics window writes: each counter's control and
// value, in the order they are written.
struct CounterDisplay {
    uint16_t control;
    uint32_t value;
};
struct CounterDisplayList {
    std::array<CounterDisplay, 10> items;
    size_t count;
};

// Operational Statistics: control 200 shows rx_discards_too_long, control
// 201 + i the 32-bit counter at offset 6 + 4 * i (i from 0 to 8).
CounterDisplayList OperationalCounterDisplay(const CommandBlock& block);
// Communications Error Statistics: the reply bytes that CommErrorControlMap
// gives a control.
CounterDisplayList CommErrorCounterDisplay(const CommandBlock& block);

}  // namespace qz6::mon
