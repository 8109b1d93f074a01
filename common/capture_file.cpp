// pcapng writer, pcapng and classic pcap reader (see capture_file.h).
#include "common/capture_file.h"

#include <stdio.h>
#include <string.h>

namespace qz6::capture {
namespace {

constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint32_t kPcapMagicMicros = 0xA1B2C3D4;
constexpr uint32_t kPcapMagicNanos = 0xA1B23C4D;
constexpr size_t kPcapFileHeaderSize = 24;
constexpr size_t kPcapRecordHeaderSize = 16;

// Option codes, by block.
constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kShbUserAppl = 4;
constexpr uint16_t kIfName = 2;
constexpr uint16_t kIfTsResol = 9;
constexpr uint16_t kIfFcsLen = 13;
constexpr uint16_t kIfTsOffset = 14;
constexpr uint16_t kEpbFlags = 2;
constexpr uint16_t kIsbStartTime = 2;
constexpr uint16_t kIsbEndTime = 3;
constexpr uint16_t kIsbIfDrop = 5;

constexpr uint8_t kMicrosecondResolution = 6;
constexpr uint32_t kDirectionMask = 0x3;

// Smallest length of each block the reader knows: the fixed fields and the
// trailing length.
constexpr uint32_t kMinSectionHeader = 28;
constexpr uint32_t kMinInterface = 20;
constexpr uint32_t kMinSimplePacket = 16;
constexpr uint32_t kMinStatistics = 24;
constexpr uint32_t kMinEnhancedPacket = 32;

constexpr uint64_t kNanosPerSecond = 1000000000u;

// ---------------------------------------------------------------------------
// Writing: little-endian fields into a block being built.

class BlockBuilder {
public:
    BlockBuilder(std::span<uint8_t> room, uint32_t type) : room_(room) { Put32(type); Put32(0); }

