// The pcapng blocks the writer writes and the reader reads: block types,
// option codes and the smallest length of each block. Numbers are in the
// section's byte order; a block is its type, its length, its body, its
// options (each a code, a length and a value padded to 4 bytes, the last
// one opt_endofopt) and its length again.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace qz6::capture {

constexpr uint32_t kBlockSectionHeader = 0x0A0D0D0A;
constexpr uint32_t kBlockInterface = 0x00000001;
constexpr uint32_t kBlockSimplePacket = 0x00000003;
constexpr uint32_t kBlockStatistics = 0x00000005;
constexpr uint32_t kBlockEnhancedPacket = 0x00000006;

// The section header's byte-order magic, as written in the section's order.
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;

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

// if_tsresol of microseconds (10^-6 s), the writer's resolution and the
// reader's default.
constexpr uint8_t kMicrosecondResolution = 6;
// epb_flags bits 0-1: the direction.
constexpr uint32_t kDirectionMask = 0x3;

// Smallest length of each block: the fixed fields and the trailing length.
constexpr uint32_t kMinSectionHeader = 28;
constexpr uint32_t kMinInterface = 20;
constexpr uint32_t kMinSimplePacket = 16;
constexpr uint32_t kMinStatistics = 24;
constexpr uint32_t kMinEnhancedPacket = 32;

constexpr size_t PaddedTo4(size_t length) { return (length + 3) & ~static_cast<size_t>(3); }

}  // namespace qz6::capture
