// The pcapng reader (see pcapng_reader.h).
#include "common/capture/pcapng_reader.h"

#include "common/capture/exported_pdu.h"
#include "common/capture/pcapng_blocks.h"

namespace qz6::capture {
namespace {

constexpr uint64_t kNanosPerSecond = 1000000000u;

uint64_t Power10(unsigned exponent)
{
    uint64_t value = 1;
    for (unsigned i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

}  // namespace

PcapngReader::PcapngReader(std::span<const uint8_t> file) : cursor_{file} {}

uint64_t PcapngReader::ReadTimestamp(size_t offset) const
{
    return (static_cast<uint64_t>(cursor_.Read32(offset)) << 32) | cursor_.Read32(offset + 4);
}

// Calls visit(code, value_offset, value_length) for each option between
// `begin` and `end`; false (after Fail) when one runs past `end`.
template <typename Visit>
bool PcapngReader::WalkOptions(size_t begin, size_t end, uint32_t type, size_t block_offset, Visit visit)
{
    size_t at = begin;
    while (end - at >= 4) {
        const uint16_t code = cursor_.Read16(at);
        const uint16_t length = cursor_.Read16(at + 2);
        if (code == kOptEnd)
            return true;
        if (PaddedTo4(length) > end - at - 4)
            return cursor_.Fail(ReadFault::BadOption, type, block_offset);
        if (!visit(code, at + 4, length))
            return cursor_.Fail(ReadFault::BadOption, type, block_offset);
        at += 4 + PaddedTo4(length);
    }
    return true;
}

bool PcapngReader::Next(CaptureFrame& frame)
{
    if (cursor_.Failed())
        return false;
    while (cursor_.position < cursor_.file.size()) {
        const size_t offset = cursor_.position;
        const size_t remaining = cursor_.file.size() - offset;
        ++cursor_.block_number;
        if (remaining < 12)
            return cursor_.Fail(ReadFault::Truncated, remaining >= 4 ? cursor_.Read32(offset) : 0, offset);
        uint32_t type = cursor_.Read32(offset);
        if (type == kBlockSectionHeader) {
            // The byte order is the section's own: read it from its magic first.
            const bool was_big = cursor_.big_endian;
            cursor_.big_endian = false;
            const uint32_t magic = cursor_.Read32(offset + 8);
            if (magic != kByteOrderMagic && magic != __builtin_bswap32(kByteOrderMagic)) {
                cursor_.big_endian = was_big;
                return cursor_.Fail(ReadFault::BadByteOrderMagic, type, offset);
            }
            cursor_.big_endian = magic != kByteOrderMagic;
        } else if (!in_section_) {
            return cursor_.Fail(ReadFault::NoSection, type, offset);
        }
        const uint32_t length = cursor_.Read32(offset + 4);
        if (length < 12 || length % 4 != 0)
            return cursor_.Fail(ReadFault::BadBlockLength, type, offset);
        if (length > remaining)
            return cursor_.Fail(ReadFault::Truncated, type, offset);
        if (cursor_.Read32(offset + length - 4) != length)
            return cursor_.Fail(ReadFault::LengthMismatch, type, offset);
        cursor_.position = offset + length;
        switch (type) {
        case kBlockSectionHeader:
            if (!ReadSectionHeader(offset, length))
                return false;
            break;
        case kBlockInterface:
            if (!ReadInterface(offset, length))
                return false;
            break;
        case kBlockEnhancedPacket:
            return ReadEnhancedPacket(offset, length, frame);
        case kBlockSimplePacket:
            return ReadSimplePacket(offset, length, frame);
        case kBlockStatistics:
            if (!ReadStatistics(offset, length))
                return false;
            break;
        default:
            break;  // a block this reader has no use for
        }
    }
    return false;
}

bool PcapngReader::ReadSectionHeader(size_t offset, uint32_t length)
{
    if (length < kMinSectionHeader)
        return cursor_.Fail(ReadFault::BadBlockLength, kBlockSectionHeader, offset);
    if (cursor_.Read16(offset + 12) != 1)
        return cursor_.Fail(ReadFault::UnsupportedVersion, kBlockSectionHeader, offset);
    in_section_ = true;
    interface_count_ = 0;
    application_ = {};
    return WalkOptions(offset + 24, offset + length - 4, kBlockSectionHeader, offset,
                       [this](uint16_t code, size_t value, uint16_t value_length) {
                           if (code == kShbUserAppl)
                               application_ = {reinterpret_cast<const char*>(cursor_.file.data() + value), value_length};
                           return true;
                       });
}

bool PcapngReader::ReadInterface(size_t offset, uint32_t length)
{
    if (length < kMinInterface)
        return cursor_.Fail(ReadFault::BadBlockLength, kBlockInterface, offset);
    if (interface_count_ == kMaxInterfaces)
        return cursor_.Fail(ReadFault::TooManyInterfaces, kBlockInterface, offset);
    Interface entry = {cursor_.Read16(offset + 8), 1000000, 0, 0};
    bool resolution_ok = true;
    const bool options_ok = WalkOptions(offset + 16, offset + length - 4, kBlockInterface, offset,
        [this, &entry, &resolution_ok](uint16_t code, size_t value, uint16_t value_length) {
            if (code == kIfTsResol) {
                if (value_length != 1)
                    return false;
                const uint8_t resolution = cursor_.file[value];
                const uint8_t exponent = resolution & 0x7F;
                if ((resolution & 0x80) != 0) {
                    resolution_ok = exponent < 64;
                    entry.units_per_second = 0;
                    entry.binary_exponent = exponent;
                } else {
                    resolution_ok = exponent <= 19;
                    entry.units_per_second = resolution_ok ? Power10(exponent) : 1;
                }
            } else if (code == kIfTsOffset) {
                if (value_length != 8)
                    return false;
                entry.offset_seconds = static_cast<int64_t>(cursor_.Read64(value));
            }
            return true;
        });
    if (!options_ok)
        return false;
    if (!resolution_ok)
        return cursor_.Fail(ReadFault::BadTimestampResolution, kBlockInterface, offset);
    interfaces_[interface_count_++] = entry;
    return true;
}

uint64_t PcapngReader::TimestampNs(const Interface& entry, uint64_t units) const
{
    // Unsigned arithmetic throughout: absurd values of a foreign file wrap
    // around instead of being undefined.
    uint64_t seconds;
    uint64_t nanos;
    if (entry.units_per_second != 0) {
        const uint64_t per_second = entry.units_per_second;
        seconds = units / per_second;
        const uint64_t fraction = units % per_second;
        nanos = per_second <= kNanosPerSecond ? fraction * (kNanosPerSecond / per_second)
                                              : fraction / (per_second / kNanosPerSecond);
    } else {
        unsigned exponent = entry.binary_exponent;
        seconds = exponent == 0 ? units : units >> exponent;
        uint64_t fraction = exponent == 0 ? 0 : units & ((static_cast<uint64_t>(1) << exponent) - 1);
        if (exponent > 32) {
            fraction >>= exponent - 32;
            exponent = 32;
        }
        nanos = (fraction * kNanosPerSecond) >> exponent;
    }
    return seconds * kNanosPerSecond + nanos + static_cast<uint64_t>(entry.offset_seconds) * kNanosPerSecond;
}

bool PcapngReader::ReadEnhancedPacket(size_t offset, uint32_t length, CaptureFrame& frame)
{
    if (length < kMinEnhancedPacket)
        return cursor_.Fail(ReadFault::BadBlockLength, kBlockEnhancedPacket, offset);
    const uint32_t interface_id = cursor_.Read32(offset + 8);
    if (interface_id >= interface_count_)
        return cursor_.Fail(ReadFault::UnknownInterface, kBlockEnhancedPacket, offset);
    const uint32_t captured = cursor_.Read32(offset + 20);
    if (captured > length - kMinEnhancedPacket)
        return cursor_.Fail(ReadFault::CapturedPastBlock, kBlockEnhancedPacket, offset);
    const Interface& entry = interfaces_[interface_id];
    Direction direction = Direction::Unknown;
    uint32_t errors = 0;
    const bool options_ok = WalkOptions(offset + 28 + PaddedTo4(captured), offset + length - 4, kBlockEnhancedPacket, offset,
        [this, &direction, &errors](uint16_t code, size_t value, uint16_t value_length) {
            if (code != kEpbFlags)
                return true;
            if (value_length != 4)
                return false;
            const uint32_t flags = cursor_.Read32(value);
            errors = flags & kFrameErrorMask;
            direction = static_cast<Direction>(flags & kDirectionMask);
            if (direction != Direction::Inbound && direction != Direction::Outbound)
                direction = Direction::Unknown;
            return true;
        });
    if (!options_ok)
        return false;
    frame.timestamp_ns = TimestampNs(entry, ReadTimestamp(offset + 12));
    frame.direction = direction;
    frame.link_type = entry.link_type;
    frame.interface_id = interface_id;
    frame.original_length = cursor_.Read32(offset + 24);
    frame.data = cursor_.file.subspan(offset + 28, captured);
    frame.errors = errors;
    return StripExportedPduTags(frame) || cursor_.Fail(ReadFault::BadExportedPdu, kBlockEnhancedPacket, offset);
}

bool PcapngReader::ReadSimplePacket(size_t offset, uint32_t length, CaptureFrame& frame)
{
    if (length < kMinSimplePacket)
        return cursor_.Fail(ReadFault::BadBlockLength, kBlockSimplePacket, offset);
    if (interface_count_ == 0)
        return cursor_.Fail(ReadFault::UnknownInterface, kBlockSimplePacket, offset);
    const uint32_t original = cursor_.Read32(offset + 8);
    const uint32_t room = length - kMinSimplePacket;
    frame.timestamp_ns = 0;  // a simple packet block carries no time
    frame.direction = Direction::Unknown;
    frame.link_type = interfaces_[0].link_type;
    frame.interface_id = 0;
    frame.original_length = original;
    frame.data = cursor_.file.subspan(offset + 12, original < room ? original : room);
    frame.errors = 0;
    return StripExportedPduTags(frame) || cursor_.Fail(ReadFault::BadExportedPdu, kBlockSimplePacket, offset);
}

bool PcapngReader::ReadStatistics(size_t offset, uint32_t length)
{
    if (length < kMinStatistics)
        return cursor_.Fail(ReadFault::BadBlockLength, kBlockStatistics, offset);
    const uint32_t interface_id = cursor_.Read32(offset + 8);
    if (interface_id >= interface_count_)
        return cursor_.Fail(ReadFault::UnknownInterface, kBlockStatistics, offset);
    const Interface& entry = interfaces_[interface_id];
    CaptureStatistics statistics = {};
    statistics.present = true;
    statistics.interface_id = interface_id;
    const bool options_ok = WalkOptions(offset + 20, offset + length - 4, kBlockStatistics, offset,
        [this, &statistics, &entry](uint16_t code, size_t value, uint16_t value_length) {
            if (code != kIsbStartTime && code != kIsbEndTime && code != kIsbIfDrop)
                return true;
            if (value_length != 8)
                return false;
            if (code == kIsbStartTime) {
                statistics.has_start = true;
                statistics.start_ns = TimestampNs(entry, ReadTimestamp(value));
            } else if (code == kIsbEndTime) {
                statistics.has_end = true;
                statistics.end_ns = TimestampNs(entry, ReadTimestamp(value));
            } else {
                statistics.has_dropped = true;
                statistics.frames_dropped = cursor_.Read64(value);
            }
            return true;
        });
    if (!options_ok)
        return false;
    statistics_ = statistics;
    return true;
}

}  // namespace qz6::capture
