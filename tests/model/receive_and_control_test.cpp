// Receive calls, the request log, plugging, reset and the control device's
// own length rules.
#include "tests/model/model_fixture.h"

namespace qz6::sim::test {
namespace {

TEST_F(ModelTest, ReceiveRecordNeverGoesPastItsSize)
{
    ConfigureAndEnable(0);
    std::vector<uint8_t> frame(50);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i + 1);
    constexpr uint32_t kGuard = 64;
    for (uint32_t size : {16u, 17u, 20u, 65u, 66u, 100u, kReceiveRecordSize}) {
        SCOPED_TRACE(size);
        ASSERT_EQ(Inject(0, frame), INJECT_QUEUED);
        std::vector<uint8_t> buffer(size + kGuard, 0xEE);
        uint32_t written = 0;
        ASSERT_EQ(Receive(*bank_, 0, buffer.data(), size, true, now_, &written), CallOutcome::Completed);
        const uint32_t copied = std::min<uint32_t>(50, size - 16);
        EXPECT_EQ(written, 16 + copied);
        EXPECT_EQ(buffer[0], RECEIVE_FRAME_PRESENT);
        EXPECT_EQ(buffer[1] | (buffer[2] << 8), 50);  // the real length, also when cut short
        for (uint32_t i = 4; i < 16; ++i)
            EXPECT_EQ(buffer[i], 0);
        EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + copied, buffer.begin() + 16));
        for (uint32_t i = 16 + copied; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xEE) << i;
    }
    // Too small for a header: refused, untouched.
    ASSERT_EQ(Inject(0, frame), INJECT_QUEUED);
    std::vector<uint8_t> small(15, 0xEE);
    uint32_t written = 7;
    EXPECT_EQ(Receive(*bank_, 0, small.data(), 15, true, now_, &written), CallOutcome::InvalidParameter);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(std::count(small.begin(), small.end(), 0xEE), 15);
    EXPECT_EQ(Receive(*bank_, 0, nullptr, 100, true, now_, &written), CallOutcome::InvalidParameter);
    EXPECT_EQ(Got(Status(0).rx_frames_queued), 1);  // the frame is still there
}

TEST_F(ModelTest, ReceivePendsUntilAFrameAndCompletesOnDisable)
{
    ConfigureAndEnable(0);
    EXPECT_EQ(ReceiveCall(0).outcome, CallOutcome::Pending);
    ASSERT_EQ(Inject(0, {4, 5}), INJECT_QUEUED);
    ReceiveResult r = ReceiveCall(0, kReceiveRecordSize, false);
    EXPECT_EQ(r.outcome, CallOutcome::Completed);
    EXPECT_EQ(r.status(), RECEIVE_FRAME_PRESENT);
    EXPECT_EQ(r.data(), (std::vector<uint8_t>{4, 5}));

    EXPECT_EQ(ReceiveCall(0).outcome, CallOutcome::Pending);
    ASSERT_EQ(Code(0, DISABLE_COMMS), RETURN_SUCCESS);
    r = ReceiveCall(0, kReceiveRecordSize, false);
    EXPECT_EQ(r.outcome, CallOutcome::Completed);
    EXPECT_EQ(r.status(), RECEIVE_CHANNEL_DISABLED);
    EXPECT_EQ(r.written, 16u);
    EXPECT_EQ(r.frame_length(), 0);
}

TEST_F(ModelTest, ReceiveOnUnpluggedAbsentAndScriptedFailures)
{
    ConfigureAndEnable(0);
    ASSERT_EQ(Sim(IOCTL_SIM_FAIL_RECEIVES, SimFailReceivesRequest{0, 2}), CallOutcome::Completed);
    EXPECT_EQ(ReceiveCall(0).outcome, CallOutcome::Failed);
    EXPECT_EQ(ReceiveCall(0, kReceiveRecordSize, false).outcome, CallOutcome::Pending);  // retries are not counted
    EXPECT_EQ(ReceiveCall(0).outcome, CallOutcome::Failed);
    EXPECT_EQ(ReceiveCall(0).outcome, CallOutcome::Pending);

    ASSERT_EQ(SetPlugged(0, false), CallOutcome::Completed);
    const ReceiveResult r = ReceiveCall(0, kReceiveRecordSize, false);
    EXPECT_EQ(r.outcome, CallOutcome::Completed);
    EXPECT_EQ(r.status(), RECEIVE_DEVICE_REMOVED);
    EXPECT_EQ(ReceiveCall(kAbsentAdapter).outcome, CallOutcome::Failed);
}

