// qz6sim's text buffers: a text formatted into a small buffer must be the
// start of the same text formatted into a full-size one, cut at the
// capacity, always terminated, with nothing written past the buffer; the
// full-size buffer is big enough for any reply.
#pragma once

#include "fuzz/fuzz_support.h"
#include "tools/qz6sim/sim_commands.h"

namespace qz6::fuzz {

struct SimTexts {
    GuardedBuffer<1024> small;
    char large[simtool::kOutputBufferSize];
};

inline void CheckTextBuffer(const TextBuffer& out)
{
    CheckTerminatedText(out.data, out.capacity, out.length);
    if (out.capacity == 0)
        FUZZ_CHECK(out.length == 0);
}

// Formats with `format(TextBuffer*)` into a `small_capacity` buffer and into
// the full-size one, checks both, and returns the full-size text.
template <typename Format>
TextBuffer FormatTwice(SimTexts& texts, size_t small_capacity, Format format)
{
    char* small = reinterpret_cast<char*>(texts.small.Claim(small_capacity));
    TextBuffer little = MakeTextBuffer(std::span<char>(small, small_capacity));
    format(&little);
    texts.small.Release();
    CheckTextBuffer(little);

    TextBuffer full = MakeTextBuffer(texts.large);
    format(&full);
    CheckTextBuffer(full);
    FUZZ_CHECK(!full.truncated);

    if (small_capacity > 0) {
        if (full.length < small_capacity) {
            FUZZ_CHECK(!little.truncated && little.length == full.length);
        } else {
            FUZZ_CHECK(little.truncated && little.length == small_capacity - 1);
        }
        FUZZ_CHECK(memcmp(little.data, full.data, little.length) == 0);
    }
    return full;
}

}  // namespace qz6::fuzz
