#include "common/capture/capture_spool.h"

namespace qz6::capture {

CaptureSpool::CaptureSpool(std::span<uint8_t> first, std::span<uint8_t> second)
    : writers_{CaptureWriter(first), CaptureWriter(second)}
{
}

bool CaptureSpool::AppendFrame(const PacketRecord& packet)
{
    if (!writers_[filling_].AppendPacket(packet)) {
        ++overflowed_;
        return false;
    }
    ++frames_;
    return true;
}

std::span<const uint8_t> CaptureSpool::TakeFilled()
{
    const unsigned filled = filling_;
    filling_ ^= 1u;
    writers_[filling_].FollowSection(writers_[filled]);
    return writers_[filled].Pending();
}

void CaptureSpool::FollowSection(const CaptureWriter& head)
{
    for (CaptureWriter& writer : writers_)
        writer.FollowSection(head);
}

void CaptureSpool::Written()
{
    CaptureWriter& taken = writers_[filling_ ^ 1u];
    taken.Consume(taken.Pending().size());
}

PacketRecord ReceivedPacket(const ReceiveRecord& record, uint64_t timestamp_us)
{
    const uint32_t errors = (record.frame_bits & FRAME_BITS_CRC_ERROR) != 0 ? kFrameCrcError : 0;
    return {timestamp_us, Direction::Inbound, ArrivedFrameBytes(record), 0, errors};
}

uint64_t StampFromHost(CaptureClock& clock, uint64_t host_us)
{
    if (host_us > clock.last_us)
        clock.last_us = host_us;
    return clock.last_us;
}

uint64_t StampFromAdapter(CaptureClock& clock, uint32_t adapter_ms, uint64_t host_us)
{
    if (clock.adapter_seen) {
        // The 32-bit millisecond count moves on modulo 2^32; a step of less
        // than 2^31 back is a step back, not a whole wrap forward.
        const int64_t step = static_cast<int32_t>(adapter_ms - static_cast<uint32_t>(clock.adapter_ms));
        if (step >= 0 || static_cast<uint64_t>(-step) <= clock.adapter_ms) {
            clock.adapter_ms += static_cast<uint64_t>(step);
            return StampFromHost(clock, clock.adapter_origin_us + clock.adapter_ms * 1000u);
        }
    }
    // The first such frame, or a clock gone back past where it was first
    // read (the adapter started again): its time is set against the host's.
    clock.adapter_seen = true;
    clock.adapter_ms = adapter_ms;
    const uint64_t since_zero_us = static_cast<uint64_t>(adapter_ms) * 1000u;
    clock.adapter_origin_us = host_us > since_zero_us ? host_us - since_zero_us : 0;
    return StampFromHost(clock, clock.adapter_origin_us + clock.adapter_ms * 1000u);
}

PacketRecord ReceivedPacket(CaptureClock& clock, const ReceiveRecord& record, uint64_t host_us, uint32_t interface_id)
{
    const uint64_t stamp = (record.frame_bits & FRAME_BITS_TIMESTAMPED) != 0
                               ? StampFromAdapter(clock, record.timestamp_ms, host_us)
                               : StampFromHost(clock, host_us);
    PacketRecord packet = ReceivedPacket(record, stamp);
    packet.interface_id = interface_id;
    return packet;
}

uint32_t FramesDroppedBetween(const CommErrorsReply& start, const CommErrorsReply& end)
{
    auto moved = [](uint8_t before, uint8_t after) { return after > before ? static_cast<uint32_t>(after - before) : 0u; };
    return moved(start.rx_overruns, end.rx_overruns) + moved(start.rx_disabled_bfrs_full, end.rx_disabled_bfrs_full);
}

}  // namespace qz6::capture
