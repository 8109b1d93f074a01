// The line: bit-rate timing, cables and modem lines, reception rules,
// counters, bridge and CRC handling.
#include "tests/model/model_fixture.h"

namespace qz6::sim::test {
namespace {

TEST(FrameCheckSequence, MatchesTheCrc16X25CheckValue)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(FrameCheckSequence(check, sizeof(check)), 0x906E);
    EXPECT_EQ(FrameCheckSequence(check, 0), 0x0000);
}

TEST(WireTime, CountsFlagsAndCrcAndRoundsUp)
{
    EXPECT_EQ(WireTimeUs(100, 56000), 14858u);  // 832 bits
    EXPECT_EQ(WireTimeUs(0, 8000000), 4u);
    EXPECT_EQ(WireTimeUs(0, 0), 0u);
}

TEST_F(ModelTest, FiftySixKilobitsCarrySixtySevenFramesOfOneHundredBytesASecond)
{
    ConfigureAndEnable(0);
    const std::vector<uint8_t> frame(100, 0x5A);
    size_t delivered = 0;
    const uint64_t end = now_ + 1'000'000;
    while (now_ < end) {
        while (Status(0).tx_frames_queued < 16)
            ASSERT_EQ(Send(0, frame), RETURN_SUCCESS);
        for (const auto& data : ReceiveAll(0)) {
            EXPECT_EQ(data, frame);
            ++delivered;
        }
        Wait(1000);
    }
    delivered += ReceiveAll(0).size();
    EXPECT_EQ(delivered, 67u);
    EXPECT_EQ(Got(Statistics(0).tx_frames), 67u);
}

TEST_F(ModelTest, FramesGoBackToBackAndAnIdleLineStartsAtOnce)
{
    ConfigureAndEnable(0);
    const uint64_t wire = WireTimeUs(10, 56000);
    const uint64_t start = now_;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Send(0, std::vector<uint8_t>(10, static_cast<uint8_t>(i))), RETURN_SUCCESS);
    for (uint64_t k = 1; k <= 3; ++k) {
        EXPECT_EQ(NextEventUs(*bank_, now_), start + k * wire);
        now_ = start + k * wire - 1;
        Advance(*bank_, now_);
        EXPECT_EQ(Got(Status(0).rx_frames_queued), k - 1);
        Wait(1);
        EXPECT_EQ(Got(Status(0).rx_frames_queued), k);
    }
    EXPECT_EQ(NextEventUs(*bank_, now_), UINT64_MAX);

    Wait(5'000'000);  // an idle line: the next frame does not catch up
    ASSERT_EQ(Send(0, {1}), RETURN_SUCCESS);
    EXPECT_EQ(NextEventUs(*bank_, now_), now_ + WireTimeUs(1, 56000));
}

TEST_F(ModelTest, LoopbackPlugReturnsFramesAndModemLines)
{
    ConfigureAndEnable(0);
    EXPECT_EQ(ModemLines(0), 0);
    ASSERT_EQ(Code(0, SET_DTR_RTS, {DTR_HIGH}), RETURN_SUCCESS);
    EXPECT_EQ(ModemLines(0), MODEM_LINE_DCD);
    ASSERT_EQ(Code(0, SET_DTR_RTS, {RTS_HIGH}), RETURN_SUCCESS);
    EXPECT_EQ(ModemLines(0), MODEM_LINE_CTS);
    ASSERT_EQ(Send(0, Bytes("loop")), RETURN_SUCCESS);
    Wait(1'000'000);
    EXPECT_EQ(ReceiveAll(0), std::vector<std::vector<uint8_t>>{Bytes("loop")});
}

TEST_F(ModelTest, NullModemCrossesFramesAndModemLinesBothWays)
{
    ASSERT_EQ(SetCable(0, CABLE_NULL_MODEM, 1), CallOutcome::Completed);
    ConfigureAndEnable(0);
    ConfigureAndEnable(1);
    const SimStatus status = GetStatus();
    EXPECT_EQ(status.adapters[1].cable, CABLE_NULL_MODEM);
    EXPECT_EQ(status.adapters[1].peer, 0);

    ASSERT_EQ(Code(0, SET_DTR_RTS, {DTR_HIGH}), RETURN_SUCCESS);
    EXPECT_EQ(ModemLines(1), MODEM_LINE_DCD);
    EXPECT_EQ(ModemLines(0), 0);
    ASSERT_EQ(Code(1, SET_DTR_RTS, {RTS_HIGH}), RETURN_SUCCESS);
    EXPECT_EQ(ModemLines(0), MODEM_LINE_CTS);

    ASSERT_EQ(Send(0, Bytes("to one")), RETURN_SUCCESS);
    ASSERT_EQ(Send(1, Bytes("to zero")), RETURN_SUCCESS);
    Wait(1'000'000);
    EXPECT_EQ(ReceiveAll(1), std::vector<std::vector<uint8_t>>{Bytes("to one")});
    EXPECT_EQ(ReceiveAll(0), std::vector<std::vector<uint8_t>>{Bytes("to zero")});

    // The far end unplugged: its outputs no longer reach this end.
    ASSERT_EQ(SetPlugged(1, false), CallOutcome::Completed);
    EXPECT_EQ(ModemLines(0), 0);
}

