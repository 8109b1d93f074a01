// Capture files that Wireshark reads: a pcapng writer for the monitor and a
// reader of pcapng and classic pcap files for the simulator's replay.
//
// No Windows header and no allocation: both work on the caller's memory.
//
// Writer. The caller owns a fixed buffer; every Append* puts one whole block
// at the end of the bytes not yet written out, or nothing at all when the
// block does not fit (it then returns false: write Pending() out, Consume()
// it and append again). The caller does the file I/O, e.g. once a second
// and whenever an append fails. A file is: one section header, one
// interface (the adapter), its frames, and at the end the interface's
// statistics. Everything is written little-endian, timestamps in
// microseconds since 1970-01-01 00:00 UTC (if_tsresol 6). One writer is
// used by one thread at a time; it keeps no other state than its buffer.
//
//     std::array<uint8_t, 64 * 1024> buffer;
//     capture::CaptureWriter writer(buffer);
//     writer.AppendSectionHeader(capture::kMonitorApplication);
//     writer.AppendInterface({.name = "ROZAR6O0", .link_type = capture::kLinkTypeCiscoHdlc});
//     writer.AppendPacket({.timestamp_us = t, .direction = capture::Direction::Inbound, .data = frame});
//     file.Write(writer.Pending()); writer.Consume(writer.Pending().size());
//
// Reader. The whole file lies in the caller's memory (read into a buffer or
// mapped); CaptureReader walks it and hands out each frame with a span into
// that memory. pcapng in either byte order (section header, interface
// description, enhanced and simple packet, interface statistics blocks;
// other blocks are skipped) and classic pcap in either byte order with
// microsecond or nanosecond timestamps. A damaged or foreign file stops the
// walk at the first fault: Next() returns false from then on and Error()
// names the block (its number and type) and its offset; nothing past it is
// delivered.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>
#include <string_view>

#include "common/version.h"

namespace qz6::capture {

// ---------------------------------------------------------------------------
// Link types (the LINKTYPE_ values of pcap and pcapng files).

constexpr uint16_t kLinkTypePppHdlc = 50;     // PPP in HDLC-like framing (RFC 1662)
constexpr uint16_t kLinkTypeCiscoHdlc = 104;  // Cisco HDLC (RFC 1547, 4.3.1)
constexpr uint16_t kLinkTypeFrameRelay = 107; // Frame Relay, starting with the Q.922 address
constexpr uint16_t kLinkTypeUser0 = 147;      // LINKTYPE_USER0..USER15: private use
constexpr uint16_t kLinkTypeUser1 = 148;
// LAPB frames as they are on the line, address first. The registered LAPB
// type (LINKTYPE_LAPB_WITH_DIR, 207) puts a direction byte in front of
// every frame, and Wireshark 4.0 does not read it at all; Wireshark has no
// link type for bare LAPB frames. So LAPB captures use a private type of
// their own, which Wireshark decodes as LAPB once its "DLT_USER" table maps
// User 1 (DLT=148) to the "lapb" protocol (tshark: -o
// 'uat:user_dlts:"User 1 (DLT=148)","lapb","0","","0",""').
constexpr uint16_t kLinkTypeLapb = kLinkTypeUser1;
// Frames of no particular protocol, shown by Wireshark as plain data.
constexpr uint16_t kLinkTypeRawHdlc = kLinkTypeUser0;

// What the operator chooses the frames to be decoded as, in the order the
// monitor offers them.
struct LinkTypeChoice {
    const char* label;
    uint16_t link_type;
};
inline constexpr LinkTypeChoice kLinkTypeChoices[] = {
    {"HDLC frames, no decoding", kLinkTypeRawHdlc},
    {"Cisco HDLC", kLinkTypeCiscoHdlc},
    {"PPP in HDLC-like framing", kLinkTypePppHdlc},
    {"Frame Relay", kLinkTypeFrameRelay},
    {"LAPB (X.25)", kLinkTypeLapb},
};

// The label of a link type of the table, or nullptr.
const char* LinkTypeLabel(uint16_t link_type);

// shb_userappl of the monitor's captures.
inline constexpr char kMonitorApplication[] = "qz6mon " QZ6_VERSION_TEXT;

// ---------------------------------------------------------------------------
// Records.

// A frame's direction, as epb_flags bits 0-1 carry it.
enum class Direction : uint8_t {
    Unknown = 0,   // not recorded (classic pcap, or no epb_flags)
    Inbound = 1,   // received by the adapter
    Outbound = 2,  // sent by the adapter
};

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
};

struct StatisticsRecord {
    uint64_t start_us;           // isb_starttime: the capture started
    uint64_t end_us;             // isb_endtime and the block's timestamp: the capture ended
    uint64_t frames_dropped;     // isb_ifdrop: frames the adapter dropped during the capture
};

// Sizes of the blocks the writer appends, for sizing its buffer.
constexpr size_t kMaxTextOption = 256;  // longest application or interface name
constexpr size_t PaddedTo4(size_t length) { return (length + 3) & ~static_cast<size_t>(3); }
constexpr size_t PacketBlockSize(size_t data_length) { return 32 + PaddedTo4(data_length) + 12; }
constexpr size_t kStatisticsBlockSize = 64;

// ---------------------------------------------------------------------------
// Writer.

class CaptureWriter {
public:
    explicit CaptureWriter(std::span<uint8_t> buffer);

