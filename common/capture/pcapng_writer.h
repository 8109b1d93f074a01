// The pcapng writer: capture files that Wireshark reads, written by the
// monitor.
//
// No Windows header and no allocation: the caller owns a fixed buffer;
// every Append* puts one whole block at the end of the bytes not yet
// written out, or nothing at all when the block does not fit (it then
// returns false: write Pending() out, Consume() it and append again). The
// caller does the file I/O, e.g. once a second and whenever an append
// fails. A file is: one section header, one interface per adapter, their
// frames, and at the end each interface's statistics. Everything is written
// little-endian, timestamps in microseconds since 1970-01-01 00:00 UTC
// (if_tsresol 6). One writer is used by one thread at a time; it keeps no
// other state than its buffer.
//
//     std::array<uint8_t, 64 * 1024> buffer;
//     capture::CaptureWriter writer(buffer);
//     writer.AppendSectionHeader(capture::kMonitorApplication);
//     writer.AppendInterface({.name = "ROZAR6O0", .link_type = capture::kLinkTypeCiscoHdlc});
//     writer.AppendPacket({.timestamp_us = t, .direction = capture::Direction::Inbound, .data = frame});
//     file.Write(writer.Pending()); writer.Consume(writer.Pending().size());
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>
#include <string_view>

#include "common/capture/capture_types.h"
#include "common/capture/pcapng_blocks.h"
#include "common/version.h"

namespace qz6::capture {

// shb_userappl of the monitor's captures.
inline constexpr char kMonitorApplication[] = "qz6mon " QZ6_VERSION_TEXT;

struct InterfaceDescription {
    const char* name;            // if_name: the adapter's device name
    uint16_t link_type;
    uint32_t snap_length = 0;    // 0: frames are never cut
    uint8_t fcs_length_bits = 0; // if_fcslen, when frames end in their CRC (16); 0: not written
};

struct PacketRecord {
    uint64_t timestamp_us;       // since 1970-01-01 00:00 UTC
    Direction direction;
    std::span<const uint8_t> data;
    uint32_t original_length = 0;  // the frame's length on the line; below data.size(): data.size()
    uint32_t interface_id = 0;     // the interface the frame came through, in the order they were appended
};

struct StatisticsRecord {
    uint64_t start_us;           // isb_starttime: the capture started
    uint64_t end_us;             // isb_endtime and the block's timestamp: the capture ended
    uint64_t frames_dropped;     // isb_ifdrop: frames the adapter dropped during the capture
    uint32_t interface_id = 0;
};

// Sizes of the blocks the writer appends, for sizing its buffer.
constexpr size_t kMaxTextOption = 256;  // longest application or interface name
constexpr size_t PacketBlockSize(size_t data_length) { return 32 + PaddedTo4(data_length) + 12; }
constexpr size_t kStatisticsBlockSize = 64;

class CaptureWriter {
public:
    explicit CaptureWriter(std::span<uint8_t> buffer);

    // Section header with shb_userappl `application` (e.g. kMonitorApplication).
    bool AppendSectionHeader(std::string_view application);
    // The section's next interface (0, 1, ...): if_name, if_tsresol 6
    // (microseconds), if_fcslen when asked for.
    bool AppendInterface(const InterfaceDescription& description);
    // An enhanced packet block of its interface with epb_flags giving the
    // direction (0 for Direction::Unknown).
    bool AppendPacket(const PacketRecord& packet);
    // An interface statistics block of its interface.
    bool AppendStatistics(const StatisticsRecord& statistics);

    // Whole blocks appended and not yet consumed, in file order.
    std::span<const uint8_t> Pending() const { return buffer_.first(length_); }
    // The caller wrote the first `count` pending bytes out (count is capped
    // at Pending().size()); the rest moves to the front.
    void Consume(size_t count);
    size_t FreeSpace() const { return buffer_.size() - length_; }

private:
    std::span<uint8_t> buffer_;
    size_t length_ = 0;
};

}  // namespace qz6::capture