TEST_F(ModelTest, UnplugAndReplug)
{
    ASSERT_EQ(SetCable(0, CABLE_NULL_MODEM, 1), CallOutcome::Completed);
    ASSERT_EQ(SetDriverQueue(0, 7, 1000), CallOutcome::Completed);
    ConfigureAndEnable(0);
    ConfigureAndEnable(1);
    ASSERT_EQ(Code(0, SET_DTR_RTS, {DTR_HIGH}), RETURN_SUCCESS);
    ASSERT_EQ(Inject(0, {1}), INJECT_QUEUED);
    ASSERT_EQ(Send(0, {2}), RETURN_SUCCESS);

    ASSERT_EQ(SetPlugged(0, false), CallOutcome::Completed);
    EXPECT_FALSE(DeviceVisible(*bank_, 0));
    EXPECT_EQ(Command(0, READ_STATUS).outcome, CallOutcome::Failed);
    EXPECT_EQ(ReadLog(0)->entries[ReadLog(0)->count - 1].outcome, LOG_FAILED);
    EXPECT_EQ(ModemLines(1), 0);
    EXPECT_EQ(CommErrors(1).dcd_drops, 1);
    EXPECT_EQ(Inject(0, {1}), INJECT_DROPPED_UNPLUGGED);
    SimStatus status = GetStatus();
    EXPECT_EQ(Got(status.adapters[0].rx_queued), 0);
    EXPECT_EQ(Got(status.adapters[0].tx_queued), 0);
    EXPECT_EQ(status.adapters[0].channel_enabled, 0);
    Wait(1'000'000);
    EXPECT_TRUE(ReceiveAll(1).empty());  // the queued frame never left

    const uint32_t log_count = ReadLog(0)->count;
    ASSERT_EQ(SetPlugged(0, true), CallOutcome::Completed);
    EXPECT_TRUE(DeviceVisible(*bank_, 0));
    EXPECT_EQ(Code(0, READ_CONFIGURATION), RETURN_NOT_CONFIGURED);
    status = GetStatus();
    EXPECT_EQ(status.adapters[0].dtr, 0);
    EXPECT_EQ(status.adapters[0].cable, CABLE_NULL_MODEM);  // cable, log and driver queue depth stay
    EXPECT_EQ(Got(status.adapters[0].driver_queue_max_frames), 7u);
    EXPECT_EQ(status.adapters[1].peer, 0);
    EXPECT_EQ(ReadLog(0)->count, log_count + 1);
}

TEST_F(ModelTest, LogKeepsTheLastEntriesOldestFirst)
{
    HandleOpened(*bank_, 0, now_);
    for (unsigned i = 0; i < 300; ++i) {
        Wait(1000);
        ASSERT_EQ(Code(0, SET_DTR_RTS, {static_cast<uint8_t>(i)}), RETURN_SUCCESS);
    }
    Configure(0);
    Code(0, ENABLE_COMMS);
    EXPECT_EQ(ReceiveCall(0).outcome, CallOutcome::Pending);
    HandleClosed(*bank_, 0, now_);
    Code(1, READ_STATUS);  // another adapter's log shares the numbering only

    const auto log = ReadLog(0);
    ASSERT_EQ(log->count, kLogEntries);
    const SimLogEntry* e = log->entries;
    for (unsigned i = 1; i < kLogEntries; ++i)
        ASSERT_EQ(Got(e[i].sequence), e[i - 1].sequence + 1);
    // 1 open + 300 + 2 + receive + close = 305 entries; the first 49 are gone.
    EXPECT_EQ(Got(e[0].sequence), 49u);
    EXPECT_EQ(e[0].command, SET_DTR_RTS);
    EXPECT_EQ(e[0].data[0], 48);
    EXPECT_EQ(e[0].data_length, 1);
    EXPECT_EQ(Got(e[0].input_length), 17u);
    EXPECT_EQ(Got(e[0].output_length), 528u);
    EXPECT_EQ(Got(e[0].time_ms), 49u);
    EXPECT_EQ(e[251].data[0], 43);  // 299 as a byte
    const SimLogEntry& receive = e[kLogEntries - 2];
    EXPECT_EQ(Got(receive.control_code), IOCTL_STREAM_RECEIVE);
    EXPECT_EQ(Got(receive.output_length), kReceiveRecordSize);
    EXPECT_EQ(receive.outcome, LOG_PENDED);
    EXPECT_EQ(Got(e[kLogEntries - 1].control_code), LOG_HANDLE_CLOSED);

    const auto other = ReadLog(1);
    ASSERT_EQ(other->count, 1u);
    EXPECT_EQ(Got(other->entries[0].sequence), e[kLogEntries - 1].sequence + 1);
    EXPECT_EQ(Got(other->entries[1].sequence), 0u);  // unused entries are zero
}

