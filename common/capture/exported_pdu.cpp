// The exported-PDU tags (see exported_pdu.h).
#include "common/capture/exported_pdu.h"

#include <string.h>

#include "common/capture/pcapng_blocks.h"

namespace qz6::capture {
namespace {

uint16_t Read16(std::span<const uint8_t> data, size_t at)
{
    return static_cast<uint16_t>((data[at] << 8) | data[at + 1]);
}

size_t PutTag(std::span<uint8_t> room, size_t at, uint16_t type, std::span<const uint8_t> value)
{
    const size_t padded = PaddedTo4(value.size());
    room[at] = static_cast<uint8_t>(type >> 8);
    room[at + 1] = static_cast<uint8_t>(type);
    room[at + 2] = static_cast<uint8_t>(padded >> 8);
    room[at + 3] = static_cast<uint8_t>(padded);
    if (!value.empty())
        memcpy(room.data() + at + 4, value.data(), value.size());
    memset(room.data() + at + 4 + value.size(), 0, padded - value.size());
    return at + 4 + padded;
}

bool HasDirection(Direction direction)
{
    return direction == Direction::Inbound || direction == Direction::Outbound;
}

}  // namespace

size_t ExportedPduTagsSize(std::string_view dissector, Direction direction)
{
    return 4 + PaddedTo4(dissector.size()) + (HasDirection(direction) ? 8 : 0) + 4;
}

size_t PutExportedPduTags(std::span<uint8_t> room, std::string_view dissector, Direction direction)
{
    size_t at = PutTag(room, 0, kPduTagDissector, {reinterpret_cast<const uint8_t*>(dissector.data()), dissector.size()});
    if (HasDirection(direction)) {
        const uint8_t value[4] = {0, 0, 0, static_cast<uint8_t>(direction == Direction::Outbound ? kPduSent : kPduReceived)};
        at = PutTag(room, at, kPduTagDirection, value);
    }
    return PutTag(room, at, kPduTagEnd, {});
}

bool ReadExportedPduTags(std::span<const uint8_t> data, ExportedPdu& pdu)
{
    pdu = {{}, Direction::Unknown, 0};
    size_t at = 0;
    while (data.size() - at >= 4) {
        const uint16_t type = Read16(data, at);
        const uint16_t length = Read16(data, at + 2);
        at += 4;
        if (type == kPduTagEnd) {
            pdu.tags_length = at;
            return true;
        }
        if (length > data.size() - at)
            return false;
        const std::span<const uint8_t> value = data.subspan(at, length);
        if (type == kPduTagDissector && pdu.dissector.empty()) {
            const void* end = memchr(value.data(), 0, value.size());
            const size_t text_length = end == nullptr ? value.size() : static_cast<const uint8_t*>(end) - value.data();
            pdu.dissector = {reinterpret_cast<const char*>(value.data()), text_length};
        } else if (type == kPduTagDirection && length == 4) {
            const uint32_t direction = (static_cast<uint32_t>(Read16(value, 0)) << 16) | Read16(value, 2);
            pdu.direction = direction == kPduSent       ? Direction::Outbound
                            : direction == kPduReceived ? Direction::Inbound
                                                        : Direction::Unknown;
        }
        at += length;
    }
    return false;
}

bool StripExportedPduTags(CaptureFrame& frame)
{
    if (frame.link_type != kLinkTypeExportedPdu)
        return true;
    ExportedPdu pdu;
    if (!ReadExportedPduTags(frame.data, pdu))
        return false;
    frame.data = frame.data.subspan(pdu.tags_length);
    frame.original_length = frame.original_length > pdu.tags_length
                                ? frame.original_length - static_cast<uint32_t>(pdu.tags_length)
                                : static_cast<uint32_t>(frame.data.size());
    if (frame.direction == Direction::Unknown)
        frame.direction = pdu.direction;
    return true;
}

}  // namespace qz6::capture
