// The driver's receive queue in front of the adapter's buffers: a paused
// receiver loses nothing while it lasts, its limits in frames and bytes,
// what empties it, and the counters that must stay truthful.
#include <functional>

#include "tests/model/model_fixture.h"

namespace qz6::sim::test {
namespace {

constexpr uint32_t kFastLine = kMaxBaudRate;

class DriverQueueTest : public ModelTest {
protected:
    // A throttled generator of `count` 64-byte frames at `rate` a second;
    // the receiver takes every waiting frame each millisecond, except from
    // 100 ms to 300 ms in. Returns the first byte of every frame received.
    std::vector<uint8_t> RunPausingReceiver(uint32_t rate, uint32_t count)
    {
        Configuration c;
        c.baud_rate = kFastLine;
        ConfigureAndEnable(0, c);
        EXPECT_EQ(SetGenerator(0, true, 64, rate, count), CallOutcome::Completed);
        std::vector<uint8_t> first_bytes;
        for (uint32_t ms = 1; ms <= 600; ++ms) {
            Wait(1000);
            if (ms > 100 && ms < 300)
                continue;
            for (ReceiveResult r = ReceiveCall(0); r.outcome == CallOutcome::Completed; r = ReceiveCall(0))
                first_bytes.push_back(r.record[kReceiveHeaderSize]);
        }
        return first_bytes;
    }