    void Put16(uint16_t value)
    {
        room_[length_++] = static_cast<uint8_t>(value);
        room_[length_++] = static_cast<uint8_t>(value >> 8);
    }
    void Put32(uint32_t value)
    {
        Put16(static_cast<uint16_t>(value));
        Put16(static_cast<uint16_t>(value >> 16));
    }
    // pcapng's timestamps: two 32-bit halves, high first, each in the
    // section's byte order.
    void PutHighLow(uint64_t value)
    {
        Put32(static_cast<uint32_t>(value >> 32));
        Put32(static_cast<uint32_t>(value));
    }
    // Other 64-bit numbers (counters, the section length): one number in the
    // section's byte order.
    void Put64(uint64_t value)
    {
        Put32(static_cast<uint32_t>(value));
        Put32(static_cast<uint32_t>(value >> 32));
    }
    void PutBytes(std::span<const uint8_t> bytes)
    {
        if (!bytes.empty())
            memcpy(room_.data() + length_, bytes.data(), bytes.size());
        length_ += bytes.size();
        while (length_ % 4 != 0)
            room_[length_++] = 0;
    }
    void PutOption(uint16_t code, std::span<const uint8_t> value)
    {
        Put16(code);
        Put16(static_cast<uint16_t>(value.size()));
        PutBytes(value);
    }
    // Ends the options and the block; returns the block's length.
    size_t Finish(bool with_end_of_options)
    {
        if (with_end_of_options) {
            Put16(kOptEnd);
            Put16(0);
        }
        const size_t total = length_ + 4;
        Put32(static_cast<uint32_t>(total));
        length_ = 4;
        Put32(static_cast<uint32_t>(total));
        return total;
    }

private:
    std::span<uint8_t> room_;
    size_t length_ = 0;
};

std::span<const uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

size_t TextLength(const char* text)
{
    return text == nullptr ? 0 : strnlen(text, kMaxTextOption + 1);
}

size_t OptionSize(size_t value_length) { return 4 + PaddedTo4(value_length); }

// ---------------------------------------------------------------------------
// Reading.

uint64_t Power10(unsigned exponent)
{
    uint64_t value = 1;
    for (unsigned i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

struct FaultText {
    ReadFault fault;
    const char* text;
};
constexpr FaultText kFaultTexts[] = {
    {ReadFault::None, "no fault"},
    {ReadFault::NotACaptureFile, "not a pcapng or pcap file (no section header block or pcap magic number at the start)"},
    {ReadFault::Truncated, "the file ends inside this block"},
    {ReadFault::BadBlockLength, "the block length is too small, not a multiple of 4 or runs past the file"},
    {ReadFault::LengthMismatch, "the block's trailing length differs from its leading length"},
    {ReadFault::BadByteOrderMagic, "the byte-order magic is neither 0x1A2B3C4D nor its reverse"},
    {ReadFault::UnsupportedVersion, "a format version this reader does not know"},
    {ReadFault::NoSection, "a block outside any section"},
    {ReadFault::UnknownInterface, "the block names an interface that no interface description block described"},
    {ReadFault::TooManyInterfaces, "more interfaces in one section than this reader keeps (16)"},
    {ReadFault::CapturedPastBlock, "the captured length runs past the block"},
    {ReadFault::BadOption, "an option runs past the block or has the wrong length"},
    {ReadFault::BadTimestampResolution, "a timestamp resolution finer than this reader can count"},
};

struct BlockName {
    uint32_t type;
    const char* name;
};
constexpr BlockName kBlockNames[] = {
    {kBlockSectionHeader, "section header block"},
    {kBlockInterface, "interface description block"},
    {kBlockSimplePacket, "simple packet block"},
    {kBlockStatistics, "interface statistics block"},
    {kBlockEnhancedPacket, "enhanced packet block"},
};

}  // namespace

const char* LinkTypeLabel(uint16_t link_type)
{
    for (const LinkTypeChoice& choice : kLinkTypeChoices) {
        if (choice.link_type == link_type)
            return choice.label;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// CaptureWriter

CaptureWriter::CaptureWriter(std::span<uint8_t> buffer) : buffer_(buffer) {}

bool CaptureWriter::AppendSectionHeader(std::string_view application)
{
    if (application.size() > kMaxTextOption)
        return false;
    const size_t size = kMinSectionHeader + OptionSize(application.size()) + 4;
    if (size > FreeSpace())
        return false;
    BlockBuilder block(buffer_.subspan(length_, size), kBlockSectionHeader);
    block.Put32(kByteOrderMagic);
    block.Put16(1);  // major version
    block.Put16(0);  // minor version
    block.Put64(~static_cast<uint64_t>(0));  // section length: not given
    block.PutOption(kShbUserAppl, Bytes(application));
    length_ += block.Finish(true);
    return true;
}

bool CaptureWriter::AppendInterface(const InterfaceDescription& description)
{
    const size_t name_length = TextLength(description.name);
    if (name_length > kMaxTextOption)
        return false;
    const bool fcs = description.fcs_length_bits != 0;
    const size_t size = kMinInterface + OptionSize(name_length) + OptionSize(1) + (fcs ? OptionSize(1) : 0) + 4;
    if (size > FreeSpace())
        return false;
    BlockBuilder block(buffer_.subspan(length_, size), kBlockInterface);
    block.Put16(description.link_type);
    block.Put16(0);
    block.Put32(description.snap_length);
    block.PutOption(kIfName, Bytes(std::string_view(description.name == nullptr ? "" : description.name, name_length)));
    const uint8_t resolution = kMicrosecondResolution;
    block.PutOption(kIfTsResol, {&resolution, 1});
    if (fcs)
        block.PutOption(kIfFcsLen, {&description.fcs_length_bits, 1});
    length_ += block.Finish(true);
    return true;
}

bool CaptureWriter::AppendPacket(const PacketRecord& packet)
{
    const size_t size = PacketBlockSize(packet.data.size());
    if (packet.data.size() > UINT32_MAX - 64 || size > FreeSpace())
        return false;
    const uint32_t captured = static_cast<uint32_t>(packet.data.size());
    BlockBuilder block(buffer_.subspan(length_, size), kBlockEnhancedPacket);
    block.Put32(0);  // interface
    block.PutHighLow(packet.timestamp_us);
    block.Put32(captured);
    block.Put32(packet.original_length > captured ? packet.original_length : captured);
    block.PutBytes(packet.data);
    block.Put16(kEpbFlags);
    block.Put16(4);
    block.Put32(static_cast<uint32_t>(packet.direction) & kDirectionMask);
    length_ += block.Finish(true);
    return true;
}

bool CaptureWriter::AppendStatistics(const StatisticsRecord& statistics)
{
    if (kStatisticsBlockSize > FreeSpace())
        return false;
    BlockBuilder block(buffer_.subspan(length_, kStatisticsBlockSize), kBlockStatistics);
    block.Put32(0);  // interface
    block.PutHighLow(statistics.end_us);
    const uint16_t time_codes[] = {kIsbStartTime, kIsbEndTime};
    const uint64_t times[] = {statistics.start_us, statistics.end_us};
    for (size_t i = 0; i < 2; ++i) {
        block.Put16(time_codes[i]);
        block.Put16(8);
        block.PutHighLow(times[i]);
    }
    block.Put16(kIsbIfDrop);
    block.Put16(8);
    block.Put64(statistics.frames_dropped);
    length_ += block.Finish(true);
    return true;
}

void CaptureWriter::Consume(size_t count)
{
    if (count > length_)
        count = length_;
    if (count < length_)
        memmove(buffer_.data(), buffer_.data() + count, length_ - count);
    length_ -= count;
}

// ---------------------------------------------------------------------------
// CaptureReader

CaptureReader::CaptureReader(std::span<const uint8_t> file) : file_(file)
{
    if (file_.size() >= 4 && Read32(0) == kBlockSectionHeader) {
        format_ = FileFormat::Pcapng;
        return;
    }
    if (!StartClassic())
        Fail(ReadFault::NotACaptureFile, file_.size() >= 4 ? Read32(0) : 0, 0);
}

uint16_t CaptureReader::Read16(size_t offset) const
{
    const uint8_t* p = file_.data() + offset;
    return big_endian_ ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t CaptureReader::Read32(size_t offset) const
{
    const uint32_t first = Read16(offset);
    const uint32_t second = Read16(offset + 2);
    return big_endian_ ? (first << 16) | second : first | (second << 16);
}

uint64_t CaptureReader::ReadTimestamp(size_t offset) const
{
    return (static_cast<uint64_t>(Read32(offset)) << 32) | Read32(offset + 4);
}

uint64_t CaptureReader::Read64(size_t offset) const
{
    const uint64_t first = Read32(offset);
    const uint64_t second = Read32(offset + 4);
    return big_endian_ ? (first << 32) | second : first | (second << 32);
}

bool CaptureReader::Fail(ReadFault fault, uint32_t type, size_t offset)
{
    error_ = {fault, type, block_number_, offset};
    position_ = file_.size();
    return false;
}

bool CaptureReader::Next(CaptureFrame& frame)
{
    if (Failed())
        return false;
    if (format_ == FileFormat::Pcapng)
        return NextPcapng(frame);
    return NextClassic(frame);
}

// ---- classic pcap ------------------------------------------------------------

bool CaptureReader::StartClassic()
{
    if (file_.size() < 4)
        return false;
    for (const bool big : {false, true}) {
        big_endian_ = big;
        const uint32_t magic = Read32(0);
        if (magic == kPcapMagicMicros || magic == kPcapMagicNanos) {
            format_ = magic == kPcapMagicMicros ? FileFormat::Pcap : FileFormat::PcapNanos;
            break;
        }
    }
    if (format_ == FileFormat::Unknown) {
        big_endian_ = false;
        return false;
    }
    if (file_.size() < kPcapFileHeaderSize) {
        Fail(ReadFault::Truncated, kPcapFileHeader, 0);
    } else if (Read16(4) != 2) {
        Fail(ReadFault::UnsupportedVersion, kPcapFileHeader, 0);
    } else {
        classic_link_type_ = static_cast<uint16_t>(Read32(20));
        position_ = kPcapFileHeaderSize;
    }
    return true;
}

bool CaptureReader::NextClassic(CaptureFrame& frame)
{
    if (position_ == file_.size())
        return false;
    ++block_number_;
    const size_t remaining = file_.size() - position_;
    if (remaining < kPcapRecordHeaderSize)
        return Fail(ReadFault::Truncated, kPcapRecord, position_);
    const uint32_t captured = Read32(position_ + 8);
    if (captured > remaining - kPcapRecordHeaderSize)
        return Fail(ReadFault::Truncated, kPcapRecord, position_);
    const uint64_t seconds = Read32(position_);
    const uint64_t fraction = Read32(position_ + 4);
    frame.timestamp_ns = seconds * kNanosPerSecond + (format_ == FileFormat::Pcap ? fraction * 1000u : fraction);
    frame.direction = Direction::Unknown;
    frame.link_type = classic_link_type_;
    frame.interface_id = 0;
    frame.original_length = Read32(position_ + 12);
    frame.data = file_.subspan(position_ + kPcapRecordHeaderSize, captured);
    position_ += kPcapRecordHeaderSize + captured;
    return true;
}

// ---- pcapng --------------------------------------------------------------------

// Calls visit(code, value_offset, value_length) for each option between
// `begin` and `end`; false (after Fail) when one runs past `end`.
template <typename Visit>
bool CaptureReader::WalkOptions(size_t begin, size_t end, uint32_t type, size_t block_offset, Visit visit)
{
    size_t at = begin;
    while (end - at >= 4) {
        const uint16_t code = Read16(at);
        const uint16_t length = Read16(at + 2);
        if (code == kOptEnd)
            return true;
        if (PaddedTo4(length) > end - at - 4)
            return Fail(ReadFault::BadOption, type, block_offset);
        if (!visit(code, at + 4, length))
            return Fail(ReadFault::BadOption, type, block_offset);
        at += 4 + PaddedTo4(length);
    }
    return true;
}

bool CaptureReader::NextPcapng(CaptureFrame& frame)
{
    while (position_ < file_.size()) {
        const size_t offset = position_;
        const size_t remaining = file_.size() - offset;
        ++block_number_;
        if (remaining < 12)
            return Fail(ReadFault::Truncated, remaining >= 4 ? Read32(offset) : 0, offset);
        uint32_t type = Read32(offset);
        if (type == kBlockSectionHeader) {
            // The byte order is the section's own: read it from its magic first.
            const bool was_big = big_endian_;
            big_endian_ = false;
            const uint32_t magic = Read32(offset + 8);
            if (magic != kByteOrderMagic && magic != __builtin_bswap32(kByteOrderMagic)) {
                big_endian_ = was_big;
                return Fail(ReadFault::BadByteOrderMagic, type, offset);
            }
            big_endian_ = magic != kByteOrderMagic;
        } else if (!in_section_) {
            return Fail(ReadFault::NoSection, type, offset);
        }
        const uint32_t length = Read32(offset + 4);
        if (length < 12 || length % 4 != 0)
            return Fail(ReadFault::BadBlockLength, type, offset);
        if (length > remaining)
            return Fail(ReadFault::Truncated, type, offset);
        if (Read32(offset + length - 4) != length)
            return Fail(ReadFault::LengthMismatch, type, offset);
        position_ = offset + length;
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

bool CaptureReader::ReadSectionHeader(size_t offset, uint32_t length)
{
    if (length < kMinSectionHeader)
        return Fail(ReadFault::BadBlockLength, kBlockSectionHeader, offset);
    if (Read16(offset + 12) != 1)
        return Fail(ReadFault::UnsupportedVersion, kBlockSectionHeader, offset);
    in_section_ = true;
    interface_count_ = 0;
    application_ = {};
    return WalkOptions(offset + 24, offset + length - 4, kBlockSectionHeader, offset,
                       [this](uint16_t code, size_t value, uint16_t value_length) {
                           if (code == kShbUserAppl)
                               application_ = {reinterpret_cast<const char*>(file_.data() + value), value_length};
                           return true;
                       });
}

bool CaptureReader::ReadInterface(size_t offset, uint32_t length)
{
    if (length < kMinInterface)
        return Fail(ReadFault::BadBlockLength, kBlockInterface, offset);
    if (interface_count_ == kMaxInterfaces)
        return Fail(ReadFault::TooManyInterfaces, kBlockInterface, offset);
    Interface entry = {Read16(offset + 8), 1000000, 0, 0};
    bool resolution_ok = true;
    const bool options_ok = WalkOptions(offset + 16, offset + length - 4, kBlockInterface, offset,
        [this, &entry, &resolution_ok](uint16_t code, size_t value, uint16_t value_length) {
            if (code == kIfTsResol) {
                if (value_length != 1)
                    return false;
                const uint8_t resolution = file_[value];
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
                entry.offset_seconds = static_cast<int64_t>(Read64(value));
            }
            return true;
        });
    if (!options_ok)
        return false;
    if (!resolution_ok)
        return Fail(ReadFault::BadTimestampResolution, kBlockInterface, offset);
    interfaces_[interface_count_++] = entry;
    return true;
}

uint64_t CaptureReader::TimestampNs(const Interface& entry, uint64_t units) const
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

bool CaptureReader::ReadEnhancedPacket(size_t offset, uint32_t length, CaptureFrame& frame)
{
    if (length < kMinEnhancedPacket)
        return Fail(ReadFault::BadBlockLength, kBlockEnhancedPacket, offset);
    const uint32_t interface_id = Read32(offset + 8);
    if (interface_id >= interface_count_)
        return Fail(ReadFault::UnknownInterface, kBlockEnhancedPacket, offset);
    const uint32_t captured = Read32(offset + 20);
    if (captured > length - kMinEnhancedPacket)
        return Fail(ReadFault::CapturedPastBlock, kBlockEnhancedPacket, offset);
    const Interface& entry = interfaces_[interface_id];
    Direction direction = Direction::Unknown;
    const bool options_ok = WalkOptions(offset + 28 + PaddedTo4(captured), offset + length - 4, kBlockEnhancedPacket, offset,
        [this, &direction](uint16_t code, size_t value, uint16_t value_length) {
            if (code != kEpbFlags)
                return true;
            if (value_length != 4)
                return false;
            direction = static_cast<Direction>(Read32(value) & kDirectionMask);
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
    frame.original_length = Read32(offset + 24);
    frame.data = file_.subspan(offset + 28, captured);
    return true;
}

bool CaptureReader::ReadSimplePacket(size_t offset, uint32_t length, CaptureFrame& frame)
{
    if (length < kMinSimplePacket)
        return Fail(ReadFault::BadBlockLength, kBlockSimplePacket, offset);
    if (interface_count_ == 0)
        return Fail(ReadFault::UnknownInterface, kBlockSimplePacket, offset);
    const uint32_t original = Read32(offset + 8);
    const uint32_t room = length - kMinSimplePacket;
    frame.timestamp_ns = 0;  // a simple packet block carries no time
    frame.direction = Direction::Unknown;
    frame.link_type = interfaces_[0].link_type;
    frame.interface_id = 0;
    frame.original_length = original;
    frame.data = file_.subspan(offset + 12, original < room ? original : room);
    return true;
}

bool CaptureReader::ReadStatistics(size_t offset, uint32_t length)
{
    if (length < kMinStatistics)
        return Fail(ReadFault::BadBlockLength, kBlockStatistics, offset);
    const uint32_t interface_id = Read32(offset + 8);
    if (interface_id >= interface_count_)
        return Fail(ReadFault::UnknownInterface, kBlockStatistics, offset);
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
                statistics.frames_dropped = Read64(value);
            }
            return true;
        });
    if (!options_ok)
        return false;
    statistics_ = statistics;
    return true;
}

// ---------------------------------------------------------------------------

size_t FormatReadError(const ReadError& error, std::span<char> text)
{
    if (text.empty())
        return 0;
    const char* fault = "unknown fault";
    for (const FaultText& row : kFaultTexts) {
        if (row.fault == error.fault)
            fault = row.text;
    }
    const unsigned long long number = error.block_number;
    const unsigned long long offset = error.offset;
    int written;
    if (error.block_type == kPcapFileHeader) {
        written = snprintf(text.data(), text.size(), "pcap file header at offset %llu: %s", offset, fault);
    } else if (error.block_type == kPcapRecord) {
        written = snprintf(text.data(), text.size(), "pcap record %llu at offset %llu: %s", number, offset, fault);
    } else if (error.fault == ReadFault::NotACaptureFile) {
        written = snprintf(text.data(), text.size(), "offset 0: %s", fault);
    } else {
        const char* name = nullptr;
        for (const BlockName& row : kBlockNames) {
            if (row.type == error.block_type)
                name = row.name;
        }
        if (name != nullptr)
            written = snprintf(text.data(), text.size(), "block %llu (%s) at offset %llu: %s", number, name, offset, fault);
        else
            written = snprintf(text.data(), text.size(), "block %llu (type 0x%08lX) at offset %llu: %s", number,
                               static_cast<unsigned long>(error.block_type), offset, fault);
    }
    if (written < 0)
        return 0;
    return static_cast<size_t>(written) < text.size() ? static_cast<size_t>(written) : text.size() - 1;
}

}  // namespace qz6::capture
