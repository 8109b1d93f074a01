// The command channel: length rules, the command set, configuration and
// scripted faults.
#include "tests/model/model_fixture.h"

namespace qz6::sim::test {
namespace {

struct LengthCase {
    const char* name;
    uint32_t input_length;
    uint16_t data_length;  // as written in the block
    uint32_t output_length;
    uint32_t control_code;
    bool valid;
};

constexpr LengthCase kLengthCases[] = {
    {"header only", 16, 0, 528, IOCTL_STREAM_COMMAND, true},
    {"one byte short of a header", 15, 0, 528, IOCTL_STREAM_COMMAND, false},
    {"a byte more than data_length", 17, 0, 528, IOCTL_STREAM_COMMAND, false},
    {"a byte less than data_length", 16, 1, 528, IOCTL_STREAM_COMMAND, false},
    {"one data byte", 17, 1, 528, IOCTL_STREAM_COMMAND, true},
    {"full block", 528, 512, 528, IOCTL_STREAM_COMMAND, true},
    {"full block through the send code", 528, 512, 528, IOCTL_STREAM_SEND, true},
    {"past the block", 529, 513, 528, IOCTL_STREAM_COMMAND, false},
    {"output short", 16, 0, 527, IOCTL_STREAM_COMMAND, false},
    {"output long", 16, 0, 529, IOCTL_STREAM_COMMAND, false},
    {"no output", 16, 0, 0, IOCTL_STREAM_COMMAND, false},
    {"receive code", 16, 0, 528, IOCTL_STREAM_RECEIVE, false},
    {"simulator code", 16, 0, 528, IOCTL_SIM_GET_STATUS, false},
};

TEST_F(ModelTest, LengthRules)
{
    for (const LengthCase& c : kLengthCases) {
        SCOPED_TRACE(c.name);
        uint8_t input[600] = {};
        input[1] = READ_CODE_VERSION;
        input[2] = static_cast<uint8_t>(c.data_length);
        input[3] = static_cast<uint8_t>(c.data_length >> 8);
        uint8_t output[600];
        memset(output, 0xCC, sizeof(output));
        uint32_t written = 99;
        const CallOutcome outcome =
            StreamCommand(*bank_, 0, c.control_code, input, c.input_length, output, c.output_length, now_, &written);
        if (c.valid) {
            EXPECT_EQ(outcome, CallOutcome::Completed);
            EXPECT_EQ(written, 528u);
            EXPECT_EQ(output[4], RETURN_SUCCESS);
            EXPECT_EQ(output[528], 0xCC);
        } else {
            EXPECT_EQ(outcome, CallOutcome::InvalidParameter);
            EXPECT_EQ(written, 0u);
            for (uint8_t byte : output)
                ASSERT_EQ(byte, 0xCC);
        }
        const auto log = ReadLog(0);
        const SimLogEntry& entry = log->entries[log->count - 1];
        EXPECT_EQ(Got(entry.control_code), c.control_code);
        EXPECT_EQ(Got(entry.input_length), c.input_length);
        EXPECT_EQ(Got(entry.output_length), c.output_length);
        EXPECT_EQ(entry.outcome, c.valid ? LOG_COMPLETED : LOG_INVALID_PARAMETER);
        EXPECT_EQ(entry.return_code, c.valid ? RETURN_SUCCESS : NO_RESPONSE_CODE);
    }
}

TEST_F(ModelTest, BadAdapterIndexOrAbsentAdapterFailsCleanly)
{
    CommandBlock block{};
    uint32_t written = 1;
    EXPECT_EQ(StreamCommand(*bank_, kAdapterCount, IOCTL_STREAM_COMMAND, reinterpret_cast<uint8_t*>(&block), 16,
                            reinterpret_cast<uint8_t*>(&block), 528, now_, &written),
              CallOutcome::InvalidParameter);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(Command(kAbsentAdapter, READ_STATUS).outcome, CallOutcome::Failed);
    EXPECT_EQ(ReceiveCall(kAdapterCount + 3).outcome, CallOutcome::InvalidParameter);
    EXPECT_FALSE(DeviceVisible(*bank_, kAbsentAdapter));
    EXPECT_FALSE(DeviceVisible(*bank_, 1000));
    EXPECT_TRUE(DeviceVisible(*bank_, 0));
}

TEST_F(ModelTest, ReplyKeepsReservedBytesAndWorksInPlace)
{
    Configure(0);
    // One buffer for input and output, as a buffered control call passes it;
    // stale bytes beyond the input must not come back.
    uint8_t block[kCommandBlockSize];
    memset(block, 0x77, sizeof(block));
    block[0] = 0x5A;
    block[1] = READ_CONFIGURATION;
    block[2] = 0;
    block[3] = 0;
    block[4] = NO_RESPONSE_CODE;
    for (int i = 5; i < 16; ++i)
        block[i] = static_cast<uint8_t>(0xA0 + i);
    uint32_t written = 0;
    ASSERT_EQ(StreamCommand(*bank_, 0, IOCTL_STREAM_COMMAND, block, 16, block, 528, now_, &written),
              CallOutcome::Completed);
    EXPECT_EQ(block[0], 0x5A);
    for (int i = 5; i < 16; ++i)
        EXPECT_EQ(block[i], 0xA0 + i);
    EXPECT_EQ(block[4], RETURN_SUCCESS);
    EXPECT_EQ(block[2] | (block[3] << 8), kConfigurationReadSize);
    for (uint32_t i = 16 + kConfigurationReadSize; i < kCommandBlockSize; ++i)
        ASSERT_EQ(block[i], 0) << i;
}

TEST_F(ModelTest, UnknownCommandsAnswerUnknownAndChangeNothing)
{
    ConfigureAndEnable(0);
    ASSERT_EQ(Send(0, {1, 2, 3}), RETURN_SUCCESS);
    const SimStatus before = GetStatus();
    std::vector<uint8_t> codes = {0x02, FLUSH_BFRS, 0x0E, 0x0F, SET_INT_TRIGS, READ_INT_TRIGS, 0x23, 0x7F, 0xAA, 0xFF};
    for (uint8_t code = 0x12; code <= 0x1F; ++code)
        codes.push_back(code);
    for (uint8_t code : codes) {
        SCOPED_TRACE(code);
        const CommandResult result = Command(0, code, {0x01});
        EXPECT_EQ(result.outcome, CallOutcome::Completed);
        EXPECT_EQ(result.block.return_code, RETURN_UNKNOWN_COMMAND);
        EXPECT_EQ(result.block.data_length, 0);
    }
    const SimStatus after = GetStatus();
    EXPECT_EQ(memcmp(&before.adapters[0], &after.adapters[0], sizeof(SimAdapterStatus)), 0);
}

TEST_F(ModelTest, ReadCodeVersion)
{
    const CommandResult result = Command(0, READ_CODE_VERSION);
    EXPECT_EQ(result.block.return_code, RETURN_SUCCESS);
    ASSERT_EQ(result.block.data_length, 4);
    EXPECT_EQ(memcmp(result.block.data, "2.14", 4), 0);
}

TEST_F(ModelTest, ConfigurationIsNeededAndReadBackInItsReadForm)
{
    const uint8_t not_configured = Code(0, READ_CONFIGURATION);
    EXPECT_NE(not_configured, RETURN_SUCCESS);
    EXPECT_NE(not_configured, TIMEOUT_CODE);
    EXPECT_NE(not_configured, NO_RESPONSE_CODE);
    EXPECT_EQ(Code(0, ENABLE_COMMS), RETURN_NOT_CONFIGURED);
    EXPECT_EQ(Send(0, {1}), RETURN_NOT_CONFIGURED);

    Configuration c;
    c.baud_rate = 64000;
    c.max_frame_size = 1500;
    c.percent_tx_buffers = 25;
    c.operational_bits = 0x0003;
    c.modem_bits = 0x000A;
    c.statistics_bits = 0x003F;
    std::vector<uint8_t> set = SetForm(c);
    set[14] = 0x12;  // the adapter's clock is its own, whatever is sent
    set[17] = 0x34;
    ASSERT_EQ(Code(0, SET_CONFIGURATION, set), RETURN_SUCCESS);

    const StreamingConfiguration read = Read<StreamingConfiguration>(0, READ_CONFIGURATION);
    EXPECT_EQ(memcmp(&read, set.data(), 14), 0);
    EXPECT_EQ(Got(read.adapter_frequency), kAdapterFrequency);
    EXPECT_EQ(Got(read.transmit_buffers), 8);
    EXPECT_EQ(Got(read.receive_buffers), 24);
}

struct ConfigurationCase {
    const char* name;
    uint32_t baud_rate;
    uint16_t max_frame_size;
    uint16_t percent;
    bool accepted;
    uint16_t transmit_buffers;
};

constexpr ConfigurationCase kConfigurationCases[] = {
    {"no bit rate", 0, 2000, 50, false, 0},
    {"fastest bit rate", kMaxBaudRate, 2000, 50, true, 16},
    {"too fast", kMaxBaudRate + 1, 2000, 50, false, 0},
    {"no frame size", 56000, 0, 50, false, 0},
    {"largest frame", 56000, kMaxFrame, 50, true, 16},
    {"frame larger than a receive record holds", 56000, kMaxFrame + 1, 50, false, 0},
    {"no transmit buffers", 56000, 2000, 0, false, 0},
    {"under one transmit buffer", 56000, 2000, 3, false, 0},
    {"one transmit buffer", 56000, 2000, 4, true, 1},
    {"one receive buffer", 56000, 2000, 99, true, 31},
    {"no receive buffers", 56000, 2000, 100, false, 0},
    {"far beyond the pool", 56000, 2000, 65535, false, 0},
};

TEST_F(ModelTest, ConfigurationValuesTheAdapterCannotRunAreRefused)
{
    Configuration good;
    good.baud_rate = 9600;
    Configure(0, good);
    for (const ConfigurationCase& c : kConfigurationCases) {
        SCOPED_TRACE(c.name);
        Configuration attempt;
        attempt.baud_rate = c.baud_rate;
        attempt.max_frame_size = c.max_frame_size;
        attempt.percent_tx_buffers = c.percent;
        const uint8_t code = Code(0, SET_CONFIGURATION, SetForm(attempt));
        const StreamingConfiguration read = Read<StreamingConfiguration>(0, READ_CONFIGURATION);
        if (c.accepted) {
            EXPECT_EQ(code, RETURN_SUCCESS);
            EXPECT_EQ(Got(read.baud_rate), c.baud_rate);
            EXPECT_EQ(Got(read.transmit_buffers), c.transmit_buffers);
            EXPECT_EQ(static_cast<unsigned>(read.transmit_buffers + read.receive_buffers), kBufferPool);
            Configure(0, good);
        } else {
            EXPECT_EQ(code, RETURN_INVALID_PARAMETER);
            EXPECT_EQ(Got(read.baud_rate), 9600u);  // the old configuration stands
        }
    }
    std::vector<uint8_t> short_form = SetForm(good);
    short_form.pop_back();
    EXPECT_EQ(Code(0, SET_CONFIGURATION, short_form), RETURN_INVALID_PARAMETER);
    std::vector<uint8_t> long_form = SetForm(good);
    long_form.push_back(0);
    EXPECT_EQ(Code(0, SET_CONFIGURATION, long_form), RETURN_INVALID_PARAMETER);
}

TEST_F(ModelTest, ReconfiguringFlushesQueuesAndKeepsTheChannel)
{
    ConfigureAndEnable(0);
    ASSERT_EQ(Inject(0, {1, 2}), INJECT_QUEUED);
    ASSERT_EQ(Send(0, {3}), RETURN_SUCCESS);
    Configure(0);
    const StatusReply status = Status(0);
    EXPECT_EQ(status.channel_status, 1);
    EXPECT_EQ(Got(status.rx_frames_queued), 0);
    EXPECT_EQ(Got(status.tx_frames_queued), 0);
}

TEST_F(ModelTest, StatusReportsChannelQueuesAndInterrupts)
{
    StatusReply status = Status(0);
    EXPECT_EQ(status.channel_status, 0);
    EXPECT_EQ(status.interrupt_pending, 0);
    SetCable(0, CABLE_NONE);
    ConfigureAndEnable(0);
    status = Status(0);
    EXPECT_EQ(status.channel_status, 1);
    EXPECT_EQ(status.interrupt_pending, INTERRUPT_TX_READY);

    ASSERT_EQ(Inject(0, {1}), INJECT_QUEUED);
    ASSERT_EQ(Inject(0, {2}), INJECT_QUEUED);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(Send(0, {9}), RETURN_SUCCESS);
    status = Status(0);
    EXPECT_EQ(Got(status.rx_frames_queued), 2);
    EXPECT_EQ(Got(status.tx_frames_queued), 16);
    EXPECT_EQ(status.interrupt_pending, INTERRUPT_RX_FRAME);  // no transmit buffer free

    ASSERT_EQ(Code(0, DISABLE_COMMS), RETURN_SUCCESS);
    status = Status(0);
    EXPECT_EQ(status.channel_status, 0);
    EXPECT_EQ(Got(status.rx_frames_queued), 0);
    EXPECT_EQ(Got(status.tx_frames_queued), 0);
    EXPECT_EQ(status.interrupt_pending, 0);
}

TEST_F(ModelTest, SendIsRefusedWhileDisabledOrWithoutBuffers)
{
    Configure(0);
    EXPECT_EQ(Send(0, {1}), RETURN_CHANNEL_DISABLED);
    ASSERT_EQ(Code(0, ENABLE_COMMS), RETURN_SUCCESS);
    EXPECT_EQ(Send(0, {}), RETURN_SUCCESS);
    EXPECT_EQ(Send(0, std::vector<uint8_t>(512, 0x55)), RETURN_SUCCESS);
    for (int i = 2; i < 16; ++i)
        ASSERT_EQ(Send(0, {1}), RETURN_SUCCESS);
    EXPECT_EQ(Send(0, {1}), RETURN_NO_TX_BUFFER);
    EXPECT_EQ(Got(Status(0).tx_frames_queued), 16);
}

TEST_F(ModelTest, SwitchCommandsTakeExactlyOneByte)
{
    Configure(0);
    for (uint8_t command : {SET_DTR_RTS, BRIDGE_RX_TX, CRC_CONTROL}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Code(0, command, {}), RETURN_INVALID_PARAMETER);
        EXPECT_EQ(Code(0, command, {1, 0}), RETURN_INVALID_PARAMETER);
        EXPECT_EQ(Code(0, command, {1}), RETURN_SUCCESS);
    }
    const SimStatus status = GetStatus();
    EXPECT_EQ(status.adapters[0].bridge, 1);
    EXPECT_EQ(status.adapters[0].pass_bad_crc, 1);
    EXPECT_EQ(status.adapters[0].dtr, 1);
    EXPECT_EQ(status.adapters[0].rts, 0);
}

TEST_F(ModelTest, EitherControlCodeCarriesAnyCommandAndTheLogTellsWhich)
{
    ConfigureAndEnable(0);
    EXPECT_EQ(Command(0, READ_STATUS, {}, IOCTL_STREAM_SEND).block.return_code, RETURN_SUCCESS);
    EXPECT_EQ(Command(0, SEND_I_FRAME, {7, 8}, IOCTL_STREAM_COMMAND).block.return_code, RETURN_SUCCESS);
    const auto log = ReadLog(0);
    ASSERT_GE(log->count, 2u);
    const SimLogEntry& status_entry = log->entries[log->count - 2];
    const SimLogEntry& send_entry = log->entries[log->count - 1];
    EXPECT_EQ(Got(status_entry.control_code), IOCTL_STREAM_SEND);
    EXPECT_EQ(status_entry.command, READ_STATUS);
    EXPECT_EQ(Got(send_entry.control_code), IOCTL_STREAM_COMMAND);
    EXPECT_EQ(send_entry.command, SEND_I_FRAME);
    EXPECT_EQ(Got(send_entry.data_length), 2);
    EXPECT_EQ(send_entry.data[0], 7);
    EXPECT_EQ(send_entry.data[1], 8);
    EXPECT_EQ(send_entry.data[2], 0);
}

// ---------------------------------------------------------------------------
// Scripted faults.

TEST_F(ModelTest, FaultReturnCodeSkipsTheCommandForCountCalls)
{
    Configure(0);
    ASSERT_EQ(Fault(0, ENABLE_COMMS, FAULT_RETURN_CODE, 0x42, 2), CallOutcome::Completed);
    for (int i = 0; i < 2; ++i) {
        const CommandResult result = Command(0, ENABLE_COMMS);
        EXPECT_EQ(result.outcome, CallOutcome::Completed);
        EXPECT_EQ(result.block.return_code, 0x42);
        EXPECT_EQ(result.block.data_length, 0);
        EXPECT_EQ(Status(0).channel_status, 0);  // not executed, other commands unaffected
    }
    EXPECT_EQ(Code(0, ENABLE_COMMS), RETURN_SUCCESS);
    EXPECT_EQ(Status(0).channel_status, 1);
}

TEST_F(ModelTest, FaultNoAnswerReturnsTheBlockAsSent)
{
    ASSERT_EQ(Fault(0, READ_CODE_VERSION, FAULT_NO_ANSWER, 0, 1), CallOutcome::Completed);
    const CommandResult result = Command(0, READ_CODE_VERSION, {});
    EXPECT_EQ(result.outcome, CallOutcome::Completed);
    EXPECT_EQ(result.written, 528u);
    EXPECT_EQ(result.block.return_code, NO_RESPONSE_CODE);
    EXPECT_EQ(result.block.data_length, 0);
    EXPECT_EQ(Code(0, READ_CODE_VERSION), RETURN_SUCCESS);
}

TEST_F(ModelTest, FaultFailCallWritesNothingAndIsLogged)
{
    ASSERT_EQ(Fault(0, READ_STATUS, FAULT_FAIL_CALL, 0, 1), CallOutcome::Completed);
    const CommandResult result = Command(0, READ_STATUS);
    EXPECT_EQ(result.outcome, CallOutcome::Failed);
    EXPECT_EQ(result.written, 0u);
    EXPECT_EQ(result.block.return_code, 0xEE);
    const auto log = ReadLog(0);
    EXPECT_EQ(log->entries[log->count - 1].outcome, LOG_FAILED);
    EXPECT_EQ(log->entries[log->count - 1].return_code, NO_RESPONSE_CODE);
}

TEST_F(ModelTest, FaultsForAnyCommandAndTheirClearing)
{
    ASSERT_EQ(Fault(0, kAnyCommand, FAULT_RETURN_CODE, 0x61, 3), CallOutcome::Completed);
    ASSERT_EQ(Fault(0, READ_STATUS, FAULT_RETURN_CODE, 0x62, 1), CallOutcome::Completed);
    EXPECT_EQ(Code(0, READ_STATUS), 0x62);  // the command's own script first
    EXPECT_EQ(Code(0, READ_STATUS), 0x61);
    EXPECT_EQ(Code(0, 0x13), 0x61);
    // A call that fails the length rules consumes nothing.
    uint8_t block[528] = {};
    uint32_t written = 0;
    EXPECT_EQ(StreamCommand(*bank_, 0, IOCTL_STREAM_COMMAND, block, 15, block, 528, now_, &written),
              CallOutcome::InvalidParameter);
    EXPECT_EQ(Code(0, READ_CODE_VERSION), 0x61);
    EXPECT_EQ(Code(0, READ_CODE_VERSION), RETURN_SUCCESS);

    // Setting a command's script again replaces it; count 0 clears it.
    ASSERT_EQ(Fault(0, READ_STATUS, FAULT_RETURN_CODE, 0x63, 5), CallOutcome::Completed);
    ASSERT_EQ(Fault(0, READ_STATUS, FAULT_RETURN_CODE, 0x64, 1), CallOutcome::Completed);
    EXPECT_EQ(Code(0, READ_STATUS), 0x64);
    EXPECT_EQ(Code(0, READ_STATUS), RETURN_SUCCESS);
    ASSERT_EQ(Fault(0, READ_STATUS, FAULT_RETURN_CODE, 0x65, 5), CallOutcome::Completed);
    ASSERT_EQ(Fault(0, READ_STATUS, FAULT_RETURN_CODE, 0, 0), CallOutcome::Completed);
    EXPECT_EQ(Code(0, READ_STATUS), RETURN_SUCCESS);

    // kAnyCommand with count 0 clears every script; slots are limited.
    for (uint8_t command = 0; command < kFaultSlots; ++command)
        ASSERT_EQ(Fault(0, command, FAULT_RETURN_CODE, 0x66, 9), CallOutcome::Completed);
    EXPECT_EQ(Fault(0, 0x10, FAULT_RETURN_CODE, 0x66, 9), CallOutcome::InvalidParameter);
    ASSERT_EQ(Fault(0, kAnyCommand, FAULT_RETURN_CODE, 0, 0), CallOutcome::Completed);
    for (uint8_t command = 0; command < kFaultSlots; ++command)
        EXPECT_NE(Code(0, command), 0x66);
    // Scripts are per adapter.
    ASSERT_EQ(Fault(1, kAnyCommand, FAULT_FAIL_CALL, 0, 1), CallOutcome::Completed);
    EXPECT_EQ(Command(0, READ_STATUS).outcome, CallOutcome::Completed);
    EXPECT_EQ(Command(1, READ_STATUS).outcome, CallOutcome::Failed);
}

}  // namespace
}  // namespace qz6::sim::test