    // Section header with shb_userappl `application` (e.g. kMonitorApplication).
    bool AppendSectionHeader(std::string_view application);
    // Interface 0 of the section: if_name, if_tsresol 6 (microseconds),
    // if_fcslen when asked for.
    bool AppendInterface(const InterfaceDescription& description);
    // An enhanced packet block of interface 0 with epb_flags giving the
    // direction (no epb_flags for Direction::Unknown).
    bool AppendPacket(const PacketRecord& packet);
    // An interface statistics block of interface 0.
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

// ---------------------------------------------------------------------------
// Reader.

enum class FileFormat : uint8_t {
    Unknown,
    Pcapng,
    Pcap,       // classic, microsecond timestamps
    PcapNanos,  // classic, nanosecond timestamps
};

// pcapng block types the reader knows by name.
constexpr uint32_t kBlockSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kBlockInterface = 0x00000001;
constexpr uint32_t kBlockSimplePacket = 0x00000003;
constexpr uint32_t kBlockStatistics = 0x00000005;
constexpr uint32_t kBlockEnhancedPacket = 0x00000006;
// Pseudo types for the parts of a classic pcap file.
constexpr uint32_t kPcapFileHeader = 0xFFFFFF00;
constexpr uint32_t kPcapRecord = 0xFFFFFF01;

struct CaptureFrame {
    uint64_t timestamp_ns;       // since 1970-01-01 00:00 UTC
    Direction direction;
    uint16_t link_type;
    uint32_t interface_id;       // pcapng: within its section; pcap: 0
    uint32_t original_length;
    std::span<const uint8_t> data;  // into the caller's file memory
};

// The last interface statistics block seen, if any (pcapng only).
struct CaptureStatistics {
    bool present;
    bool has_start, has_end, has_dropped;
    uint32_t interface_id;
    uint64_t start_ns;
    uint64_t end_ns;
    uint64_t frames_dropped;
};

enum class ReadFault : uint8_t {
    None,
    NotACaptureFile,       // neither a pcapng section header nor a pcap magic number
    Truncated,             // the file ends inside the block
    BadBlockLength,        // below the block's minimum, not a multiple of 4, or past the file
    LengthMismatch,        // the trailing length differs from the leading one
    BadByteOrderMagic,     // section header's byte-order magic is neither order
    UnsupportedVersion,    // a major version the reader does not know
    NoSection,             // a block before any section header
    UnknownInterface,      // a packet or statistics block names an interface not described
    TooManyInterfaces,     // more than kMaxInterfaces in one section
    CapturedPastBlock,     // the captured length runs past the block
    BadOption,             // an option runs past the block, or has a wrong length
    BadTimestampResolution,
};

struct ReadError {
    ReadFault fault;
    uint32_t block_type;     // pcapng block type, or kPcapFileHeader / kPcapRecord
    uint64_t block_number;   // 1 for the file's first block or record (a pcap file header is 0)
    uint64_t offset;         // of the block in the file
};

constexpr unsigned kMaxInterfaces = 16;

class CaptureReader {
public:
    explicit CaptureReader(std::span<const uint8_t> file);

    // The next frame; false at the end of the file or at the first fault.
    bool Next(CaptureFrame& frame);

    bool Failed() const { return error_.fault != ReadFault::None; }
    const ReadError& Error() const { return error_; }
    FileFormat Format() const { return format_; }
    const CaptureStatistics& Statistics() const { return statistics_; }
    // shb_userappl of the current section, if any (points into the file).
    std::string_view Application() const { return application_; }

private:
    struct Interface {
        uint16_t link_type;
        uint64_t units_per_second;  // 10^n; 0 when binary
        uint8_t binary_exponent;    // 2^-n resolution when units_per_second is 0
        int64_t offset_seconds;     // if_tsoffset
    };

    bool Fail(ReadFault fault, uint32_t type, size_t offset);
    template <typename Visit>
    bool WalkOptions(size_t begin, size_t end, uint32_t type, size_t block_offset, Visit visit);
    bool StartClassic();
    bool NextClassic(CaptureFrame& frame);
    bool NextPcapng(CaptureFrame& frame);
    bool ReadSectionHeader(size_t offset, uint32_t length);
    bool ReadInterface(size_t offset, uint32_t length);
    bool ReadEnhancedPacket(size_t offset, uint32_t length, CaptureFrame& frame);
    bool ReadSimplePacket(size_t offset, uint32_t length, CaptureFrame& frame);
    bool ReadStatistics(size_t offset, uint32_t length);
    uint64_t TimestampNs(const Interface& entry, uint64_t units) const;
    uint16_t Read16(size_t offset) const;
    uint32_t Read32(size_t offset) const;
    uint64_t ReadTimestamp(size_t offset) const;  // two 32-bit halves, high first
    uint64_t Read64(size_t offset) const;         // one 64-bit number

    std::span<const uint8_t> file_;
    size_t position_ = 0;
    uint64_t block_number_ = 0;
    bool big_endian_ = false;
    bool in_section_ = false;
    FileFormat format_ = FileFormat::Unknown;
    uint16_t classic_link_type_ = 0;
    unsigned interface_count_ = 0;
    Interface interfaces_[kMaxInterfaces] = {};
    CaptureStatistics statistics_ = {};
    std::string_view application_;
    ReadError error_ = {};
};

// "block 3 (enhanced packet block) at offset 212: the captured length runs
// past the block" and the like, into `text` (always terminated, cut short
// when it does not fit). Returns the length written.
size_t FormatReadError(const ReadError& error, std::span<char> text);

}  // namespace qz6::capture
