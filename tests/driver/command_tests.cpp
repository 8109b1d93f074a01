// The simulated adapter driver through its real devices: the command set,
// the length rules, scripted faults and handles.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/adapter_names.h"
#include "support/device_support.h"

namespace qz6::test {
namespace {

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SimReset()) << "the simulator's control device is not there: is the Zurezi6 service running?";
        adapter_ = OpenAdapter(0);
        ASSERT_TRUE(adapter_.Valid());
    }
    HANDLE device() const { return adapter_.Get(); }

    DeviceHandle adapter_;
};

TEST_F(AdapterTest, ConfigurationIsRefusedUntilSetThenReadBackInFull)
{
    CommandBlock reply{};
    const uint8_t before = RunCommand(device(), READ_CONFIGURATION, {}, &reply);
    EXPECT_NE(before, RETURN_SUCCESS);
    EXPECT_NE(before, TIMEOUT_CODE);
    EXPECT_NE(before, NO_RESPONSE_CODE);

    StreamingConfiguration sent = DefaultConfiguration(64000);
    sent.adapter_frequency = 0x12345678;  // the adapter reports its own clock here
    ASSERT_EQ(Configure(device(), sent), RETURN_SUCCESS);

    ASSERT_EQ(RunCommand(device(), READ_CONFIGURATION, {}, &reply), RETURN_SUCCESS);
    ASSERT_EQ(reply.data_length, kConfigurationReadSize);
    StreamingConfiguration read{};
    std::memcpy(&read, reply.data, sizeof(read));
    EXPECT_EQ(read.baud_rate, 64000u);
    EXPECT_EQ(read.max_frame_size, 2000);
    EXPECT_EQ(read.percent_tx_buffers, 50);
    EXPECT_EQ(read.operational_bits, OPERATIONAL_RS232);
    EXPECT_EQ(read.modem_bits, MODEM_IGNORE_CHANGES);
    EXPECT_EQ(read.statistics_bits, STATISTICS_COUNT_TX | STATISTICS_COUNT_RX);
    EXPECT_NE(read.adapter_frequency, 0u);
    EXPECT_NE(read.adapter_frequency, 0x12345678u);
    EXPECT_GT(read.transmit_buffers, 0);
    EXPECT_GT(read.receive_buffers, 0);
    EXPECT_EQ(read.transmit_buffers, read.receive_buffers);
}

TEST_F(AdapterTest, ConfigurationsTheAdapterCannotRunAreRefusedAndTheOldOneKept)
{
    ASSERT_EQ(Configure(device(), DefaultConfiguration(19200)), RETURN_SUCCESS);
    StreamingConfiguration bad[4] = {DefaultConfiguration(0), DefaultConfiguration(100000000), DefaultConfiguration(),
                                     DefaultConfiguration()};
    bad[2].max_frame_size = 0;
    bad[3].percent_tx_buffers = 100;
    for (const StreamingConfiguration& configuration : bad)
        EXPECT_NE(Configure(device(), configuration), RETURN_SUCCESS);

    CommandBlock reply{};
    ASSERT_EQ(RunCommand(device(), READ_CONFIGURATION, {}, &reply), RETURN_SUCCESS);
    StreamingConfiguration read{};
    std::memcpy(&read, reply.data, sizeof(read));
    EXPECT_EQ(read.baud_rate, 19200u);
    EXPECT_EQ(read.max_frame_size, 2000);
}

TEST_F(AdapterTest, VersionIsShortTextWithItsLength)
{
    CommandBlock reply{};
    ASSERT_EQ(RunCommand(device(), READ_CODE_VERSION, {}, &reply), RETURN_SUCCESS);
    ASSERT_GT(reply.data_length, 0);
    ASSERT_LE(reply.data_length, 15);
    for (unsigned i = 0; i < reply.data_length; ++i)
        EXPECT_TRUE(reply.data[i] >= 0x20 && reply.data[i] < 0x7F) << "byte " << i;
}

