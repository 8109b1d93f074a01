// The pcapng reader: sections in either byte order with their section
// header, interface description, enhanced and simple packet and interface
// statistics blocks; other blocks are skipped. The whole file lies in the
// caller's memory; each frame is handed out with a span into it. A damaged
// file stops the walk at the first fault: Next() returns false from then
// on and Error() names the block (its number and type) and its offset;
// nothing past it is delivered.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>
#include <string_view>

#include "common/capture/file_cursor.h"
#include "common/capture/reader_types.h"

namespace qz6::capture {

class PcapngReader {
public:
    explicit PcapngReader(std::span<const uint8_t> file);

    // The next frame; false at the end of the file or at the first fault.
    bool Next(CaptureFrame& frame);

    const ReadError& Error() const { return cursor_.error; }
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

    template <typename Visit>
    bool WalkOptions(size_t begin, size_t end, uint32_t type, size_t block_offset, Visit visit);
    bool ReadSectionHeader(size_t offset, uint32_t length);
    bool ReadInterface(size_t offset, uint32_t length);
    bool ReadEnhancedPacket(size_t offset, uint32_t length, CaptureFrame& frame);
    bool ReadSimplePacket(size_t offset, uint32_t length, CaptureFrame& frame);
    bool ReadStatistics(size_t offset, uint32_t length);
    uint64_t TimestampNs(const Interface& entry, uint64_t units) const;
    uint64_t ReadTimestamp(size_t offset) const;  // two 32-bit halves, high first

    FileCursor cursor_;
    bool in_section_ = false;
    unsigned interface_count_ = 0;
    Interface interfaces_[kMaxInterfaces] = {};
    CaptureStatistics statistics_ = {};
    std::string_view application_;
};

}  // namespace qz6::capture