TEST_F(ModelTest, NoCableSendsIntoTheVoid)
{
    ASSERT_EQ(SetCable(0, CABLE_NONE), CallOutcome::Completed);
    ConfigureAndEnable(0);
    ASSERT_EQ(Code(0, SET_DTR_RTS, {DTR_HIGH | RTS_HIGH}), RETURN_SUCCESS);
    ASSERT_EQ(Send(0, {1, 2, 3}), RETURN_SUCCESS);
    Wait(1'000'000);
    EXPECT_TRUE(ReceiveAll(0).empty());
    EXPECT_EQ(Got(Statistics(0).tx_frames), 1u);
    EXPECT_EQ(ModemLines(0), 0);
}

TEST_F(ModelTest, RecablingLeavesFormerPeersWithoutCable)
{
    ASSERT_EQ(SetCable(0, CABLE_NULL_MODEM, 1), CallOutcome::Completed);
    ASSERT_EQ(SetCable(2, CABLE_NULL_MODEM, 3), CallOutcome::Completed);
    ASSERT_EQ(SetCable(0, CABLE_NULL_MODEM, 2), CallOutcome::Completed);
    SimStatus status = GetStatus();
    EXPECT_EQ(status.adapters[0].cable, CABLE_NULL_MODEM);
    EXPECT_EQ(status.adapters[0].peer, 2);
    EXPECT_EQ(status.adapters[2].cable, CABLE_NULL_MODEM);
    EXPECT_EQ(status.adapters[2].peer, 0);
    EXPECT_EQ(status.adapters[1].cable, CABLE_NONE);
    EXPECT_EQ(status.adapters[3].cable, CABLE_NONE);

    ASSERT_EQ(SetCable(2, CABLE_LOOPBACK), CallOutcome::Completed);
    status = GetStatus();
    EXPECT_EQ(status.adapters[0].cable, CABLE_NONE);
    EXPECT_EQ(status.adapters[2].cable, CABLE_LOOPBACK);

    EXPECT_EQ(SetCable(0, CABLE_NULL_MODEM, 0), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetCable(0, CABLE_NULL_MODEM, kAdapterCount), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetCable(kAdapterCount, CABLE_LOOPBACK), CallOutcome::InvalidParameter);
    EXPECT_EQ(SetCable(0, 3), CallOutcome::InvalidParameter);
    EXPECT_EQ(GetStatus().adapters[0].cable, CABLE_NONE);
}

