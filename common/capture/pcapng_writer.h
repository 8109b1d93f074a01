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
// (if_tsresol 6). Each frame carries its direction and the errors the
// adapter marked it with in epb_flags and, where its interface's encoding
// asks for them, the exported-PDU tags (exported_pdu.h) in front. One
// writer is used by one thread at a time; besides its buffer it keeps only
// the encodings of the interfaces it described.
//
//     std::array<uint8_t, 64 * 1024> buffer;
//     capture::CaptureWriter writer(buffer);
//     writer.AppendSectionHeader(capture::kMonitorApplication);
//     writer.AppendInterface({.name = "ROZAR6O0", .encoding = {capture::kLinkTypeCiscoHdlc}});
//     writer.AppendPacket({.timestamp_us = t, .direction = capture::Direction::Inbound, .data = frame});
//     file.Write(writer.Pending()); writer.Consume(writer.Pending().size());
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>
#include <string_view>

#include "common/capture/capture_types.h"
#include "common/capture/exported_pdu.h"
#include "common/capture/pcapng_blocks.h"
#include "common/version.h"

namespace qz6::capture {

// shb_userappl of the monitor's captures.
inline constexpr char kMonitorApplication[] = "qz6mon " QZ6_VERSION_TEXT;

struct InterfaceDescription {
    const char* name;            // if_name: the adapter's device name
    FrameEncoding encoding;      // e.g. a LinkTypeChoice's
    uint32_t snap_length = 0;    // 0: frames are never cut
    uint8_t fcs_length_bits = 0; // if_fcslen, when frames end in their CRC (16); 0: not written
};

struct PacketRecord {
    uint64_t timestamp_us;       // since 1970-01-01 00:00 UTC
    Direction direction;
    std::span<const uint8_t> data;
    uint32_t original_length = 0;  // the frame's length on the line; below data.size(): data.size()
    uint32_t errors = 0;           // kFrameCrcError and the other kFrameErrorMask bits
    uint32_t interface_id = 0;     // the interface the frame came through, in the order they were appended
};

struct StatisticsRecord {
    uint64_t start_us;           // isb_starttime: the capture started
    uint64_t end_us;             // isb_endtime and the block's timestamp: the capture ended
    uint64_t frames_dropped;     // isb_ifdrop: frames the adapter dropped during the capture
    uint32_t interface_id = 0;
};

// Sizes of the blocks the writer appends, for sizing its buffer (a frame
// with exported-PDU tags takes up to kMaxPduTags more).
constexpr size_t kMaxTextOption = 256;  // longest application or interface name
constexpr size_t PacketBlockSize(size_t data_length) { return 32 + PaddedTo4(data_length) + 12; }
constexpr size_t kStatisticsBlockSize = 64;

class CaptureWriter {
public:
    explicit CaptureWriter(std::span<uint8_t> buffer);

    // Section header with shb_userappl `application` (e.g. kMonitorApplication).
    bool AppendSectionHeader(std::string_view application);
    // The section's next interface (0, 1, ... below kMaxInterfaces):
    // if_name, if_tsresol 6 (microseconds), if_fcslen when asked for. False
    // too for an encoding that cannot be written: the exported-PDU link type
    // without a dissector (or with a name longer than kMaxDissectorName), a
    // dissector with another one.
    bool AppendInterface(const InterfaceDescription& description);
    // An enhanced packet block of its interface with epb_flags giving the
    // direction (0 for Direction::Unknown) and the errors; the frame behind
    // the exported-PDU tags its interface's encoding names (none for an
    // interface the section has not described).
    bool AppendPacket(const PacketRecord& packet);
    // The bytes AppendPacket(packet) takes.
    size_t PacketSize(const PacketRecord& packet) const;
    // An interface statistics block of its interface.
    bool AppendStatistics(const StatisticsRecord& statistics);

    // Whole blocks appended and not yet consumed, in file order.
    std::span<const uint8_t> Pending() const { return buffer_.first(length_); }
    // The caller wrote the first `count` pending bytes out (count is capped
    // at Pending().size()); the rest moves to the front.
    void Consume(size_t count);
    size_t FreeSpace() const { return buffer_.size() - length_; }

    // The frames appended next belong to the section and the interfaces
    // `previous` described (a spool's second buffer, taking over from the
    // first).
    void FollowSection(const CaptureWriter& previous);

private:
    std::string_view DissectorOf(uint32_t interface_id) const;

    std::span<uint8_t> buffer_;
    size_t length_ = 0;
    // The dissector each frame of an interface is tagged for; empty: none.
    std::string_view dissectors_[kMaxInterfaces];
    uint32_t interface_count_ = 0;
};

}  // namespace qz6::capture
