// The tags that the exported-PDU link type (kLinkTypeExportedPdu) puts in
// front of each frame: (type, length, value) triples, big-endian whatever
// the file's byte order, each value padded with zero bytes to a multiple of
// 4 (the padding counts in the length), the last one of type 0 and length
// 0. Wireshark hands the bytes behind them to the dissector a tag names.
//
// The writer names the dissector and, where the frame's direction is
// known, the direction too (Wireshark's LAPB takes a sent frame as DTE to
// DCE, a received one as DCE to DTE); the readers hand out the bytes
// behind the tags as the frame.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>
#include <string_view>

#include "common/capture/capture_types.h"
#include "common/capture/reader_types.h"

namespace qz6::capture {

constexpr uint16_t kPduTagEnd = 0;
constexpr uint16_t kPduTagDissector = 12;  // the dissector's name, e.g. "lapb"
constexpr uint16_t kPduTagDirection = 35;  // 4 bytes: kPduSent or kPduReceived
constexpr uint32_t kPduSent = 0;
constexpr uint32_t kPduReceived = 1;

// The longest dissector name the writer puts in a tag, and the most tag
// bytes it puts before a frame.
constexpr size_t kMaxDissectorName = 32;
constexpr size_t kMaxPduTags = 4 + kMaxDissectorName + 8 + 4;

// The tags before a frame going `direction` for `dissector` (at most
// kMaxDissectorName characters): their size, and the tags themselves into
// `room` (at least that size). Returns the size.
size_t ExportedPduTagsSize(std::string_view dissector, Direction direction);
size_t PutExportedPduTags(std::span<uint8_t> room, std::string_view dissector, Direction direction);

// What the tags at the start of a frame say.
struct ExportedPdu {
    std::string_view dissector;  // without its padding; empty when no tag names one
    Direction direction;         // Unknown without a direction tag
    size_t tags_length;          // the frame's own bytes start here
};

// Reads the tags at the start of `data`; false when one runs past it or
// the last one is missing.
bool ReadExportedPduTags(std::span<const uint8_t> data, ExportedPdu& pdu);

// A frame a reader read, when its link type is the exported-PDU one: its
// data and original length become those behind the tags, and its
// direction the tags' where it had none. False when the tags are damaged.
bool StripExportedPduTags(CaptureFrame& frame);

}  // namespace qz6::capture
