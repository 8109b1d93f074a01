// Where a capture reader stands in a file held in memory: numbers read in
// the file's byte order, the block being read and the first fault, after
// which the reader is at the end and delivers nothing more.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <span>

#include "common/capture/reader_types.h"

namespace qz6::capture {

struct FileCursor {
    std::span<const uint8_t> file;
    size_t position = 0;
    uint64_t block_number = 0;
    bool big_endian = false;
    ReadError error = {};

    bool Failed() const { return error.fault != ReadFault::None; }

    // Records the fault of the block of `type` at `offset` and ends the walk;
    // returns false for the caller to pass on.
    bool Fail(ReadFault fault, uint32_t type, size_t offset)
    {
        error = {fault, type, block_number, offset};
        position = file.size();
        return false;
    }

    uint16_t Read16(size_t offset) const
    {
        const uint8_t* p = file.data() + offset;
        return big_endian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
    }
    uint32_t Read32(size_t offset) const
    {
        const uint32_t first = Read16(offset);
        const uint32_t second = Read16(offset + 2);
        return big_endian ? (first << 16) | second : first | (second << 16);
    }
    // One 64-bit number.
    uint64_t Read64(size_t offset) const
    {
        const uint64_t first = Read32(offset);
        const uint64_t second = Read32(offset + 4);
        return big_endian ? (first << 32) | second : first | (second << 32);
    }
};

}  // namespace qz6::capture
