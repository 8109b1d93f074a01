// What every harness shares: reading the fuzzer's bytes as fields, buffers
// whose bytes past a claimed length must stay untouched, and the check that
// stops a run on a broken invariant.
#pragma once

#include <sanitizer/asan_interface.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <span>
#include <string>
#include <string_view>

namespace qz6::fuzz {

// A violated invariant: say which, then trap so that libFuzzer keeps the
// input as a crash.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            __builtin_trap();                                                                  \
        }                                                                                      \
    } while (0)

// The input read front to back. Past its end every read gives zeros, so a
// short input is simply a short run.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t next;

    Input(const uint8_t* bytes, size_t length) : data(bytes), size(length), next(0) {}

    bool Empty() const { return next >= size; }
    size_t Left() const { return next < size ? size - next : 0; }

    uint8_t U8() { return next < size ? data[next++] : 0; }
    bool Flag() { return (U8() & 1) != 0; }
    uint16_t U16()
    {
        const uint16_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32()
    {
        const uint32_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    uint64_t U64()
    {
        const uint64_t low = U32();
        return low | (static_cast<uint64_t>(U32()) << 32);
    }

    // Up to `count` bytes, fewer at the end of the input.
    std::span<const uint8_t> Bytes(size_t count)
    {
        const size_t n = count < Left() ? count : Left();
        std::span<const uint8_t> bytes(data + next, n);
        next += n;
        return bytes;
    }
    std::span<const uint8_t> Rest() { return Bytes(Left()); }

    // A text of at most `max` bytes: its length first, then its bytes.
    std::string_view Text(size_t max)
    {
        const size_t wanted = U8() % (max + 1);
        const std::span<const uint8_t> bytes = Bytes(wanted);
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }
};

// True when all `length` bytes at `bytes` are `value`.
inline bool AllBytes(const void* bytes, size_t length, uint8_t value)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    return length == 0 || (p[0] == value && memcmp(p, p + 1, length - 1) == 0);
}

// Copies `bytes` into `destination` (room for `room` bytes) and fills what
// they leave with `fill`.
inline void FillFrom(uint8_t* destination, size_t room, std::span<const uint8_t> bytes, uint8_t fill)
{
    const size_t n = bytes.size() < room ? bytes.size() : room;
    if (n > 0)
        memcpy(destination, bytes.data(), n);
    memset(destination + n, fill, room - n);
}

// A buffer that a call is told holds `claimed` bytes. Everything behind
// them is poisoned, so that AddressSanitizer stops the first write past the
// claim; the guard right behind it also holds a pattern that Release checks.
template <size_t Capacity>
struct GuardedBuffer {
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kPattern = 0xE7;
    alignas(64) uint8_t bytes[Capacity + kGuard];
    size_t claimed = 0;

    uint8_t* Claim(size_t length)
    {
        FUZZ_CHECK(length <= Capacity);
        claimed = length;
        memset(bytes + claimed, kPattern, kGuard);
        ASAN_POISON_MEMORY_REGION(bytes + claimed, sizeof(bytes) - claimed);
        return bytes;
    }

    // After the call: the guard must be as it was.
    void Release()
    {
        ASAN_UNPOISON_MEMORY_REGION(bytes + claimed, sizeof(bytes) - claimed);
        for (size_t i = claimed; i < claimed + kGuard; ++i)
            FUZZ_CHECK(bytes[i] == kPattern);
    }
};

// The text a formatter writes into a guarded buffer of N characters: an
// empty view means no text; any other must be terminated inside the buffer.
template <size_t N, typename Format>
std::string GuardedText(Format format)
{
    GuardedBuffer<N> buffer;
    char* text = reinterpret_cast<char*>(buffer.Claim(N));
    memset(text, 0x7F, N);
    const std::string_view shown = format(std::span<char, N>(text, N));
    buffer.Release();
    if (shown.empty())
        return {};
    FUZZ_CHECK(shown.data() == text && shown.size() < N && text[shown.size()] == 0);
    return std::string(shown);
}

// A text buffer of a formatter: terminated inside its capacity, as long as
// it says, with nothing written past the capacity.
inline void CheckTerminatedText(const char* text, size_t capacity, size_t length)
{
    FUZZ_CHECK(capacity == 0 || length < capacity);
    if (capacity > 0) {
        FUZZ_CHECK(text[length] == 0);
        FUZZ_CHECK(strnlen(text, capacity) == length);
    }
}

}  // namespace qz6::fuzz
