#include "monitor/line_test/line_test_frames.h"

#include "common/little_endian.h"

namespace qz6::mon {

uint8_t TestPatternByte(uint32_t sequence, size_t offset)
{
    // A 32-bit mix of both numbers: neighbouring frames and neighbouring
    // bytes share nothing, and no byte value is favoured.
    uint32_t x = sequence * 0x9E3779B1u ^ static_cast<uint32_t>(offset) * 0x85EBCA77u;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return static_cast<uint8_t>(x);
}

void FillTestFrame(uint32_t sequence, std::span<uint8_t> frame)
{
    if (frame.size() < kTestFrameHeaderSize)
        return;
    WriteLe32(frame.data(), sequence);
    WriteLe16(frame.data() + 4, static_cast<uint16_t>(frame.size()));
    for (size_t i = kTestFrameHeaderSize; i < frame.size(); ++i)
        frame[i] = TestPatternByte(sequence, i);
}

CheckedFrame CheckTestFrame(std::span<const uint8_t> frame)
{
    if (frame.size() < kTestFrameMinLength)
        return {FrameCheck::TooShort, 0};
    const uint32_t sequence = ReadLe32(frame.data());
    if (ReadLe16(frame.data() + 4) != frame.size())
        return {FrameCheck::LengthMismatch, sequence};
    for (size_t i = kTestFrameHeaderSize; i < frame.size(); ++i)
        if (frame[i] != TestPatternByte(sequence, i))
            return {FrameCheck::PatternMismatch, sequence};
    return {FrameCheck::Good, sequence};
}

void TallyArrival(LineTestTally& tally, std::span<const uint8_t> frame, bool crc_error)
{
    ++tally.received;
    const CheckedFrame checked = CheckTestFrame(frame);
    if (crc_error || checked.check != FrameCheck::Good || checked.sequence >= tally.frames) {
        ++tally.corrupted;
        return;
    }
    if (tally.any_good && checked.sequence < tally.highest_good) {
        ++tally.out_of_order;
        return;
    }
    tally.highest_good = checked.sequence;
    tally.any_good = true;
}

}  // namespace qz6::mon