TEST_F(ModelTest, ModemChangesLatchAndDropsAreCounted)
{
    Configuration c;
    c.modem_bits = MODEM_REPORT_DCD_ONLY;
    ConfigureAndEnable(0, c);
    ASSERT_EQ(Code(0, SET_DTR_RTS, {DTR_HIGH | RTS_HIGH}), RETURN_SUCCESS);
    EXPECT_TRUE(Status(0).interrupt_pending & INTERRUPT_MODEM_CHANGE);
    EXPECT_EQ(ModemLines(0), MODEM_LINE_DCD | MODEM_LINE_CTS);
    EXPECT_FALSE(Status(0).interrupt_pending & INTERRUPT_MODEM_CHANGE);  // read clears the latch
    ASSERT_EQ(Code(0, SET_DTR_RTS, {0}), RETURN_SUCCESS);
    CommErrorsReply errors = CommErrors(0);
    EXPECT_EQ(errors.dcd_drops, 1);
    EXPECT_EQ(errors.cts_drops, 0);  // only DCD is reported

    // Manual inputs override the cable; no latch when change interrupts are off.
    c.modem_bits = MODEM_NO_CHANGE_INTERRUPTS;
    Configure(0, c);
    ModemLines(0);  // clears the latch of the last drop
    ASSERT_EQ(Sim(IOCTL_SIM_SET_MODEM_INPUTS, SimModemInputsRequest{0, 1, 0, 1}), CallOutcome::Completed);
    EXPECT_FALSE(Status(0).interrupt_pending & INTERRUPT_MODEM_CHANGE);
    EXPECT_EQ(ModemLines(0), MODEM_LINE_CTS);
    ASSERT_EQ(Sim(IOCTL_SIM_SET_MODEM_INPUTS, SimModemInputsRequest{0, 1, 0, 0}), CallOutcome::Completed);
    EXPECT_EQ(CommErrors(0).cts_drops, 1);

    // Drops while the channel is disabled are no errors.
    ASSERT_EQ(Code(0, DISABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(Sim(IOCTL_SIM_SET_MODEM_INPUTS, SimModemInputsRequest{0, 1, 1, 1}), CallOutcome::Completed);
    ASSERT_EQ(Sim(IOCTL_SIM_SET_MODEM_INPUTS, SimModemInputsRequest{0, 1, 0, 0}), CallOutcome::Completed);
    errors = CommErrors(0);
    EXPECT_EQ(errors.dcd_drops, 1);
    EXPECT_EQ(errors.cts_drops, 1);
}

// ---------------------------------------------------------------------------
// Reception rules and counters.

TEST_F(ModelTest, InjectedFramesMeetTheReceiveRules)
{
    EXPECT_EQ(Inject(kAbsentAdapter, {1}), INJECT_DROPPED_UNPLUGGED);
    EXPECT_EQ(Inject(0, {1}), INJECT_DROPPED_NOT_CONFIGURED);
    Configuration c;
    c.max_frame_size = 4;
    Configure(0, c);
    EXPECT_EQ(Inject(0, {1}), INJECT_DROPPED_DISABLED);
    ASSERT_EQ(Code(0, ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(SetDriverQueue(0, 0, 0), CallOutcome::Completed);  // the adapter's buffers alone
    EXPECT_EQ(Inject(0, {1, 2, 3, 4}), INJECT_QUEUED);
    EXPECT_EQ(Inject(0, {1, 2, 3, 4, 5}), INJECT_DROPPED_TOO_LONG);
    EXPECT_EQ(Inject(0, {1}, INJECT_ABORT), INJECT_DROPPED_ABORT);
    EXPECT_EQ(Inject(0, {1}, INJECT_BAD_CRC), INJECT_DROPPED_BAD_CRC);
    for (int i = 1; i < 16; ++i)
        ASSERT_EQ(Inject(0, {static_cast<uint8_t>(i)}), INJECT_QUEUED);
    EXPECT_EQ(Inject(0, {99}), INJECT_DROPPED_QUEUE_FULL);
    EXPECT_EQ(Inject(0, {99}), INJECT_DROPPED_QUEUE_FULL);

    const CommErrorsReply errors = CommErrors(0);
    EXPECT_EQ(errors.rx_aborts, 1);
    EXPECT_EQ(errors.rx_crc_errors, 1);
    EXPECT_EQ(errors.rx_disabled_bfrs_full, 2);
    const StatisticsReply statistics = Statistics(0);
    EXPECT_EQ(Got(statistics.rx_discards_too_long), 1);
    EXPECT_EQ(Got(statistics.rx_frames), 16u);
    EXPECT_EQ(Got(statistics.rx_bytes), 19u);
    EXPECT_EQ(Got(GetStatus().adapters[0].frames_dropped), 2u);
    EXPECT_EQ(ReceiveAll(0).size(), 16u);
}

TEST_F(ModelTest, ErrorCountersSaturateAndZero)
{
    Configuration c;
    c.max_frame_size = 1;
    ConfigureAndEnable(0, c);
    ASSERT_EQ(SetDriverQueue(0, 0, 0), CallOutcome::Completed);  // the adapter's buffers alone
    for (int i = 0; i < 300; ++i) {
        Inject(0, {1}, INJECT_ABORT);
        Inject(0, {1}, INJECT_BAD_CRC);
    }
    for (int i = 0; i < 20; ++i)
        Inject(0, {1});
    for (int i = 0; i < 70000; ++i)
        Inject(0, {1, 2});
    CommErrorsReply errors = CommErrors(0);
    EXPECT_EQ(errors.rx_aborts, 255);
    EXPECT_EQ(errors.rx_crc_errors, 255);
    EXPECT_EQ(errors.rx_disabled_bfrs_full, 4);
    EXPECT_EQ(Got(Statistics(0).rx_discards_too_long), 0xFFFF);

    ASSERT_EQ(Code(0, ZERO_COMM_ERRORS), RETURN_SUCCESS);
    errors = CommErrors(0);
    const CommErrorsReply zero{};
    EXPECT_EQ(memcmp(&errors, &zero, sizeof(errors)), 0);
    EXPECT_EQ(Got(Statistics(0).rx_discards_too_long), 0xFFFF);  // a statistic, not a comm error
    ASSERT_EQ(Code(0, ZERO_STATISTICS), RETURN_SUCCESS);
    EXPECT_EQ(Got(Statistics(0).rx_discards_too_long), 0);
}

struct StatisticsBitsCase {
    uint16_t bits;
    bool counts_tx;
    bool counts_rx;
};

TEST_F(ModelTest, CountersHonourStatisticsBits)
{
    constexpr StatisticsBitsCase kCases[] = {
        {0, false, false},
        {STATISTICS_COUNT_TX, true, false},
        {STATISTICS_COUNT_RX, false, true},
        {STATISTICS_COUNT_TX | STATISTICS_COUNT_RX, true, true},
    };
    for (const StatisticsBitsCase& c : kCases) {
        SCOPED_TRACE(c.bits);
        Configuration config;
        config.statistics_bits = c.bits;
        ConfigureAndEnable(0, config);
        ASSERT_EQ(Code(0, ZERO_STATISTICS), RETURN_SUCCESS);
        ASSERT_EQ(Send(0, std::vector<uint8_t>(10, 1)), RETURN_SUCCESS);
        ASSERT_EQ(Send(0, std::vector<uint8_t>(20, 2)), RETURN_SUCCESS);
        Wait(1'000'000);
        const StatisticsReply s = Statistics(0);
        EXPECT_EQ(Got(s.tx_frames), c.counts_tx ? 2u : 0u);
        EXPECT_EQ(Got(s.tx_bytes), c.counts_tx ? 30u : 0u);
        EXPECT_EQ(Got(s.rx_frames), c.counts_rx ? 2u : 0u);
        EXPECT_EQ(Got(s.rx_bytes), c.counts_rx ? 30u : 0u);
        EXPECT_EQ(Got(s.tx_throughput), 0u);
        EXPECT_EQ(Got(s.rx_throughput), 0u);
        // No throughput asked for: the window counters stay still, so an
        // idle adapter's statistics reply does not change from second to second.
        EXPECT_EQ(Got(s.tx_throughput_ms), 0u);
        EXPECT_EQ(Got(s.rx_throughput_ms), 0u);
        ReceiveAll(0);
    }
}

TEST_F(ModelTest, ThroughputIsMeasuredOverWindowsOfAtLeastOneSecond)
{
    Configuration c;
    c.statistics_bits = STATISTICS_TX_THROUGHPUT | STATISTICS_RX_THROUGHPUT;
    c.baud_rate = 2048000;
    ConfigureAndEnable(0, c);
    ASSERT_EQ(Code(0, ZERO_STATISTICS), RETURN_SUCCESS);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(Send(0, std::vector<uint8_t>(100, 0)), RETURN_SUCCESS);
    Wait(999'000);
    StatisticsReply s = Statistics(0);
    EXPECT_EQ(Got(s.tx_throughput_ms), 0u);  // the first window is still open
    Wait(1'000);
    s = Statistics(0);
    EXPECT_EQ(Got(s.tx_throughput), 500u);
    EXPECT_EQ(Got(s.tx_throughput_ms), 1000u);
    EXPECT_EQ(Got(s.rx_throughput), 500u);
    EXPECT_EQ(Got(s.rx_throughput_ms), 1000u);
    EXPECT_EQ(Got(s.tx_frames), 0u);  // counting is a separate option

    ReceiveAll(0);
    ASSERT_EQ(Send(0, std::vector<uint8_t>(250, 0)), RETURN_SUCCESS);
    Wait(2'500'000);
    s = Statistics(0);
    EXPECT_EQ(Got(s.tx_throughput), 100u);
    EXPECT_EQ(Got(s.tx_throughput_ms), 2500u);

    ASSERT_EQ(Code(0, ZERO_STATISTICS), RETURN_SUCCESS);
    EXPECT_EQ(Got(Statistics(0).tx_throughput_ms), 0u);
}

TEST_F(ModelTest, BridgeRetransmitsReceivedFramesAndCountsDiscards)
{
    Configuration c;
    c.percent_tx_buffers = 4;  // one transmit buffer
    ASSERT_EQ(SetCable(0, CABLE_NULL_MODEM, 1), CallOutcome::Completed);
    ConfigureAndEnable(0, c);
    ConfigureAndEnable(1);
    ASSERT_EQ(Code(0, BRIDGE_RX_TX, {1}), RETURN_SUCCESS);
    ASSERT_EQ(Inject(0, Bytes("first")), INJECT_QUEUED);
    ASSERT_EQ(Inject(0, Bytes("second")), INJECT_QUEUED);
    ASSERT_EQ(Inject(0, Bytes("third")), INJECT_QUEUED);
    EXPECT_EQ(Got(Statistics(0).bridge_tx_discards), 2u);

    const ReceiveResult first = ReceiveCall(0);
    EXPECT_EQ(first.frame_bits(), FRAME_BITS_BRIDGED);
    EXPECT_EQ(ReceiveCall(0).frame_bits(), 0);
    Wait(1'000'000);
    EXPECT_EQ(ReceiveAll(1), std::vector<std::vector<uint8_t>>{Bytes("first")});

    ASSERT_EQ(Code(0, BRIDGE_RX_TX, {0}), RETURN_SUCCESS);
    ASSERT_EQ(Inject(0, Bytes("fourth")), INJECT_QUEUED);
    Wait(1'000'000);
    EXPECT_TRUE(ReceiveAll(1).empty());
}

TEST_F(ModelTest, BridgeOnALoopbackPlugNeverRunsOutOfBuffers)
{
    // Every frame received is sent again and comes back. The sixteenth
    // arrives while both queues are otherwise full: the pool must still
    // hold it, its bridged copy and the frame on the wire.
    Configuration c;
    c.baud_rate = kMaxBaudRate;
    ConfigureAndEnable(0, c);
    ASSERT_EQ(SetDriverQueue(0, 0, 0), CallOutcome::Completed);  // the adapter's buffers alone
    ASSERT_EQ(Code(0, BRIDGE_RX_TX, {1}), RETURN_SUCCESS);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(Send(0, {static_cast<uint8_t>(i)}), RETURN_SUCCESS);
    Wait(100'000);
    EXPECT_EQ(Got(Statistics(0).bridge_tx_discards), 0u);
    // The copies came back to a full queue and were dropped there.
    EXPECT_EQ(CommErrors(0).rx_disabled_bfrs_full, 16);
    EXPECT_EQ(Got(Status(0).tx_frames_queued), 0);
    for (int i = 0; i < 16; ++i) {
        const ReceiveResult r = ReceiveCall(0);
        EXPECT_EQ(r.frame_bits(), FRAME_BITS_BRIDGED);
        EXPECT_EQ(r.data(), std::vector<uint8_t>{static_cast<uint8_t>(i)});
    }
}

TEST_F(ModelTest, BadCrcFramesArePassedOrDroppedAndCrcBytesAppended)
{
    Configuration c;
    c.operational_bits = OPERATIONAL_PASS_CRC_BYTES;
    ConfigureAndEnable(0, c);
    const std::vector<uint8_t> check = Bytes("123456789");

    ASSERT_EQ(Inject(0, check, 0, 0x40), INJECT_QUEUED);
    ReceiveResult r = ReceiveCall(0);
    EXPECT_EQ(r.frame_length(), 11);
    EXPECT_EQ(r.frame_bits(), FRAME_BITS_CRC_INCLUDED | 0x40);
    std::vector<uint8_t> expected = check;
    expected.push_back(0x6E);
    expected.push_back(0x90);
    EXPECT_EQ(r.data(), expected);

    EXPECT_EQ(Inject(0, check, INJECT_BAD_CRC), INJECT_DROPPED_BAD_CRC);
    ASSERT_EQ(Code(0, CRC_CONTROL, {1}), RETURN_SUCCESS);
    ASSERT_EQ(Inject(0, check, INJECT_BAD_CRC), INJECT_QUEUED);
    r = ReceiveCall(0);
    EXPECT_EQ(r.frame_bits(), FRAME_BITS_CRC_INCLUDED | FRAME_BITS_CRC_ERROR);
    expected[9] = 0x91;  // the wrong check sequence that came with it
    expected[10] = 0x6F;
    EXPECT_EQ(r.data(), expected);
    EXPECT_EQ(CommErrors(0).rx_crc_errors, 1);
}

TEST_F(ModelTest, ReceivedFramesAreTimestampedOnRequest)
{
    Configuration c;
    c.statistics_bits = STATISTICS_TIMESTAMP_RX;
    Wait(2'345'678);
    ConfigureAndEnable(0, c);
    ASSERT_EQ(Inject(0, {1}), INJECT_QUEUED);
    const ReceiveResult r = ReceiveCall(0);
    EXPECT_EQ(r.frame_bits(), FRAME_BITS_TIMESTAMPED);
    EXPECT_EQ(r.timestamp_ms(), 2345u);
}

}  // namespace
}  // namespace qz6::sim::test
