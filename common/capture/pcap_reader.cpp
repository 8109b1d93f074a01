// The classic pcap reader (see pcap_reader.h).
#include "common/capture/pcap_reader.h"

#include "common/capture/exported_pdu.h"

namespace qz6::capture {
namespace {

constexpr uint32_t kPcapMagicMicros = 0xA1B2C3D4;
constexpr uint32_t kPcapMagicNanos = 0xA1B23C4D;
constexpr size_t kPcapFileHeaderSize = 24;
constexpr size_t kPcapRecordHeaderSize = 16;

constexpr uint64_t kNanosPerSecond = 1000000000u;

// The format and the byte order that the magic number names.
struct Magic {
    FileFormat format;
    bool big_endian;
};

Magic ReadMagic(std::span<const uint8_t> file)
{
    if (file.size() < 4)
        return {FileFormat::Unknown, false};
    FileCursor cursor = {file};
    for (const bool big : {false, true}) {
        cursor.big_endian = big;
        const uint32_t magic = cursor.Read32(0);
        if (magic == kPcapMagicMicros)
            return {FileFormat::Pcap, big};
        if (magic == kPcapMagicNanos)
            return {FileFormat::PcapNanos, big};
    }
    return {FileFormat::Unknown, false};
}

}  // namespace

PcapReader::PcapReader(std::span<const uint8_t> file) : cursor_{file}
{
    const Magic magic = ReadMagic(file);
    format_ = magic.format;
    cursor_.big_endian = magic.big_endian;
    if (format_ == FileFormat::Unknown) {
        cursor_.Fail(ReadFault::NotACaptureFile, file.size() >= 4 ? cursor_.Read32(0) : 0, 0);
    } else if (file.size() < kPcapFileHeaderSize) {
        cursor_.Fail(ReadFault::Truncated, kPcapFileHeader, 0);
    } else if (cursor_.Read16(4) != 2) {
        cursor_.Fail(ReadFault::UnsupportedVersion, kPcapFileHeader, 0);
    } else {
        link_type_ = static_cast<uint16_t>(cursor_.Read32(20));
        cursor_.position = kPcapFileHeaderSize;
    }
}

bool PcapReader::Next(CaptureFrame& frame)
{
    FileCursor& at = cursor_;
    if (at.Failed() || at.position == at.file.size())
        return false;
    ++at.block_number;
    const size_t remaining = at.file.size() - at.position;
    if (remaining < kPcapRecordHeaderSize)
        return at.Fail(ReadFault::Truncated, kPcapRecord, at.position);
    const uint32_t captured = at.Read32(at.position + 8);
    if (captured > remaining - kPcapRecordHeaderSize)
        return at.Fail(ReadFault::Truncated, kPcapRecord, at.position);
    const uint64_t seconds = at.Read32(at.position);
    const uint64_t fraction = at.Read32(at.position + 4);
    frame.timestamp_ns = seconds * kNanosPerSecond + (format_ == FileFormat::Pcap ? fraction * 1000u : fraction);
    frame.direction = Direction::Unknown;
    frame.link_type = link_type_;
    frame.interface_id = 0;
    frame.original_length = at.Read32(at.position + 12);
    frame.data = at.file.subspan(at.position + kPcapRecordHeaderSize, captured);
    frame.errors = 0;
    if (!StripExportedPduTags(frame))
        return at.Fail(ReadFault::BadExportedPdu, kPcapRecord, at.position);
    at.position += kPcapRecordHeaderSize + captured;
    return true;
}

}  // namespace qz6::capture
