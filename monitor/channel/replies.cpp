#include "monitor/channel/replies.h"

#include "common/formatted_text.h"
#include "monitor/channel/command_block.h"

namespace qz6::mon {
namespace {

std::span<const uint8_t> DataOf(const CommandBlock& block)
{
    return {block.data, kCommandDataSize};
}

}  // namespace

StatusReply DecodeStatusReply(const CommandBlock& block)
{
    const auto data = DataOf(block);
    StatusReply reply = {};
    reply.channel_status = data[0];
    reply.rx_frames_queued = ReadLe16(data, 1);
    reply.tx_frames_queued = ReadLe16(data, 3);
    reply.interrupt_pending = data[5];
    return reply;
}

ModemLinesReply DecodeModemLinesReply(const CommandBlock& block)
{
    return ModemLinesReply{block.data[0]};
}

StatisticsReply DecodeStatisticsReply(const CommandBlock& block)
{
    const auto data = DataOf(block);
    StatisticsReply reply = {};
    reply.rx_discards_too_long = ReadLe16(data, 0);
    for (size_t i = 0; i < sizeof reply.unused2; ++i)
        reply.unused2[i] = data[2 + i];
    reply.tx_frames = ReadLe32(data, 6);
    reply.tx_bytes = ReadLe32(data, 10);
    reply.rx_frames = ReadLe32(data, 14);
    reply.rx_bytes = ReadLe32(data, 18);
    reply.tx_throughput = ReadLe32(data, 22);
    reply.tx_throughput_ms = ReadLe32(data, 26);
    reply.rx_throughput = ReadLe32(data, 30);
    reply.rx_throughput_ms = ReadLe32(data, 34);
    reply.bridge_tx_discards = ReadLe32(data, 38);
    return reply;
}

CommErrorsReply DecodeCommErrorsReply(const CommandBlock& block)
{
    const auto data = DataOf(block);
    return CommErrorsReply{data[0], data[1], data[2], data[3], data[4], data[5], data[6], data[7], data[8], data[9]};
}

std::string_view FormatDecimal(uint32_t value, std::span<char, 12> out)
{
    return FormatInto(out, "%lu", static_cast<unsigned long>(value));
}

std::string_view FormatHexByte(uint8_t value, std::span<char, 12> out)
{
    return FormatInto(out, "0x%02X", static_cast<unsigned>(value));
}

uint8_t UpdateLinkStatusShown(LinkStatusShown& shown, const StatusReply& reply)
{
    uint8_t changed = 0;
    if (reply.channel_status != shown.channel_status) {
        shown.channel_status = reply.channel_status;
        changed |= kChannelStatusChanged;
    }
    if (reply.rx_frames_queued != shown.frames_queued) {
        shown.frames_queued = reply.rx_frames_queued;
        changed |= kFramesQueuedChanged;
    }
    if (reply.interrupt_pending != shown.interrupt_byte) {
        shown.interrupt_byte = reply.interrupt_pending;
        changed |= kInterruptByteChanged;
    }
    return changed;
}

bool UpdateModemLinesShown(uint8_t& shown, const ModemLinesReply& reply)
{
    if (reply.modem_lines == shown)
        return false;
    shown = reply.modem_lines;
    return true;
}

StatisticsPoll JudgeStatisticsPoll(const CommandBlock& block, const CommandBlock& saved)
{
    if (SameCommandBlock(block, saved))
        return StatisticsPoll::Unchanged;
    if (block.return_code != RETURN_SUCCESS)
        return StatisticsPoll::Failed;
    return StatisticsPoll::Redraw;
}

void MarkSavedBlockStale(CommandBlock& saved)
{
    saved.command = 255;
}

CounterDisplayList OperationalCounterDisplay(const CommandBlock& block)
{
    const StatisticsReply reply = DecodeStatisticsReply(block);
    const uint32_t values[] = {reply.rx_discards_too_long, reply.tx_frames,       reply.tx_bytes,
                               reply.rx_frames,            reply.rx_bytes,        reply.tx_throughput,
                               reply.tx_throughput_ms,     reply.rx_throughput,   reply.rx_throughput_ms,
                               reply.bridge_tx_discards};
    CounterDisplayList list = {};
    for (uint32_t value : values) {
        list.items[list.count] = CounterDisplay{static_cast<uint16_t>(200 + list.count), value};
        ++list.count;
    }
    return list;
}

CounterDisplayList CommErrorCounterDisplay(const CommandBlock& block)
{
    const CommErrorsReply reply = DecodeCommErrorsReply(block);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&reply);
    CounterDisplayList list = {};
    for (size_t offset = 0; offset < sizeof reply && CommErrorControlMap[offset] != kControlMapEnd; ++offset) {
        if (CommErrorControlMap[offset] == kNotShown)
            continue;
        list.items[list.count] = CounterDisplay{CommErrorControlMap[offset], bytes[offset]};
        ++list.count;
    }
    return list;
}

}  // namespace qz6::mon
