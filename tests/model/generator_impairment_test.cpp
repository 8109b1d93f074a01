// The line's generators and impairments: rates, counts and bounded work
// of the generators; every Nth arriving frame dropped, corrupted, marked or
// aborted, whatever sent it, and the tallies of what each impairment did.
#include "tests/model/model_fixture.h"

namespace qz6::sim::test {
namespace {

TEST_F(ModelTest, ThrottledGeneratorKeepsItsRateAndPattern)
{
    Configuration c;
    c.percent_tx_buffers = 4;  // 31 receive buffers
    ConfigureAndEnable(0, c);
    ASSERT_EQ(SetGenerator(0, true, 5, 100, 0), CallOutcome::Completed);
    Wait(199'999);
    EXPECT_EQ(Got(GetStatus().adapters[0].generator_count), 20u);
    const auto frames = ReceiveAll(0);
    ASSERT_EQ(frames.size(), 20u);
    EXPECT_EQ(frames[0], (std::vector<uint8_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(frames[19], (std::vector<uint8_t>{19, 20, 21, 22, 23}));
    EXPECT_EQ(NextEventUs(*bank_, now_), now_ + 1);

    ASSERT_EQ(SetGenerator(0, false, 0, 0, 0), CallOutcome::Completed);
    Wait(1'000'000);
    EXPECT_TRUE(ReceiveAll(0).empty());
    EXPECT_EQ(NextEventUs(*bank_, now_), UINT64_MAX);
}

TEST_F(ModelTest, GeneratorStopsAfterItsCount)
{
    ConfigureAndEnable(0);
    ASSERT_EQ(SetGenerator(0, true, 3, 1000, 5), CallOutcome::Completed);
    Wait(1'000'000);
    const SimStatus status = GetStatus();
    EXPECT_EQ(Got(status.adapters[0].generator_count), 5u);
    EXPECT_EQ(status.adapters[0].generator_enabled, 0);
    EXPECT_EQ(ReceiveAll(0).size(), 5u);
}

TEST_F(ModelTest, UnthrottledGeneratorFillsTheQueueWhileEnabled)
{
    Configure(0);
    ASSERT_EQ(SetGenerator(0, true, 64, 0, 40), CallOutcome::Completed);
    EXPECT_EQ(Got(GetStatus().adapters[0].generator_count), 0u);  // waits for the channel
    ASSERT_EQ(Code(0, ENABLE_COMMS), RETURN_SUCCESS);
    EXPECT_EQ(Got(Status(0).rx_frames_queued), 16);
    for (unsigned i = 0; i < 40; ++i) {
        const ReceiveResult r = ReceiveCall(0);
        ASSERT_EQ(r.status(), RECEIVE_FRAME_PRESENT);
        ASSERT_EQ(r.frame_length(), 64);
        EXPECT_EQ(r.record[kReceiveHeaderSize], static_cast<uint8_t>(i));
    }
    EXPECT_EQ(ReceiveCall(0).outcome, CallOutcome::Pending);
    EXPECT_EQ(Got(GetStatus().adapters[0].generator_count), 40u);
    EXPECT_EQ(Got(Statistics(0).rx_frames), 40u);
}

TEST_F(ModelTest, LongPausesCostBoundedWork)
{
    ASSERT_EQ(SetGenerator(1, true, 8, 1000, 0), CallOutcome::Completed);
    Wait(3'600'000'000ull);
    EXPECT_GT(NextEventUs(*bank_, now_), now_);
    EXPECT_LE(Got(GetStatus().adapters[1].generator_count), 10000u);
    Wait(1'000'000);
    EXPECT_GE(Got(GetStatus().adapters[1].generator_count), 1000u);
}

TEST_F(ModelTest, AClockSteppingBackIsTakenAsStandingStill)
{
    // Two callers may read the clock in one order and reach the model in the
    // other.
    ConfigureAndEnable(0);
    const uint64_t latest = now_;
    now_ -= 10'000'000;
    ASSERT_EQ(Send(0, {1}), RETURN_SUCCESS);
    EXPECT_EQ(NextEventUs(*bank_, now_), latest + WireTimeUs(1, 56000));
}

// ---------------------------------------------------------------------------
// Impairments: every Nth frame arriving, whatever sent it.

struct ImpairmentRow {
    const char* what;
    SimImpairmentRates every;
    std::vector<int> lost;       // 1-based arrivals never seen
    std::vector<int> corrupted;  // delivered with one byte changed
    std::vector<int> crc_errors; // dropped and counted as bad CRC
    std::vector<int> aborted;    // dropped and counted as aborts
};

TEST_F(ModelTest, ImpairmentsHitEveryNthFrameThatReachesThem)
{
    const ImpairmentRow rows[] = {
        {"off", {0, 0, 0, 0}, {}, {}, {}, {}},
        {"drop 4", {4, 0, 0, 0}, {4, 8, 12}, {}, {}, {}},
        {"corrupt 5", {0, 5, 0, 0}, {}, {5, 10}, {}, {}},
        {"crc-error 6", {0, 0, 6, 0}, {}, {}, {6, 12}, {}},
        {"abort 1", {0, 0, 0, 1}, {}, {}, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        // Each counts only the frames the ones before it let pass.
        {"drop, then corrupt, then crc, then abort", {6, 3, 2, 4}, {6, 12}, {3, 7, 10}, {2, 5, 9}, {11}},
    };
    constexpr int kFrames = 12;
    for (const ImpairmentRow& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();  // a fresh bank
        ConfigureAndEnable(0);
        ASSERT_EQ(SetImpairments(0, row.every), CallOutcome::Completed);
        for (int i = 1; i <= kFrames; ++i)
            ASSERT_EQ(Send(0, {uint8_t(i), uint8_t(i), uint8_t(i), uint8_t(i), uint8_t(i)}), RETURN_SUCCESS);
        Wait(1'000'000);
        const std::vector<std::vector<uint8_t>> received = ReceiveAll(0);

        auto in = [](const std::vector<int>& list, int i) { return std::count(list.begin(), list.end(), i) > 0; };
        std::vector<std::vector<uint8_t>> expected;
        for (int i = 1; i <= kFrames; ++i) {
            if (in(row.lost, i) || in(row.crc_errors, i) || in(row.aborted, i))
                continue;
            std::vector<uint8_t> frame(5, uint8_t(i));
            if (in(row.corrupted, i))
                frame[i % 5] = uint8_t(~i);
            expected.push_back(frame);
        }
        EXPECT_EQ(received, expected);
        const CommErrorsReply errors = CommErrors(0);
        EXPECT_EQ(size_t{errors.rx_crc_errors}, row.crc_errors.size());
        EXPECT_EQ(size_t{errors.rx_aborts}, row.aborted.size());
        const SimImpairments impairments = GetStatus().adapters[0].impairments;
        EXPECT_EQ(Got(impairments.arrivals), row.every.drop_every | row.every.corrupt_every | row.every.crc_error_every |
                                                     row.every.abort_every ? kFrames : 0u);
        EXPECT_EQ(Got(impairments.lost), row.lost.size());
        EXPECT_EQ(Got(impairments.corrupted), row.corrupted.size());
        EXPECT_EQ(Got(impairments.crc_errors), row.crc_errors.size());
        EXPECT_EQ(Got(impairments.aborted), row.aborted.size());
    }
}

TEST_F(ModelTest, ImpairmentsAreTheReceiversAndActOnInjectedFramesToo)
{
    Configuration c;
    c.operational_bits = OPERATIONAL_PASS_CRC_BYTES;
    ASSERT_EQ(SetCable(0, CABLE_NULL_MODEM, 1), CallOutcome::Completed);
    ConfigureAndEnable(0, c);
    ConfigureAndEnable(1, c);
    ASSERT_EQ(SetImpairments(1, {0, 1, 0, 0}), CallOutcome::Completed);
    ASSERT_EQ(Send(0, Bytes("abc")), RETURN_SUCCESS);
    ASSERT_EQ(Send(1, Bytes("xyz")), RETURN_SUCCESS);
    ASSERT_EQ(Inject(1, Bytes("injected")), INJECT_QUEUED);
    Wait(1'000'000);

    // Adapter 1 gets both frames changed (the injected one arrived first),
    // each with a check sequence that fits it.
    const std::vector<std::vector<uint8_t>> at_one = ReceiveAll(1);
    ASSERT_EQ(at_one.size(), 2u);
    std::vector<uint8_t> injected = Bytes("injected");
    injected[1] = uint8_t(~injected[1]);
    EXPECT_EQ(std::vector<uint8_t>(at_one[0].begin(), at_one[0].end() - 2), injected);
    std::vector<uint8_t> changed = Bytes("abc");
    changed[2] = uint8_t(~changed[2]);
    EXPECT_EQ(std::vector<uint8_t>(at_one[1].begin(), at_one[1].end() - 2), changed);
    const uint16_t fcs = FrameCheckSequence(changed.data(), 3);
    EXPECT_EQ(at_one[1][3] | (at_one[1][4] << 8), fcs);
    EXPECT_EQ(Got(GetStatus().adapters[1].impairments.corrupted), 2u);
    // Adapter 0's line is clean.
    const std::vector<std::vector<uint8_t>> at_zero = ReceiveAll(0);
    ASSERT_EQ(at_zero.size(), 1u);
    EXPECT_EQ(std::vector<uint8_t>(at_zero[0].begin(), at_zero[0].end() - 2), Bytes("xyz"));

    // Setting them again starts the count afresh; all zero is off.
    ASSERT_EQ(SetImpairments(1, {0, 0, 0, 0}), CallOutcome::Completed);
    EXPECT_EQ(Got(GetStatus().adapters[1].impairments.corrupted), 0u);
}

// Combined rates over many frames, counted by hand: each impairment takes
// every Nth of the frames the ones before it left alone.
struct CombinedRow {
    SimImpairmentRates every;
    uint32_t frames;
    uint32_t lost, corrupted, crc_errors, aborted;
};

TEST_F(ModelTest, CombinedImpairmentsCountTheFramesLeftToThem)
{
    const CombinedRow rows[] = {
        {{10, 50, 0, 0}, 1000, 100, 18, 0, 0},   // 900 left: every 50th of them
        {{10, 50, 7, 9}, 1000, 100, 18, 126, 84}, // 882 left for the CRC, 756 for the abort
        {{0, 3, 0, 2}, 100, 0, 33, 0, 33},        // 67 left for the abort
        {{2, 0, 0, 1}, 11, 5, 0, 0, 6},
    };
    for (const CombinedRow& row : rows) {
        SCOPED_TRACE(row.frames);
        SetUp();
        ConfigureAndEnable(0);
        ASSERT_EQ(SetImpairments(0, row.every), CallOutcome::Completed);
        uint32_t on_line = 0;
        for (uint32_t i = 0; i < row.frames; ++i)
            on_line += Inject(0, {1, 2, 3}) == INJECT_DROPPED_ON_LINE;
        const SimImpairments impairments = GetStatus().adapters[0].impairments;
        EXPECT_EQ(Got(impairments.arrivals), row.frames);
        EXPECT_EQ(Got(impairments.lost), row.lost);
        EXPECT_EQ(on_line, row.lost);
        EXPECT_EQ(Got(impairments.corrupted), row.corrupted);
        EXPECT_EQ(Got(impairments.crc_errors), row.crc_errors);
        EXPECT_EQ(Got(impairments.aborted), row.aborted);
        EXPECT_EQ(CommErrors(0).rx_crc_errors, std::min<uint32_t>(row.crc_errors, 255));
        EXPECT_EQ(CommErrors(0).rx_aborts, std::min<uint32_t>(row.aborted, 255));
        const std::vector<std::vector<uint8_t>> received = ReceiveAll(0);
        EXPECT_EQ(received.size(), row.frames - row.lost - row.crc_errors - row.aborted);
        EXPECT_EQ(std::count(received.begin(), received.end(), std::vector<uint8_t>{1, 2, 3}),
                  static_cast<long>(received.size() - row.corrupted));
    }
}

TEST_F(ModelTest, ImpairmentTalliesCountOnlyWhatTheyDid)
{
    Configuration c;
    c.max_frame_size = 4;
    ConfigureAndEnable(0, c);
    // A zero-length frame has no byte to change: it passes untouched and
    // counts in no tally.
    ASSERT_EQ(SetImpairments(0, {0, 1, 0, 0}), CallOutcome::Completed);
    EXPECT_EQ(Inject(0, {}), INJECT_QUEUED);
    EXPECT_EQ(Got(GetStatus().adapters[0].impairments.corrupted), 0u);
    // A changed frame the receiver drops for its length is not counted.
    EXPECT_EQ(Inject(0, {1, 2, 3, 4, 5}), INJECT_DROPPED_TOO_LONG);
    EXPECT_EQ(Got(GetStatus().adapters[0].impairments.corrupted), 0u);
    // Nor one dropped because the adapter and the driver have no room.
    ASSERT_EQ(SetDriverQueue(0, 0, 0), CallOutcome::Completed);
    ASSERT_EQ(SetImpairments(0, {0, 0, 0, 0}), CallOutcome::Completed);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(Inject(0, {1}), INJECT_QUEUED);
    ASSERT_EQ(SetImpairments(0, {0, 1, 0, 0}), CallOutcome::Completed);
    EXPECT_EQ(Inject(0, {9}), INJECT_DROPPED_QUEUE_FULL);
    EXPECT_EQ(Got(GetStatus().adapters[0].impairments.corrupted), 0u);
    // A bad CRC counts when the receiver drops the frame as one, an abort
    // when it counts one; a disabled receiver counts neither, but a frame
    // lost on the line is lost whoever would have received it.
    ReceiveAll(0);
    ASSERT_EQ(SetImpairments(0, {0, 0, 1, 0}), CallOutcome::Completed);
    EXPECT_EQ(Inject(0, {1}), INJECT_DROPPED_BAD_CRC);
    ASSERT_EQ(Code(0, DISABLE_COMMS), RETURN_SUCCESS);
    EXPECT_EQ(Inject(0, {1}), INJECT_DROPPED_DISABLED);
    EXPECT_EQ(Got(GetStatus().adapters[0].impairments.crc_errors), 1u);
    ASSERT_EQ(SetImpairments(0, {0, 0, 0, 1}), CallOutcome::Completed);
    EXPECT_EQ(Inject(0, {1}), INJECT_DROPPED_DISABLED);
    EXPECT_EQ(Got(GetStatus().adapters[0].impairments.aborted), 0u);
    ASSERT_EQ(SetImpairments(0, {1, 0, 0, 0}), CallOutcome::Completed);
    EXPECT_EQ(Inject(0, {1}), INJECT_DROPPED_ON_LINE);
    EXPECT_EQ(Got(GetStatus().adapters[0].impairments.lost), 1u);
}

TEST_F(ModelTest, ImpairmentsKeepTheirRateAcrossTheArrivalCountsEnd)
{
    ConfigureAndEnable(0);
    ASSERT_EQ(SetImpairments(0, {3, 0, 0, 0}), CallOutcome::Completed);
    // As after four thousand million frames (the count itself stops there).
    bank_->adapters[0].impairments.arrivals = 0xFFFFFFFEu;
    uint32_t lost = 0;
    for (int i = 0; i < 6; ++i)
        lost += Inject(0, {1}) == INJECT_DROPPED_ON_LINE;
    EXPECT_EQ(lost, 2u);
    EXPECT_EQ(Got(GetStatus().adapters[0].impairments.arrivals), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace qz6::sim::test