TEST_F(AdapterTest, StatusFollowsTheChannel)
{
    CommandBlock reply{};
    ASSERT_EQ(RunCommand(device(), READ_STATUS, {}, &reply), RETURN_SUCCESS);
    EXPECT_EQ(reply.data_length, sizeof(StatusReply));
    EXPECT_EQ(reply.data[0], 0) << "channel disabled at power-on";

    EXPECT_NE(RunCommand(device(), ENABLE_COMMS), RETURN_SUCCESS) << "an unconfigured adapter cannot enable";
    ASSERT_EQ(Configure(device(), DefaultConfiguration()), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(device(), ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(device(), READ_STATUS, {}, &reply), RETURN_SUCCESS);
    EXPECT_NE(reply.data[0], 0);
    ASSERT_EQ(RunCommand(device(), DISABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(device(), READ_STATUS, {}, &reply), RETURN_SUCCESS);
    EXPECT_EQ(reply.data[0], 0);
}

TEST_F(AdapterTest, LoopbackPlugTurnsDtrAndRtsIntoDcdAndCts)
{
    struct Row {
        uint8_t outputs;
        uint8_t expected_lines;
    };
    const Row rows[] = {
        {0, 0},
        {DTR_HIGH, MODEM_LINE_DCD},
        {RTS_HIGH, MODEM_LINE_CTS},
        {DTR_HIGH | RTS_HIGH, MODEM_LINE_DCD | MODEM_LINE_CTS},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(RunCommand(device(), SET_DTR_RTS, {row.outputs}), RETURN_SUCCESS);
        CommandBlock reply{};
        ASSERT_EQ(RunCommand(device(), READ_DCD_CTS, {}, &reply), RETURN_SUCCESS);
        EXPECT_EQ(reply.data_length, 1);
        EXPECT_EQ(reply.data[0] & (MODEM_LINE_DCD | MODEM_LINE_CTS), row.expected_lines) << "outputs " << int(row.outputs);
    }
}

TEST_F(AdapterTest, NullModemCableCrossesFramesAndModemLines)
{
    DeviceHandle other = OpenAdapter(1);
    ASSERT_TRUE(other.Valid());
    ASSERT_TRUE(SimCable(0, CABLE_NULL_MODEM, 1));
    for (HANDLE h : {device(), other.Get()}) {
        ASSERT_EQ(Configure(h, DefaultConfiguration(2048000)), RETURN_SUCCESS);
        ASSERT_EQ(RunCommand(h, ENABLE_COMMS), RETURN_SUCCESS);
    }
    ASSERT_EQ(RunCommand(device(), SET_DTR_RTS, {DTR_HIGH}), RETURN_SUCCESS);
    CommandBlock reply{};
    ASSERT_EQ(RunCommand(other.Get(), READ_DCD_CTS, {}, &reply), RETURN_SUCCESS);
    EXPECT_EQ(reply.data[0] & (MODEM_LINE_DCD | MODEM_LINE_CTS), MODEM_LINE_DCD);

    ASSERT_EQ(RunCommand(device(), SEND_I_FRAME, {0x11, 0x22, 0x33}), RETURN_SUCCESS);
    static ReceiveRecord record;
    const CallResult result = Receive(other.Get(), &record, sizeof(record));
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(record.status, RECEIVE_FRAME_PRESENT);
    EXPECT_EQ(record.frame_length, 3);
    EXPECT_EQ(record.frame_data[2], 0x33);
    EXPECT_EQ(SimAdapter(0).rx_queued, 0) << "nothing loops back on a null-modem cable";
}

TEST_F(AdapterTest, SentFrameComesBackOverTheLoopbackPlugAndIsCounted)
{
    ASSERT_EQ(Configure(device(), DefaultConfiguration(2048000)), RETURN_SUCCESS);
    EXPECT_NE(RunCommand(device(), SEND_I_FRAME, {1, 2, 3}), RETURN_SUCCESS) << "sending needs the channel enabled";
    ASSERT_EQ(RunCommand(device(), ENABLE_COMMS), RETURN_SUCCESS);

    uint8_t frame[512];
    for (unsigned i = 0; i < sizeof(frame); ++i)
        frame[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(RunCommand(device(), SEND_I_FRAME, frame, nullptr), RETURN_SUCCESS);

    static ReceiveRecord record;
    const CallResult result = Receive(device(), &record, sizeof(record));
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(record.status, RECEIVE_FRAME_PRESENT);
    ASSERT_EQ(record.frame_length, sizeof(frame));
    EXPECT_EQ(std::memcmp(record.frame_data, frame, sizeof(frame)), 0);

    CommandBlock reply{};
    ASSERT_EQ(RunCommand(device(), READ_STATISTICS, {}, &reply), RETURN_SUCCESS);
    ASSERT_EQ(reply.data_length, sizeof(StatisticsReply));
    StatisticsReply statistics{};
    std::memcpy(&statistics, reply.data, sizeof(statistics));
    EXPECT_EQ(statistics.tx_frames, 1u);
    EXPECT_EQ(statistics.tx_bytes, 512u);
    EXPECT_EQ(statistics.rx_frames, 1u);
    EXPECT_EQ(statistics.rx_bytes, 512u);

    ASSERT_EQ(RunCommand(device(), ZERO_STATISTICS), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(device(), READ_STATISTICS, {}, &reply), RETURN_SUCCESS);
    std::memcpy(&statistics, reply.data, sizeof(statistics));
    EXPECT_EQ(statistics.tx_frames, 0u);
    EXPECT_EQ(statistics.rx_frames, 0u);
}

TEST_F(AdapterTest, SwitchesCommErrorsAndUnknownCodes)
{
    ASSERT_EQ(Configure(device(), DefaultConfiguration()), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(device(), ENABLE_COMMS), RETURN_SUCCESS);
    EXPECT_EQ(RunCommand(device(), BRIDGE_RX_TX, {1}), RETURN_SUCCESS);
    EXPECT_EQ(RunCommand(device(), CRC_CONTROL, {1}), RETURN_SUCCESS);
    EXPECT_EQ(SimAdapter(0).bridge, 1);
    EXPECT_EQ(SimAdapter(0).pass_bad_crc, 1);
    EXPECT_EQ(RunCommand(device(), CRC_CONTROL, {0}), RETURN_SUCCESS);

    const uint8_t frame[] = {0xAB, 0xCD};
    EXPECT_EQ(SimInject(0, frame, 0, INJECT_BAD_CRC), INJECT_DROPPED_BAD_CRC);
    CommandBlock reply{};
    ASSERT_EQ(RunCommand(device(), READ_COMM_ERRORS, {}, &reply), RETURN_SUCCESS);
    ASSERT_EQ(reply.data_length, sizeof(CommErrorsReply));
    EXPECT_EQ(reply.data[1], 1) << "rx_crc_errors";
    ASSERT_EQ(RunCommand(device(), ZERO_COMM_ERRORS), RETURN_SUCCESS);
    ASSERT_EQ(RunCommand(device(), READ_COMM_ERRORS, {}, &reply), RETURN_SUCCESS);
    EXPECT_EQ(reply.data[1], 0);

    for (uint8_t code : {uint8_t{0x02}, uint8_t{FLUSH_BFRS}, uint8_t{0x0E}, uint8_t{0x15}, uint8_t{SET_INT_TRIGS},
                         uint8_t{READ_INT_TRIGS}, uint8_t{0x23}, uint8_t{0xFF}}) {
        const uint8_t result = RunCommand(device(), code);
        EXPECT_NE(result, RETURN_SUCCESS) << "code " << int(code);
        EXPECT_NE(result, NO_RESPONSE_CODE) << "code " << int(code);
    }
}

TEST_F(AdapterTest, ReplyKeepsReservedHeaderBytesAndLogsTheControlCode)
{
    CommandBlock block{};
    block.reserved0 = 0x5A;
    std::memset(block.reserved5, 0xC3, sizeof(block.reserved5));
    block.command = READ_STATUS;
    block.return_code = NO_RESPONSE_CODE;
    const CallResult result = Execute(device(), block, IOCTL_STREAM_COMMAND);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.returned, kCommandBlockSize);
    EXPECT_EQ(block.return_code, RETURN_SUCCESS);
    EXPECT_EQ(block.reserved0, 0x5A);
    for (uint8_t byte : block.reserved5)
        EXPECT_EQ(byte, 0xC3);

    RunCommand(device(), SEND_I_FRAME, {9, 8, 7});
    static SimLog log;
    ASSERT_TRUE(SimReadLog(0, log));
    ASSERT_GE(log.count, 3u);
    const SimLogEntry& send = log.entries[log.count - 1];
    const SimLogEntry& status = log.entries[log.count - 2];
    EXPECT_EQ(send.control_code, IOCTL_STREAM_SEND);
    EXPECT_EQ(send.command, SEND_I_FRAME);
    EXPECT_EQ(send.input_length, 19u);
    EXPECT_EQ(send.data_length, 3);
    EXPECT_EQ(send.data[0], 9);
    EXPECT_EQ(status.control_code, IOCTL_STREAM_COMMAND);
    EXPECT_EQ(status.command, READ_STATUS);
    EXPECT_EQ(status.input_length, 16u);
    EXPECT_EQ(log.entries[log.count - 3].control_code, LOG_HANDLE_OPENED);
}

// Input and output lengths: anything but 16 + data_length in (at most 528)
// and exactly 528 out fails with an invalid-parameter error and writes
// nothing into the caller's output.
TEST_F(AdapterTest, LengthRulesRejectMalformedCallsWithoutWriting)
{
    struct Row {
        uint32_t control_code;
        DWORD input_length;
        uint16_t data_length;
        DWORD output_length;
        bool valid;
    };
    const Row rows[] = {
        {IOCTL_STREAM_COMMAND, 16, 0, 528, true},
        {IOCTL_STREAM_COMMAND, 15, 0, 528, false},
        {IOCTL_STREAM_COMMAND, 0, 0, 528, false},
        {IOCTL_STREAM_COMMAND, 17, 0, 528, false},
        {IOCTL_STREAM_COMMAND, 17, 1, 528, true},
        {IOCTL_STREAM_COMMAND, 16, 1, 528, false},
        {IOCTL_STREAM_COMMAND, 528, 512, 528, true},
        {IOCTL_STREAM_COMMAND, 529, 513, 529, false},
        {IOCTL_STREAM_COMMAND, 16, 0, 527, false},
        {IOCTL_STREAM_COMMAND, 16, 0, 529, false},
        {IOCTL_STREAM_COMMAND, 16, 0, 0, false},
        {IOCTL_STREAM_SEND, 16, 0, 528, true},
        {IOCTL_STREAM_SEND, 20, 3, 528, false},
        {IOCTL_STREAM_SEND, 528, 512, 527, false},
    };
    static uint8_t input[600];
    static uint8_t output[600];
    for (const Row& row : rows) {
        std::memset(input, 0, sizeof(input));
        input[1] = READ_STATUS;
        std::memcpy(input + 2, &row.data_length, 2);
        input[4] = NO_RESPONSE_CODE;
        std::memset(output, 0x5A, sizeof(output));
        DWORD returned = 0;
        const BOOL ok = DeviceIoControl(device(), row.control_code, input, row.input_length, output, row.output_length,
                                        &returned, nullptr);
        SCOPED_TRACE(::testing::Message() << "in " << row.input_length << " data_length " << row.data_length << " out "
                                          << row.output_length);
        if (row.valid) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(returned, 528u);
            EXPECT_NE(output[4], NO_RESPONSE_CODE) << "the adapter answered";
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            for (unsigned i = 0; i < sizeof(output); ++i)
                ASSERT_EQ(output[i], 0x5A) << "byte " << i << " written";
        }
    }
}

TEST_F(AdapterTest, ScriptedFaultsAnswerFailOrStaySilent)
{
    ASSERT_TRUE(SimFault(0, READ_STATUS, FAULT_RETURN_CODE, 0x7F, 2));
    EXPECT_EQ(RunCommand(device(), READ_STATUS), TIMEOUT_CODE);
    EXPECT_EQ(RunCommand(device(), READ_DCD_CTS), RETURN_SUCCESS) << "other commands unaffected";
    EXPECT_EQ(RunCommand(device(), READ_STATUS), TIMEOUT_CODE);
    EXPECT_EQ(RunCommand(device(), READ_STATUS), RETURN_SUCCESS) << "the script ran out";

    ASSERT_TRUE(SimFault(0, kAnyCommand, FAULT_NO_ANSWER, 0, 1));
    CommandBlock block{};
    block.command = READ_STATISTICS;
    block.return_code = NO_RESPONSE_CODE;
    CallResult result = Execute(device(), block);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(block.return_code, NO_RESPONSE_CODE);

    ASSERT_TRUE(SimFault(0, kAnyCommand, FAULT_FAIL_CALL, 0, 1));
    block = CommandBlock{};
    block.command = READ_STATUS;
    block.return_code = NO_RESPONSE_CODE;
    result = Execute(device(), block);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(block.return_code, NO_RESPONSE_CODE) << "a failed call writes nothing back";

    ASSERT_TRUE(SimFault(0, READ_STATUS, FAULT_RETURN_CODE, 0x33, 100));
    ASSERT_TRUE(SimFault(0, READ_STATUS, FAULT_RETURN_CODE, 0, 0));
    EXPECT_EQ(RunCommand(device(), READ_STATUS), RETURN_SUCCESS) << "a count of 0 clears the script";
}

TEST(AdapterHandles, TwoHandlesOnOneAdapterBothWork)
{
    ASSERT_TRUE(SimReset());
    DeviceHandle first = OpenAdapter(1);
    DeviceHandle second = OpenAdapter(1);
    ASSERT_TRUE(first.Valid());
    ASSERT_TRUE(second.Valid());
    EXPECT_EQ(SimAdapter(1).open_handles, 2u);
    ASSERT_EQ(Configure(first.Get(), DefaultConfiguration()), RETURN_SUCCESS);
    EXPECT_EQ(RunCommand(second.Get(), READ_CONFIGURATION), RETURN_SUCCESS) << "both handles reach the same adapter";
    first.Reset();
    EXPECT_EQ(RunCommand(second.Get(), READ_STATUS), RETURN_SUCCESS);
    EXPECT_TRUE(WaitUntil([] { return SimAdapter(1).open_handles == 1; }));
}

TEST(AdapterHandles, UnconfiguredAdapterAndUnknownNamesDoNotOpen)
{
    for (const char* name : {"KORQZ6C7", "KORQZ6C6", "ROZAR6O9", "KORQZ6C0"}) {
        DWORD error = 0;
        DeviceHandle handle = OpenDevice(name, &error);
        EXPECT_FALSE(handle.Valid()) << name;
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
    }
    SimStatus status{};
    ASSERT_TRUE(SimStatusOf(status));
    EXPECT_TRUE(status.adapters[0].present);
    EXPECT_FALSE(status.adapters[7].present);
    EXPECT_NE(status.adapters[0].interrupt_number, 0u) << "resources come from the registry";
}

// The driver reads an adapter's resources as the configurator does: up to
// four bytes of any type fill the low bytes of a value that starts at 0, a
// string counts in its ANSI form, anything longer is 0.
TEST(DriverStart, ReadsAnAdaptersResourcesAsTheConfiguratorDoes)
{
    constexpr unsigned kSpare = 5;  // not configured in the test prefix
    const std::string key = std::string("SYSTEM\\CurrentControlSet\\Services\\Zurezi6\\Parameters\\Zurezi6c") +
                            std::to_string(kSpare);
    struct Value {
        DWORD type;
        std::vector<BYTE> bytes;
    };
    const struct {
        Value port, memory, irq;
        uint32_t read_port, read_memory, read_irq;
    } cases[] = {
        {{REG_DWORD, {0x00, 0x03, 0, 0}}, {REG_DWORD, {0, 0, 0x0D, 0}}, {REG_BINARY, {7, 0, 0, 0}}, 0x300, 0xD0000, 7},
        {{REG_BINARY, {0x00, 0x03}}, {REG_BINARY, {0, 0, 0x0D}}, {REG_BINARY, {7}}, 0x300, 0xD0000, 7},
        // The ANSI call takes and gives strings in their ANSI form.
        {{REG_SZ, {'1', '2', 0}}, {REG_BINARY, {1, 2, 3, 4, 5}}, {REG_SZ, {'2', '1', '0', 0}}, 0x3231, 0, 0x303132},
    };
    for (const auto& c : cases) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, value] : {std::pair{"IoBaseAddress", &c.port}, std::pair{"SharedMemoryAddress", &c.memory},
                                          std::pair{"InterruptNumber", &c.irq}})
            RegSetValueExA(handle, name, 0, value->type, value->bytes.data(), static_cast<DWORD>(value->bytes.size()));
        RegCloseKey(handle);

        const bool restarted = RestartDriverService();
        DWORD error = 0;
        const bool opened = restarted && OpenAdapter(kSpare, &error).Valid();
        const SimAdapterStatus adapter = restarted ? SimAdapter(kSpare) : SimAdapterStatus{};
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        ASSERT_TRUE(restarted) << c.read_irq;
        EXPECT_TRUE(opened) << c.read_irq << ": error " << error;
        EXPECT_EQ(adapter.io_base, c.read_port) << c.read_irq;
        EXPECT_EQ(adapter.shared_memory, c.read_memory) << c.read_irq;
        EXPECT_EQ(adapter.interrupt_number, c.read_irq);
    }
    EXPECT_TRUE(RestartDriverService());
}

}  // namespace
}  // namespace qz6::test