TEST_F(ModelTest, ResetRestoresPowerOnButKeepsHandles)
{
    HandleOpened(*bank_, 2, now_);
    NotePendingReceives(*bank_, 2, 1);
    ASSERT_EQ(SetCable(2, CABLE_NULL_MODEM, 3), CallOutcome::Completed);
    ConfigureAndEnable(2);
    ASSERT_EQ(Fault(2, READ_STATUS, FAULT_FAIL_CALL, 0, 5), CallOutcome::Completed);
    ASSERT_EQ(SetPlugged(3, false), CallOutcome::Completed);
    ASSERT_EQ(SetImpairments(2, {1, 2, 3, 4}), CallOutcome::Completed);
    ASSERT_EQ(SetDriverQueue(2, 7, 1000), CallOutcome::Completed);
    Wait(7'000'000);

    uint32_t written = 0;
    ASSERT_EQ(SimControl(*bank_, IOCTL_SIM_RESET, nullptr, 0, nullptr, 0, now_, &written), CallOutcome::Completed);
    const SimStatus status = GetStatus();
    EXPECT_EQ(Got(status.uptime_ms), 0u);
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        SCOPED_TRACE(i);
        const SimAdapterStatus& a = status.adapters[i];
        EXPECT_EQ(a.present, i < kPresentAdapters ? 1 : 0);
        EXPECT_EQ(a.plugged, 1);
        EXPECT_EQ(a.configured, 0);
        EXPECT_EQ(a.cable, CABLE_LOOPBACK);
        EXPECT_EQ(Got(a.impairments.every.drop_every), 0u);
        EXPECT_EQ(Got(a.driver_queue_max_frames), kDriverQueueDefaultFrames);
        EXPECT_EQ(Got(a.interrupt_number), resources_[i].interrupt_number);
    }
    EXPECT_EQ(Got(status.adapters[2].open_handles), 1u);
    EXPECT_EQ(Got(status.adapters[2].pending_receives), 1u);
    EXPECT_EQ(Command(2, READ_STATUS).outcome, CallOutcome::Completed);
    EXPECT_EQ(ReadLog(2)->count, 1u);
}

