// The pcapng writer (see pcapng_writer.h).
#include "common/capture/pcapng_writer.h"

#include <string.h>

#include <algorithm>

namespace qz6::capture {
namespace {

// Little-endian fields into a block being built.
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

}  // namespace

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
    interface_count_ = 0;  // the section's interfaces come next
    return true;
}

bool CaptureWriter::AppendInterface(const InterfaceDescription& description)
{
    const size_t name_length = TextLength(description.name);
    if (name_length > kMaxTextOption)
        return false;
    const FrameEncoding& encoding = description.encoding;
    const size_t dissector_length =
        encoding.dissector == nullptr ? 0 : strnlen(encoding.dissector, kMaxDissectorName + 1);
    const bool tagged = encoding.link_type == kLinkTypeExportedPdu;
    if (tagged != (dissector_length != 0) || dissector_length > kMaxDissectorName ||
        interface_count_ == kMaxInterfaces)
        return false;
    const bool fcs = description.fcs_length_bits != 0;
    const size_t size = kMinInterface + OptionSize(name_length) + OptionSize(1) + (fcs ? OptionSize(1) : 0) + 4;
    if (size > FreeSpace())
        return false;
    BlockBuilder block(buffer_.subspan(length_, size), kBlockInterface);
    block.Put16(encoding.link_type);
    block.Put16(0);
    block.Put32(description.snap_length);
    block.PutOption(kIfName, Bytes(std::string_view(description.name == nullptr ? "" : description.name, name_length)));
    const uint8_t resolution = kMicrosecondResolution;
    block.PutOption(kIfTsResol, {&resolution, 1});
    if (fcs)
        block.PutOption(kIfFcsLen, {&description.fcs_length_bits, 1});
    length_ += block.Finish(true);
    dissectors_[interface_count_++] = {tagged ? encoding.dissector : "", dissector_length};
    return true;
}

std::string_view CaptureWriter::DissectorOf(uint32_t interface_id) const
{
    return interface_id < interface_count_ ? dissectors_[interface_id] : std::string_view{};
}

size_t CaptureWriter::PacketSize(const PacketRecord& packet) const
{
    const std::string_view dissector = DissectorOf(packet.interface_id);
    const size_t tags = dissector.empty() ? 0 : ExportedPduTagsSize(dissector, packet.direction);
    return PacketBlockSize(packet.data.size()) + tags;
}

bool CaptureWriter::AppendPacket(const PacketRecord& packet)
{
    const size_t size = PacketSize(packet);
    if (packet.data.size() > UINT32_MAX - 64 - kMaxPduTags || size > FreeSpace())
        return false;
    uint8_t tags[kMaxPduTags];
    const std::string_view dissector = DissectorOf(packet.interface_id);
    const size_t tags_length = dissector.empty() ? 0 : PutExportedPduTags(tags, dissector, packet.direction);
    const uint32_t frame_length = static_cast<uint32_t>(packet.data.size());
    const uint32_t original = packet.original_length > frame_length ? packet.original_length : frame_length;
    BlockBuilder block(buffer_.subspan(length_, size), kBlockEnhancedPacket);
    block.Put32(packet.interface_id);
    block.PutHighLow(packet.timestamp_us);
    block.Put32(static_cast<uint32_t>(tags_length) + frame_length);
    block.Put32(original <= UINT32_MAX - tags_length ? static_cast<uint32_t>(tags_length) + original : UINT32_MAX);
    block.PutBytes({tags, tags_length});  // a multiple of 4 long: no padding between
    block.PutBytes(packet.data);
    block.Put16(kEpbFlags);
    block.Put16(4);
    block.Put32((static_cast<uint32_t>(packet.direction) & kDirectionMask) | (packet.errors & kFrameErrorMask));
    length_ += block.Finish(true);
    return true;
}

bool CaptureWriter::AppendStatistics(const StatisticsRecord& statistics)
{
    if (kStatisticsBlockSize > FreeSpace())
        return false;
    BlockBuilder block(buffer_.subspan(length_, kStatisticsBlockSize), kBlockStatistics);
    block.Put32(statistics.interface_id);
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

void CaptureWriter::FollowSection(const CaptureWriter& previous)
{
    interface_count_ = previous.interface_count_;
    std::copy_n(previous.dissectors_, interface_count_, dissectors_);
}

void CaptureWriter::Consume(size_t count)
{
    if (count > length_)
        count = length_;
    if (count < length_)
        memmove(buffer_.data(), buffer_.data() + count, length_ - count);
    length_ -= count;
}

}  // namespace qz6::capture
