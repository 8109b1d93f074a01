// The line test's check of the frames that come back: any bytes are judged
// good exactly when they are the frame their own sequence number makes; a
// frame the generator made, with one byte changed, is never taken for
// itself; and a run's tally counts every arrival once.
//
// Input: U32 sequence, U16 length (8 to 512 after reduction), U16 offset
// and U8 mask of the change, U32 frames of the run; then arrivals, each a
// U8 flag byte (bit 0: bad CRC, bit 1: a generated frame) and either
// U32 sequence + U8 length (generated) or a Text of raw bytes.
#include <vector>

#include "common/little_endian.h"
#include "fuzz/fuzz_support.h"
#include "monitor/line_test/line_test_frames.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::mon;

namespace {

constexpr size_t kLongestRaw = 600;
uint8_t g_frame[kTestFrameMaxLength];
uint8_t g_made[kLongestRaw];

// Good exactly when the bytes (at most kLongestRaw) are the frame their
// sequence number makes.
void CheckAgainstRemade(std::span<const uint8_t> frame)
{
    const CheckedFrame checked = CheckTestFrame(frame);
    if (frame.size() < kTestFrameMinLength) {
        FUZZ_CHECK(checked.check == FrameCheck::TooShort);
        return;
    }
    FillTestFrame(ReadLe32(frame.data()), std::span(g_made, frame.size()));
    const bool remade = memcmp(g_made, frame.data(), frame.size()) == 0;
    FUZZ_CHECK((checked.check == FrameCheck::Good) == remade);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint32_t sequence = in.U32();
    const size_t length = kTestFrameMinLength + in.U16() % (kTestFrameMaxLength - kTestFrameMinLength + 1);
    const size_t offset = in.U16() % length;
    const uint8_t mask = in.U8();

    // A made frame is good and says its number; changed, it is judged as
    // any bytes are.
    const std::span<uint8_t> frame(g_frame, length);
    FillTestFrame(sequence, frame);
    const CheckedFrame made = CheckTestFrame(frame);
    FUZZ_CHECK(made.check == FrameCheck::Good && made.sequence == sequence);
    frame[offset] ^= mask;
    CheckAgainstRemade(frame);
    if (mask != 0 && offset >= 4)
        FUZZ_CHECK(CheckTestFrame(frame).check != FrameCheck::Good);

    // A run's arrivals.
    LineTestTally tally{};
    tally.frames = in.U32();
    uint32_t arrivals = 0;
    std::vector<uint8_t> bytes;
    while (!in.Empty()) {
        const uint8_t flags = in.U8();
        if (flags & 2) {
            const uint32_t number = in.U32();
            bytes.assign(kTestFrameMinLength + in.U8(), 0);
            FillTestFrame(number, bytes);
        } else {
            const std::string_view raw = in.Text(kLongestRaw);
            bytes.assign(raw.begin(), raw.end());
            CheckAgainstRemade(bytes);
        }
        const LineTestTally before = tally;
        TallyArrival(tally, bytes, (flags & 1) != 0);
        ++arrivals;
        FUZZ_CHECK(tally.received == arrivals);
        // Each arrival is good, corrupted or out of order, once.
        const uint32_t counted = (tally.corrupted - before.corrupted) + (tally.out_of_order - before.out_of_order);
        FUZZ_CHECK(counted <= 1);
        if (counted == 0)
            FUZZ_CHECK(tally.any_good && tally.highest_good < tally.frames);
    }
    tally.sent = in.U32();
    FUZZ_CHECK(LostFrames(tally) == (tally.sent > tally.received ? tally.sent - tally.received : 0));
    return 0;
}