// A rig clears one adapter's counts between runs and keeps its set-up.
TEST_F(ModelTest, CounterResetClearsOneAdaptersCountsAndNothingElse)
{
    for (unsigned adapter : {0u, 1u}) {
        ConfigureAndEnable(adapter);
        ASSERT_EQ(Inject(adapter, {9}, INJECT_BAD_CRC), INJECT_DROPPED_BAD_CRC);
        ASSERT_EQ(SetImpairments(adapter, {2, 0, 0, 0}), CallOutcome::Completed);
        for (uint8_t i = 0; i < 3; ++i)
            ASSERT_EQ(Send(adapter, {i}), RETURN_SUCCESS);
    }
    ASSERT_EQ(SetGenerator(0, true, 8, 1, 0), CallOutcome::Completed);
    Wait(1'000'000);
    ReceiveAll(0);  // the queue held more than it will after the reset
    Wait(1'000'000);
    const SimAdapterStatus before = GetStatus().adapters[0];
    ASSERT_EQ(Sim(IOCTL_SIM_RESET_COUNTERS, SimAdapterRequest{0}), CallOutcome::Completed);
    const SimStatus status = GetStatus();
    const SimAdapterStatus& cleared = status.adapters[0];
    const uint8_t zero_statistics[sizeof(StatisticsReply)] = {};
    EXPECT_EQ(memcmp(&cleared.statistics, zero_statistics, sizeof(zero_statistics)), 0);
    EXPECT_EQ(Got(cleared.comm_errors.rx_crc_errors), 0);
    EXPECT_EQ(Got(cleared.impairments.lost), 0u);
    EXPECT_EQ(Got(cleared.driver_queue_peak_frames), Got(cleared.driver_queue_frames));
    // The set-up stays: configuration, channel, cable, rates, generator, queued frames.
    EXPECT_EQ(memcmp(&cleared.configuration, &before.configuration, sizeof(StreamingConfiguration)), 0);
    EXPECT_EQ(cleared.channel_enabled + cleared.cable + cleared.generator_enabled, 1 + CABLE_LOOPBACK + 1);
    EXPECT_EQ(Got(cleared.impairments.every.drop_every), 2u);
    EXPECT_EQ(Got(cleared.generator_count), Got(before.generator_count));
    EXPECT_EQ(Got(cleared.rx_queued), Got(before.rx_queued));
    // The other adapter keeps its counts.
    EXPECT_EQ(Got(status.adapters[1].statistics.tx_frames), 3u);
    EXPECT_EQ(Got(status.adapters[1].comm_errors.rx_crc_errors), 1);
    EXPECT_EQ(Got(status.adapters[1].impairments.lost), 1u);

    // Counting starts again: of two frames sent now, the second is lost.
    ASSERT_EQ(SetGenerator(0, false, 0, 0, 0), CallOutcome::Completed);
    ReceiveAll(0);
    ASSERT_EQ(Send(0, {1}), RETURN_SUCCESS);
    ASSERT_EQ(Send(0, {2}), RETURN_SUCCESS);
    Wait(100'000);
    EXPECT_EQ(ReceiveAll(0), std::vector<std::vector<uint8_t>>{{1}});
    EXPECT_EQ(Sim(IOCTL_SIM_RESET_COUNTERS, SimAdapterRequest{kAdapterCount}), CallOutcome::InvalidParameter);
}

TEST_F(ModelTest, StatusDescribesEveryAdapter)
{
    Wait(1'234'000);
    HandleOpened(*bank_, 1, now_);
    HandleOpened(*bank_, 1, now_);
    HandleClosed(*bank_, 1, now_);
    HandleClosed(*bank_, 1, now_);
    HandleClosed(*bank_, 1, now_);  // one close too many does not wrap
    HandleOpened(*bank_, 1, now_);
    const SimStatus status = GetStatus();
    EXPECT_EQ(Got(status.uptime_ms), 1234u);
    EXPECT_STREQ(status.version, "2.14");
    EXPECT_EQ(Got(status.adapters[1].open_handles), 1u);
    EXPECT_EQ(Got(status.adapters[3].io_base), 0x330u);
    EXPECT_EQ(Got(status.adapters[3].shared_memory), 0xD3000u);
    EXPECT_EQ(status.adapters[kAbsentAdapter].present, 0);
}

struct SimLengthCase {
    const char* name;
    uint32_t control_code;
    uint32_t input_length;
    uint32_t output_length;
};

TEST_F(ModelTest, ControlDeviceChecksEveryLength)
{
    const SimLengthCase kCases[] = {
        {"status with input", IOCTL_SIM_GET_STATUS, 1, sizeof(SimStatus)},
        {"status short", IOCTL_SIM_GET_STATUS, 0, sizeof(SimStatus) - 1},
        {"cable short", IOCTL_SIM_SET_CABLE, sizeof(SimCableRequest) - 1, 0},
        {"cable with output", IOCTL_SIM_SET_CABLE, sizeof(SimCableRequest), 1},
        {"modem long", IOCTL_SIM_SET_MODEM_INPUTS, sizeof(SimModemInputsRequest) + 1, 0},
        {"fault short", IOCTL_SIM_SCRIPT_FAULT, sizeof(SimFaultRequest) - 1, 0},
        {"fail receives long", IOCTL_SIM_FAIL_RECEIVES, sizeof(SimFailReceivesRequest) + 1, 0},
        {"plug short", IOCTL_SIM_SET_PLUGGED, 1, 0},
        {"generator short", IOCTL_SIM_SET_GENERATOR, sizeof(SimGeneratorRequest) - 1, 0},
        {"log short output", IOCTL_SIM_READ_LOG, 1, sizeof(SimLog) - 1},
        {"log no input", IOCTL_SIM_READ_LOG, 0, sizeof(SimLog)},
        {"reset with input", IOCTL_SIM_RESET, 1, 0},
        {"inject without header", IOCTL_SIM_INJECT_FRAME, sizeof(SimInjectHeader) - 1, 1},
        {"inject one byte more than length", IOCTL_SIM_INJECT_FRAME, sizeof(SimInjectHeader) + 1, 1},
        {"inject without result", IOCTL_SIM_INJECT_FRAME, sizeof(SimInjectHeader), 0},
        {"impairments short", IOCTL_SIM_SET_IMPAIRMENTS, sizeof(SimImpairRequest) - 1, 0},
        {"impairments with output", IOCTL_SIM_SET_IMPAIRMENTS, sizeof(SimImpairRequest), 1},
        {"driver queue short", IOCTL_SIM_SET_DRIVER_QUEUE, sizeof(SimDriverQueueRequest) - 1, 0},
        {"counter reset without adapter", IOCTL_SIM_RESET_COUNTERS, 0, 0},
        {"counter reset with output", IOCTL_SIM_RESET_COUNTERS, sizeof(SimAdapterRequest), 1},
        {"unknown code", SimControlCode(11), 0, 0},
        {"stream code", IOCTL_STREAM_COMMAND, 16, 528},
    };
    std::vector<uint8_t> input(sizeof(SimLog) + 16, 0);
    std::vector<uint8_t> output(sizeof(SimLog) + 16, 0xEE);
    for (const SimLengthCase& c : kCases) {
        SCOPED_TRACE(c.name);
        uint32_t written = 5;
        EXPECT_EQ(SimControl(*bank_, c.control_code, input.data(), c.input_length, output.data(), c.output_length,
                             now_, &written),
                  CallOutcome::InvalidParameter);
        EXPECT_EQ(written, 0u);
    }
    EXPECT_EQ(std::count(output.begin(), output.end(), 0xEE), static_cast<long>(output.size()));
}

TEST_F(ModelTest, ControlDeviceRefusesBadValues)
{
    uint32_t written = 0;
    // An injected frame claiming more than a buffer holds.
    std::vector<uint8_t> input(sizeof(SimInjectHeader) + kMaxFrame + 1, 0);
    const SimInjectHeader header{0, 0, 0, 0, static_cast<uint16_t>(kMaxFrame + 1)};
    memcpy(input.data(), &header, sizeof(header));
    uint8_t result = 0xEE;
    EXPECT_EQ(SimControl(*bank_, IOCTL_SIM_INJECT_FRAME, input.data(), static_cast<uint32_t>(input.size()), &result,
                         1, now_, &written),
              CallOutcome::InvalidParameter);
    EXPECT_EQ(result, 0xEE);

    EXPECT_EQ(SetGenerator(0, true, kMaxFrame + 1, 10, 0), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetGenerator(0, true, 10, 200000, 0), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetGenerator(kAdapterCount, true, 10, 10, 0), CallOutcome::InvalidParameter);
    EXPECT_EQ(Fault(0, READ_STATUS, 3, 0, 1), CallOutcome::InvalidParameter);
    EXPECT_EQ(Fault(kAdapterCount, READ_STATUS, FAULT_FAIL_CALL, 0, 1), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetPlugged(kAdapterCount, false), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetImpairments(kAdapterCount, {1, 0, 0, 0}), CallOutcome::InvalidParameter);
    // Driver queues: the frames' bookkeeping and bytes must fit the storage.
    EXPECT_EQ(SetDriverQueue(1, kDriverQueueMaxFrames + 1, 0), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetDriverQueue(1, 4096, kDriverQueueStorage - 4096 * 8 + 1), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetDriverQueue(1, 0xFFFFFFFF, 0xFFFFFFFF), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetDriverQueue(kAdapterCount, 1, 1), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetDriverQueue(1, 4096, kDriverQueueStorage - 4096 * 8), CallOutcome::Completed);
    const SimAdapterRequest bad{kAdapterCount};
    auto log = std::make_unique<SimLog>();
    EXPECT_EQ(SimControl(*bank_, IOCTL_SIM_READ_LOG, &bad.adapter, 1, reinterpret_cast<uint8_t*>(log.get()),
                         sizeof(SimLog), now_, &written),
              CallOutcome::InvalidParameter);
}

}  // namespace
}  // namespace qz6::sim::test
