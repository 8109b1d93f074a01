// The line test's check of the frames that come back: any bytes are judged
// good exactly when they are the frame their own sequence and run numbers
// make; a frame the generator made, with one byte of its length or pattern
// changed, is never taken for itself, and with any one byte changed is
// still the run's own; and a run's tally counts every arrival once, as the
// run's own or as a stranger.
//
// Input: U16 run, U32 sequence, U16 length (12 to 512 after reduction),
// U16 offset and U8 mask of the change, U32 frames of the run; then
// arrivals, each a U8 flag byte (bit 0: bad CRC, bit 1: a generated frame,
// bit 2: of another run) and either U32 sequence + U8 length (+ U16 run
// with bit 2) (generated) or a Text of raw bytes.
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
// sequence and run numbers make.
void CheckAgainstRemade(std::span<const uint8_t> frame)
{
    const CheckedFrame checked = CheckTestFrame(frame);
    if (frame.size() < kTestFrameMinLength) {
        FUZZ_CHECK(checked.check == FrameCheck::TooShort);
        return;
    }
    FillTestFrame(ReadLe16(frame.data() + 6), ReadLe32(frame.data()), std::span(g_made, frame.size()));
    const bool remade = memcmp(g_made, frame.data(), frame.size()) == 0;
    FUZZ_CHECK((checked.check == FrameCheck::Good) == remade);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint16_t run = in.U16();
    const uint32_t sequence = in.U32();
    const size_t length = kTestFrameMinLength + in.U16() % (kTestFrameMaxLength - kTestFrameMinLength + 1);
    const size_t offset = in.U16() % length;
    const uint8_t mask = in.U8();
    LineTestTally tally{};
    tally.run = run;
    tally.frames = in.U32();

    // A made frame is good and says its numbers; changed, it is judged as
    // any bytes are. A change of its length or pattern is always seen (one
    // of a number may make another good frame), and a frame of the run
    // with any one byte changed is still the run's own.
    const std::span<uint8_t> frame(g_frame, length);
    FillTestFrame(run, sequence, frame);
    const CheckedFrame made = CheckTestFrame(frame);
    FUZZ_CHECK(made.check == FrameCheck::Good && made.sequence == sequence && made.run == run);
    frame[offset] ^= mask;
    CheckAgainstRemade(frame);
    if (mask != 0 && (offset == 4 || offset == 5 || offset >= kTestFrameHeaderSize))
        FUZZ_CHECK(CheckTestFrame(frame).check != FrameCheck::Good);
    if (sequence < tally.frames) {
        LineTestTally own = tally;
        FUZZ_CHECK(TallyArrival(own, frame, false) && own.received == 1);
    }

    // A run's arrivals.
    uint32_t arrivals = 0;
    std::vector<uint8_t> bytes;
    while (!in.Empty()) {
        const uint8_t flags = in.U8();
        if (flags & 2) {
            const uint32_t number = in.U32();
            bytes.assign(kTestFrameMinLength + in.U8(), 0);
            FillTestFrame((flags & 4) ? in.U16() : run, number, bytes);
        } else {
            const std::string_view raw = in.Text(kLongestRaw);
            bytes.assign(raw.begin(), raw.end());
            CheckAgainstRemade(bytes);
        }
        const LineTestTally before = tally;
        const bool own = TallyArrival(tally, bytes, (flags & 1) != 0);
        ++arrivals;
        // Each arrival is the run's own or a stranger, once; one of the
        // run's own is good, corrupted or out of order, once.
        FUZZ_CHECK(tally.received + tally.strangers == arrivals);
        FUZZ_CHECK(own == (tally.received == before.received + 1));
        const CheckedFrame checked = CheckTestFrame(bytes);
        if (checked.check == FrameCheck::Good && (checked.run != run || checked.sequence >= tally.frames))
            FUZZ_CHECK(!own);
        const uint32_t counted = (tally.corrupted - before.corrupted) + (tally.out_of_order - before.out_of_order);
        FUZZ_CHECK(counted <= 1);
        if (own && counted == 0)
            FUZZ_CHECK(tally.any_good && tally.highest_good < tally.frames);
    }
    tally.sent = in.U32();
    FUZZ_CHECK(LostFrames(tally) == (tally.sent > tally.received ? tally.sent - tally.received : 0));
    return 0;
}
