// The driver's receive queue in front of the adapter's buffers: a paused
// receiver loses nothing while it lasts, its limits in frames and bytes,
// and the counters that must stay truthful. (What empties it: with the
// unplug, reset and status tests.)
#include "tests/model/model_fixture.h"

namespace qz6::sim::test {
namespace {

TEST_F(ModelTest, APausedReceiverLosesNothingWhileTheDriverQueueLasts)
{
    // 64-byte frames at 2000 a second; the receiver takes every waiting
    // frame each millisecond but pauses from 100 ms to 300 ms in, while
    // 400 frames arrive. Without the queue, 16 receive buffers keep 16.
    const struct {
        uint32_t max_frames;
        uint32_t received, dropped, bfrs_full, peak;
    } rows[] = {{kDriverQueueDefaultFrames, 1000, 0, 0, 400}, {0, 616, 384, 255, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.max_frames);
        SetUp();
        Configuration c;
        c.baud_rate = kMaxBaudRate;
        ConfigureAndEnable(0, c);
        ASSERT_EQ(SetDriverQueue(0, row.max_frames, kDriverQueueDefaultBytes), CallOutcome::Completed);
        ASSERT_EQ(SetGenerator(0, true, 64, 2000, 1000), CallOutcome::Completed);
        std::vector<uint8_t> first_bytes;
        for (uint32_t ms = 1; ms <= 600; ++ms) {
            Wait(1000);
            if (ms > 100 && ms < 300)
                continue;
            for (ReceiveResult r = ReceiveCall(0); r.outcome == CallOutcome::Completed; r = ReceiveCall(0))
                first_bytes.push_back(r.record[kReceiveHeaderSize]);
        }
        EXPECT_EQ(first_bytes.size(), row.received);
        for (uint32_t i = 0; row.dropped == 0 && i < first_bytes.size(); ++i)
            ASSERT_EQ(first_bytes[i], static_cast<uint8_t>(i)) << "in order, none missing";
        const SimAdapterStatus status = GetStatus().adapters[0];
        EXPECT_EQ(Got(status.frames_dropped), row.dropped);
        EXPECT_EQ(status.comm_errors.rx_disabled_bfrs_full, row.bfrs_full);  // 8 bits, saturating
        EXPECT_EQ(Got(status.statistics.rx_frames), row.received);
        EXPECT_EQ(Got(status.driver_queue_peak_frames), row.peak);
    }
}

TEST_F(ModelTest, DriverQueueLimitsInFramesAndBytesThenTheAdaptersBuffers)
{
    const struct {
        uint32_t max_frames, max_bytes, length;
        uint32_t in_queue;  // frames the queue takes before the adapter's 16 buffers fill
    } rows[] = {
        {5, 100000, 64, 5},
        {1000, 1000, 64, 15},   // 960 bytes
        {1000, 1000, 1001, 0},  // never fits: each waits in the adapter's buffers, in turn
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.max_bytes);
        SetUp();
        ConfigureAndEnable(0);
        ASSERT_EQ(SetDriverQueue(0, row.max_frames, row.max_bytes), CallOutcome::Completed);
        for (uint32_t i = 0; i < row.in_queue + 16; ++i)
            ASSERT_EQ(Inject(0, std::vector<uint8_t>(row.length, static_cast<uint8_t>(i))), INJECT_QUEUED) << i;
        EXPECT_EQ(Inject(0, std::vector<uint8_t>(row.length, 0xEE)), INJECT_DROPPED_QUEUE_FULL);
        const SimAdapterStatus status = GetStatus().adapters[0];
        EXPECT_EQ(Got(status.driver_queue_frames), row.in_queue);
        EXPECT_EQ(Got(status.driver_queue_bytes), row.in_queue * row.length);
        EXPECT_EQ(Got(status.adapter_rx_queued), 16);
        EXPECT_EQ(Got(Status(0).rx_frames_queued), row.in_queue + 16);
        EXPECT_EQ(CommErrors(0).rx_disabled_bfrs_full, 1);
        const std::vector<std::vector<uint8_t>> all = ReceiveAll(0);
        ASSERT_EQ(all.size(), row.in_queue + 16);
        for (uint32_t i = 0; i < all.size(); ++i)
            EXPECT_EQ(all[i], std::vector<uint8_t>(row.length, static_cast<uint8_t>(i)));
    }
}

TEST_F(ModelTest, FramesQueuedSaturateBelowTheUnknownMark)
{
    ConfigureAndEnable(0);
    ASSERT_EQ(SetDriverQueue(0, kDriverQueueMaxFrames, 0), CallOutcome::Completed);
    ASSERT_EQ(SetGenerator(0, true, 0, kMaxGeneratorRate, kDriverQueueMaxFrames + 20), CallOutcome::Completed);
    for (int i = 0; i < 20; ++i)
        Wait(50'000);
    const SimAdapterStatus status = GetStatus().adapters[0];
    EXPECT_EQ(Got(status.driver_queue_frames), kDriverQueueMaxFrames);
    EXPECT_EQ(Got(status.adapter_rx_queued), 16);
    EXPECT_EQ(Got(status.frames_dropped), 4u);
    EXPECT_EQ(Got(status.rx_queued), 0xFFFF);
    EXPECT_EQ(Got(Status(0).rx_frames_queued), 0xFFFE);
    ASSERT_EQ(ReceiveCall(0).status(), RECEIVE_FRAME_PRESENT);
    EXPECT_EQ(Got(Status(0).rx_frames_queued), 0xFFFE);
}

}  // namespace
}  // namespace qz6::sim::test
