#include "monitor/line_test/line_test_frames.h"

#include "common/little_endian.h"

namespace qz6::mon {
namespace {

// The check of `frame` as a frame of run `run`, whatever number it carries.
FrameCheck CheckAsFrameOf(uint16_t run, std::span<const uint8_t> frame)
{
    if (frame.size() < kTestFrameMinLength)
        return FrameCheck::TooShort;
    if (ReadLe16(frame.data() + 4) != frame.size())
        return FrameCheck::LengthMismatch;
    const uint32_t sequence = ReadLe32(frame.data());
    for (size_t i = kTestFrameHeaderSize; i < frame.size(); ++i)
        if (frame[i] != TestPatternByte(run, sequence, i))
            return FrameCheck::PatternMismatch;
    return FrameCheck::Good;
}

// The run's own frame, good or damaged (see the tally in the header).
bool OfTheRun(const LineTestTally& tally, std::span<const uint8_t> frame, const CheckedFrame& checked)
{
    if (checked.check == FrameCheck::Good)
        return checked.run == tally.run && checked.sequence < tally.frames;
    if (frame.size() < kTestFrameHeaderSize)
        return false;
    return ReadLe16(frame.data() + 6) == tally.run ||
           (ReadLe32(frame.data()) < tally.frames && CheckAsFrameOf(tally.run, frame) == FrameCheck::Good);
}

}  // namespace

uint8_t TestPatternByte(uint16_t run, uint32_t sequence, size_t offset)
{
    // A 32-bit mix of the three numbers: neighbouring frames, neighbouring
    // bytes and neighbouring runs share nothing, and no byte value is
    // favoured.
    uint32_t x = sequence * 0x9E3779B1u ^ static_cast<uint32_t>(offset) * 0x85EBCA77u ^ (run + 1u) * 0xC2B2AE3Du;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return static_cast<uint8_t>(x);
}

void FillTestFrame(uint16_t run, uint32_t sequence, std::span<uint8_t> frame)
{
    if (frame.size() < kTestFrameHeaderSize)
        return;
    WriteLe32(frame.data(), sequence);
    WriteLe16(frame.data() + 4, static_cast<uint16_t>(frame.size()));
    WriteLe16(frame.data() + 6, run);
    for (size_t i = kTestFrameHeaderSize; i < frame.size(); ++i)
        frame[i] = TestPatternByte(run, sequence, i);
}

CheckedFrame CheckTestFrame(std::span<const uint8_t> frame)
{
    if (frame.size() < kTestFrameMinLength)
        return {FrameCheck::TooShort, 0, 0};
    const uint16_t run = ReadLe16(frame.data() + 6);
    return {CheckAsFrameOf(run, frame), ReadLe32(frame.data()), run};
}

bool TallyArrival(LineTestTally& tally, std::span<const uint8_t> frame, bool crc_error)
{
    const CheckedFrame checked = CheckTestFrame(frame);
    const bool own = OfTheRun(tally, frame, checked);
    if (!own) {
        ++tally.strangers;
        return false;
    }
    ++tally.received;
    if (crc_error || checked.check != FrameCheck::Good) {
        ++tally.corrupted;
        return true;
    }
    if (tally.any_good && checked.sequence < tally.highest_good) {
        ++tally.out_of_order;
        return true;
    }
    tally.highest_good = checked.sequence;
    tally.any_good = true;
    return true;
}

}  // namespace qz6::mon