    SimAdapterStatus Adapter0() { return GetStatus().adapters[0]; }
};

TEST_F(DriverQueueTest, APausedReceiverLosesNothingWhileTheQueueLasts)
{
    // 2000 frames a second: 400 arrive during the pause of 200 ms.
    const std::vector<uint8_t> received = RunPausingReceiver(2000, 1000);
    ASSERT_EQ(received.size(), 1000u);
    for (uint32_t i = 0; i < received.size(); ++i)
        ASSERT_EQ(received[i], static_cast<uint8_t>(i)) << "in order, none missing";
    const SimAdapterStatus status = Adapter0();
    EXPECT_EQ(Got(status.frames_dropped), 0u);
    EXPECT_EQ(status.comm_errors.rx_disabled_bfrs_full, 0);
    EXPECT_EQ(Got(status.driver_queue_peak_frames), 400u);
}

TEST_F(DriverQueueTest, WithoutTheQueueThePauseOutlastsTheAdaptersBuffers)
{
    ASSERT_EQ(SetDriverQueue(0, 0, 0), CallOutcome::Completed);
    const std::vector<uint8_t> received = RunPausingReceiver(2000, 1000);
    // 16 receive buffers keep the first 16 of the 400 frames of the pause.
    EXPECT_EQ(received.size(), 1000u - 384u);
    const SimAdapterStatus status = Adapter0();
    EXPECT_EQ(Got(status.frames_dropped), 384u);
    EXPECT_EQ(status.comm_errors.rx_disabled_bfrs_full, 255);  // an 8-bit counter, full
    EXPECT_EQ(Got(status.statistics.rx_frames), 1000u - 384u);
}

TEST_F(DriverQueueTest, LimitsInFramesAndBytesThenTheAdaptersBuffers)
{
    struct Row {
        uint32_t max_frames, max_bytes;
        uint32_t length;
        uint32_t in_queue;  // frames the queue takes before the adapter's 16 buffers fill
    };
    const Row rows[] = {
        {5, 100000, 64, 5},
        {1000, 1000, 64, 15},   // 960 bytes
        {1000, 1000, 1000, 1},
        {1000, 1000, 1001, 0},  // never fits: each waits in the adapter's buffers
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.max_bytes);
        SetUp();
        ConfigureAndEnable(0);
        ASSERT_EQ(SetDriverQueue(0, row.max_frames, row.max_bytes), CallOutcome::Completed);
        for (uint32_t i = 0; i < row.in_queue + 16; ++i)
            ASSERT_EQ(Inject(0, std::vector<uint8_t>(row.length, static_cast<uint8_t>(i))), INJECT_QUEUED) << i;
        EXPECT_EQ(Inject(0, std::vector<uint8_t>(row.length, 0xEE)), INJECT_DROPPED_QUEUE_FULL);
        SimAdapterStatus status = Adapter0();
        EXPECT_EQ(Got(status.driver_queue_frames), row.in_queue);
        EXPECT_EQ(Got(status.driver_queue_bytes), row.in_queue * row.length);
        EXPECT_EQ(Got(status.adapter_rx_queued), 16);
        EXPECT_EQ(Got(Status(0).rx_frames_queued), row.in_queue + 16);
        EXPECT_EQ(CommErrors(0).rx_disabled_bfrs_full, 1);
        // Taking one frame moves the adapter's oldest into the queue.
        const std::vector<std::vector<uint8_t>> all = ReceiveAll(0);
        ASSERT_EQ(all.size(), row.in_queue + 16);
        for (uint32_t i = 0; i < all.size(); ++i)
            EXPECT_EQ(all[i], std::vector<uint8_t>(row.length, static_cast<uint8_t>(i)));
    }
}

TEST_F(DriverQueueTest, FramesQueuedSaturateBelowTheUnknownMark)
{
    ConfigureAndEnable(0);
    ASSERT_EQ(SetDriverQueue(0, kDriverQueueMaxFrames, 0), CallOutcome::Completed);
    ASSERT_EQ(SetGenerator(0, true, 0, kMaxGeneratorRate, kDriverQueueMaxFrames + 20), CallOutcome::Completed);
    for (int i = 0; i < 20; ++i)
        Wait(50'000);
    const SimAdapterStatus status = Adapter0();
    EXPECT_EQ(Got(status.driver_queue_frames), kDriverQueueMaxFrames);
    EXPECT_EQ(Got(status.adapter_rx_queued), 16);
    EXPECT_EQ(Got(status.frames_dropped), 4u);
    EXPECT_EQ(Got(status.rx_queued), 0xFFFF);
    EXPECT_EQ(Got(Status(0).rx_frames_queued), 0xFFFE);
    ASSERT_EQ(ReceiveCall(0).status(), RECEIVE_FRAME_PRESENT);
    EXPECT_EQ(Got(Status(0).rx_frames_queued), 0xFFFE);
}

TEST_F(DriverQueueTest, WhatEmptiesTheQueueAndWhatKeepsItsLimits)
{
    struct Row {
        const char* what;
        std::function<void()> act;
        uint32_t limit_after;
        bool receiving;  // the channel stays enabled
    };
    const Row rows[] = {
        {"disable", [&] { ASSERT_EQ(Code(0, DISABLE_COMMS), RETURN_SUCCESS); }, 7, false},
        {"configure", [&] { Configure(0); }, 7, true},
        {"unplug and replug", [&] {
             ASSERT_EQ(SetPlugged(0, false), CallOutcome::Completed);
             ASSERT_EQ(SetPlugged(0, true), CallOutcome::Completed);
         }, 7, false},
        {"reset", [&] {
             uint32_t written = 0;
             ASSERT_EQ(SimControl(*bank_, IOCTL_SIM_RESET, nullptr, 0, nullptr, 0, now_, &written), CallOutcome::Completed);
         }, kDriverQueueDefaultFrames, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        ConfigureAndEnable(0);
        ASSERT_EQ(SetDriverQueue(0, 7, 1000), CallOutcome::Completed);
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(Inject(0, {1}), INJECT_QUEUED);
        row.act();
        const SimAdapterStatus status = Adapter0();
        EXPECT_EQ(Got(status.rx_queued), 0);
        EXPECT_EQ(Got(status.driver_queue_frames), 0u);
        EXPECT_EQ(Got(status.driver_queue_max_frames), row.limit_after);
        const ReceiveResult r = ReceiveCall(0);
        if (row.receiving)
            EXPECT_EQ(r.outcome, CallOutcome::Pending);
        else
            EXPECT_EQ(r.status(), RECEIVE_CHANNEL_DISABLED);
    }
}

TEST_F(DriverQueueTest, LimitsMustFitTheStorage)
{
    const struct {
        uint32_t max_frames, max_bytes;
        CallOutcome outcome;
    } rows[] = {
        {kDriverQueueMaxFrames, 0, CallOutcome::Completed},
        {kDriverQueueMaxFrames + 1, 0, CallOutcome::InvalidParameter},
        {0, kDriverQueueStorage, CallOutcome::Completed},
        {0, kDriverQueueStorage + 1, CallOutcome::InvalidParameter},
        {4096, kDriverQueueStorage - 4096 * kDriverQueueFrameOverhead, CallOutcome::Completed},
        {4096, kDriverQueueStorage - 4096 * kDriverQueueFrameOverhead + 1, CallOutcome::InvalidParameter},
        {0xFFFFFFFF, 0xFFFFFFFF, CallOutcome::InvalidParameter},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SetDriverQueue(1, row.max_frames, row.max_bytes), row.outcome) << row.max_frames << " " << row.max_bytes;
    EXPECT_EQ(SetDriverQueue(kAdapterCount, 1, 1), CallOutcome::InvalidParameter);
    EXPECT_EQ(Got(GetStatus().adapters[1].driver_queue_max_frames), 4096u);
}

}  // namespace
}  // namespace qz6::sim::test
