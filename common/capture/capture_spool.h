// What a capture keeps between the threads that see frames and the file: a
// spool of two pcapng buffers, the clock that stamps each frame and the
// adapter's drop count over a capture. No Windows header: compiled and
// tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/capture/pcapng_writer.h"
#include "common/stream_protocol.h"

namespace qz6::capture {

// Two buffers of pcapng blocks. Frames go into the filling one as whole
// enhanced packet blocks; the writer takes the other one's bytes out to
// the file after swapping them (TakeFilled), so that appending never waits
// for the file and the file gets every block in the order appended. A
// frame that does not fit the filling buffer is counted in `overflowed`,
// not written. The caller serialises AppendFrame and TakeFilled (a lock),
// and writes out and releases (Written) what TakeFilled returned before
// the next TakeFilled.
class CaptureSpool {
public:
    CaptureSpool() = default;
    CaptureSpool(std::span<uint8_t> first, std::span<uint8_t> second);

    // A frame into the filling buffer; false (counted) when it does not fit.
    bool AppendFrame(const PacketRecord& packet);
    // Swaps the buffers and returns the bytes of the one that was filling.
    std::span<const uint8_t> TakeFilled();
    // Those bytes are in the file.
    void Written();
    // The filling buffer, for the file's own blocks (section header,
    // interface, statistics) while no frame is appended.
    CaptureWriter& Filling() { return writers_[filling_]; }
    // The frames appended next belong to the section and interfaces `head`
    // describes (the file's head, written apart from the spool).
    void FollowSection(const CaptureWriter& head);

    uint32_t frames() const { return frames_; }
    uint32_t overflowed() const { return overflowed_; }

private:
    CaptureWriter writers_[2] = {CaptureWriter({}), CaptureWriter({})};
    unsigned filling_ = 0;
    uint32_t frames_ = 0;
    uint32_t overflowed_ = 0;
};

// A frame the adapter received, as the capture records it: its own bytes
// (without the CRC bytes the adapter may append), inbound, and with
// kFrameCrcError where the adapter marked a bad CRC (the only error it
// passes a frame up with: aborted and too long frames never arrive).
PacketRecord ReceivedPacket(const ReceiveRecord& record, uint64_t timestamp_us);

// The time of each frame, in microseconds since 1970: the adapter's
// timestamp where the frame carries one (milliseconds on the adapter's own
// clock, set against the host's clock at the first such frame and followed
// through its wrap), else the host's time of receipt or sending. A frame is
// never stamped earlier than the one before it, so the file is in time
// order even where the two clocks meet.
struct CaptureClock {
    uint64_t last_us;
    bool adapter_seen;
    uint64_t adapter_origin_us;  // host time of adapter millisecond 0
    uint64_t adapter_ms;         // the adapter's clock, unwrapped
};

uint64_t StampFromHost(CaptureClock& clock, uint64_t host_us);
uint64_t StampFromAdapter(CaptureClock& clock, uint32_t adapter_ms, uint64_t host_us);

// A frame the adapter received on interface `interface_id`, as every
// capture records it (ReceivedPacket above), stamped by the adapter where
// the frame carries a timestamp, else with `host_us`, the host's time of
// receipt.
// The record must outlive the result, which points into it.
PacketRecord ReceivedPacket(CaptureClock& clock, const ReceiveRecord& record, uint64_t host_us, uint32_t interface_id);

// Frames the adapter dropped between two READ_COMM_ERRORS replies: receive
// overruns and frames with every receive buffer full. The counters stop at
// 255, so a count that reached it is a lower bound.
uint32_t FramesDroppedBetween(const CommErrorsReply& start, const CommErrorsReply& end);

}  // namespace qz6::capture
