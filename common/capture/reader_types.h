// What the capture readers hand out and how they fail: the frames of a
// file, its last interface statistics, its format and the first fault met.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>

#include "common/capture/capture_types.h"

namespace qz6::capture {

enum class FileFormat : uint8_t {
    Unknown,
    Pcapng,
    Pcap,       // classic, microsecond timestamps
    PcapNanos,  // classic, nanosecond timestamps
};

// Pseudo block types for the parts of a classic pcap file.
constexpr uint32_t kPcapFileHeader = 0xFFFFFF00;
constexpr uint32_t kPcapRecord = 0xFFFFFF01;

// A frame of the exported-PDU link type is handed out as the bytes behind
// its tags (original_length likewise), with the tags' direction where
// epb_flags gives none.
struct CaptureFrame {
    uint64_t timestamp_ns;       // since 1970-01-01 00:00 UTC
    Direction direction;
    uint16_t link_type;
    uint32_t interface_id;       // pcapng: within its section; pcap: 0
    uint32_t original_length;
    std::span<const uint8_t> data;  // into the caller's file memory
    uint32_t errors;             // epb_flags' kFrameErrorMask bits (kFrameCrcError, ...); pcap: 0
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
    BadExportedPdu,        // the exported-PDU tags before the frame run past it or do not end
};

struct ReadError {
    ReadFault fault;
    uint32_t block_type;     // pcapng block type, or kPcapFileHeader / kPcapRecord
    uint64_t block_number;   // 1 for the file's first block or record (a pcap file header is 0)
    uint64_t offset;         // of the block in the file
};

// "block 3 (enhanced packet block) at offset 212: the captured length runs
// past the block" and the like, into `text` (always terminated, cut short
// when it does not fit). Returns the length written.
size_t FormatReadError(const ReadError& error, std::span<char> text);

}  // namespace qz6::capture
