// The monitor's reply decoders and what the data windows make of a reply:
// any command block as a READ_STATUS, READ_DCD_CTS, READ_STATISTICS or
// READ_COMM_ERRORS reply, against what the windows last showed.
//
// Input: the block (528 bytes), the saved block of a statistics window
// (528), then the shown link status (4) and modem byte (1); zero-filled.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "monitor/channel/command_block.h"
#include "monitor/channel/replies.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::mon;

namespace {

CommandBlock g_block;
CommandBlock g_saved;

// The wire is little-endian and so is this host: a plain copy of the
// packed layout is the reference decoding.
template <typename T>
T CopyOf(const CommandBlock& block)
{
    T value;
    memcpy(&value, block.data, sizeof(T));
    return value;
}

template <typename T>
bool SameBytes(const T& a, const T& b)
{
    return memcmp(&a, &b, sizeof(T)) == 0;
}

// A number text into a 12-character buffer, read back as a number.
template <typename Format>
unsigned long ReadBack(Format format, int base, const char* prefix)
{
    GuardedBuffer<12> buffer;
    char* text = reinterpret_cast<char*>(buffer.Claim(12));
    const std::string_view shown = format(std::span<char, 12>(text, 12));
    buffer.Release();
    FUZZ_CHECK(shown.data() == text && shown.size() < 12 && text[shown.size()] == 0);
    FUZZ_CHECK(shown.starts_with(prefix));
    char* end = nullptr;
    const unsigned long value = strtoul(text + strlen(prefix), &end, base);
    FUZZ_CHECK(end == text + shown.size());
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    FillFrom(reinterpret_cast<uint8_t*>(&g_block), sizeof(g_block), in.Bytes(sizeof(g_block)), 0);
    FillFrom(reinterpret_cast<uint8_t*>(&g_saved), sizeof(g_saved), in.Bytes(sizeof(g_saved)), 0);
    LinkStatusShown shown;
    if (in.Flag()) {
        shown.channel_status = in.U8();
        shown.frames_queued = in.U16();
        shown.interrupt_byte = in.U8();
    }
    uint8_t modem_shown = in.Flag() ? in.U8() : kModemLinesStart;

    // ---- Decoders.
    const StatusReply status = DecodeStatusReply(g_block);
    FUZZ_CHECK(SameBytes(status, CopyOf<StatusReply>(g_block)));
    const ModemLinesReply lines = DecodeModemLinesReply(g_block);
    FUZZ_CHECK(SameBytes(lines, CopyOf<ModemLinesReply>(g_block)));
    const StatisticsReply statistics = DecodeStatisticsReply(g_block);
    FUZZ_CHECK(SameBytes(statistics, CopyOf<StatisticsReply>(g_block)));
    const CommErrorsReply errors = DecodeCommErrorsReply(g_block);
    FUZZ_CHECK(SameBytes(errors, CopyOf<CommErrorsReply>(g_block)));

    // ---- Texts.
    const uint32_t number = statistics.tx_frames;
    FUZZ_CHECK(ReadBack([&](std::span<char, 12> out) { return FormatDecimal(number, out); }, 10, "") == number);
    FUZZ_CHECK(ReadBack([&](std::span<char, 12> out) { return FormatHexByte(status.interrupt_pending, out); }, 16,
                        "0x") == status.interrupt_pending);
    FUZZ_CHECK(ChannelStatusText(status.channel_status) == (status.channel_status ? "ENABLED" : "DISABLED"));

    // ---- Link Status: exactly the fields that differ are rewritten, once.
    const LinkStatusShown before = shown;
    const uint8_t changed = UpdateLinkStatusShown(shown, status);
    const uint16_t queued = status.rx_frames_queued;
    FUZZ_CHECK(((changed & kChannelStatusChanged) != 0) == (before.channel_status != status.channel_status));
    FUZZ_CHECK(((changed & kFramesQueuedChanged) != 0) == (before.frames_queued != queued));
    FUZZ_CHECK(((changed & kInterruptByteChanged) != 0) == (before.interrupt_byte != status.interrupt_pending));
    FUZZ_CHECK((changed & ~(kChannelStatusChanged | kFramesQueuedChanged | kInterruptByteChanged)) == 0);
    FUZZ_CHECK(shown.channel_status == status.channel_status && shown.frames_queued == queued &&
               shown.interrupt_byte == status.interrupt_pending);
    FUZZ_CHECK(UpdateLinkStatusShown(shown, status) == 0);

    // ---- Modem Status.
    const uint8_t modem_before = modem_shown;
    FUZZ_CHECK(UpdateModemLinesShown(modem_shown, lines) == (modem_before != lines.modem_lines));
    FUZZ_CHECK(modem_shown == lines.modem_lines && !UpdateModemLinesShown(modem_shown, lines));
    FUZZ_CHECK(LineLevelText(lines.modem_lines, MODEM_LINE_DCD) == ((lines.modem_lines & MODEM_LINE_DCD) ? "High" : "Low"));

    // ---- Statistics windows.
    const StatisticsPoll poll = JudgeStatisticsPoll(g_block, g_saved);
    if (memcmp(&g_block, &g_saved, sizeof(CommandBlock)) == 0)
        FUZZ_CHECK(poll == StatisticsPoll::Unchanged);
    else
        FUZZ_CHECK(poll == (g_block.return_code != RETURN_SUCCESS ? StatisticsPoll::Failed : StatisticsPoll::Redraw));
    // A stale saved block never hides a read's first answer.
    MarkSavedBlockStale(g_saved);
    if (g_block.command == READ_STATISTICS || g_block.command == READ_COMM_ERRORS)
        FUZZ_CHECK(JudgeStatisticsPoll(g_block, g_saved) != StatisticsPoll::Unchanged);

    const CounterDisplayList operational = OperationalCounterDisplay(g_block);
    FUZZ_CHECK(operational.count == 10);
    const uint32_t expected[10] = {statistics.rx_discards_too_long, statistics.tx_frames, statistics.tx_bytes,
                                   statistics.rx_frames, statistics.rx_bytes, statistics.tx_throughput,
                                   statistics.tx_throughput_ms, statistics.rx_throughput,
                                   statistics.rx_throughput_ms, statistics.bridge_tx_discards};
    for (size_t i = 0; i < operational.count; ++i)
        FUZZ_CHECK(operational.items[i].control == 200 + i && operational.items[i].value == expected[i]);

    const CounterDisplayList comm = CommErrorCounterDisplay(g_block);
    FUZZ_CHECK(comm.count <= comm.items.size());
    size_t item = 0;
    for (size_t offset = 0; offset < sizeof(CommErrorsReply); ++offset) {
        if (CommErrorControlMap[offset] == kNotShown)
            continue;
        FUZZ_CHECK(item < comm.count);
        FUZZ_CHECK(comm.items[item].control == CommErrorControlMap[offset] &&
                   comm.items[item].value == g_block.data[offset]);
        ++item;
    }
    FUZZ_CHECK(item == comm.count);
    return 0;
}
