// ExecuteCommand against the simulated driver: control codes and lengths,
// results and their mirror in the Polling window, refused blocks.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/sim_protocol.h"
#include "monitor/channel/command_channel.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "support/device_support.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {
namespace {

class ChannelOnDriver : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        sim_ = CreateFileA(kSimulatorDevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(sim_, INVALID_HANDLE_VALUE) << "simulated driver not loaded: " << GetLastError();
        DWORD returned = 0;
        ASSERT_TRUE(DeviceIoControl(sim_, IOCTL_SIM_RESET, nullptr, 0, nullptr, 0, &returned, nullptr));
        // The device as the device session opens it.
        g_monitor.device_handle =
            CreateFileA("\\\\.\\ROZAR6O0", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
        ASSERT_NE(g_monitor.device_handle, INVALID_HANDLE_VALUE) << GetLastError();
    }

    void TearDown() override
    {
        if (g_monitor.device_handle != INVALID_HANDLE_VALUE)
            CloseHandle(g_monitor.device_handle);
        g_monitor.device_handle = INVALID_HANDLE_VALUE;
        if (sim_ != INVALID_HANDLE_VALUE) {
            DWORD returned = 0;
            DeviceIoControl(sim_, IOCTL_SIM_RESET, nullptr, 0, nullptr, 0, &returned, nullptr);
            CloseHandle(sim_);
        }
        MonitorTest::TearDown();
    }

    uint8_t Execute(uint8_t command, uint16_t data_length = 0, uint8_t first_byte = 0)
    {
        g_monitor.command_block.command = command;
        g_monitor.command_block.data_length = data_length;
        g_monitor.command_block.data[0] = first_byte;
        return ExecuteCommand(g_monitor.command_block);
    }

    void ScriptFault(uint8_t command, SimFaultKind kind, uint8_t code, uint32_t count = 1)
    {
        SimFaultRequest request = {0, command, kind, code, count};
        DWORD returned = 0;
        ASSERT_TRUE(DeviceIoControl(sim_, IOCTL_SIM_SCRIPT_FAULT, &request, sizeof request, nullptr, 0, &returned,
                                    nullptr));
    }

    // The adapter's logged commands since the last call.
    std::vector<SimLogEntry> NewRequests() { return qz6::test::SimNewLogEntries(0, &last_sequence_, false); }

    std::string Shown(int id) { return PollingText(id); }

    HANDLE sim_ = INVALID_HANDLE_VALUE;
    int64_t last_sequence_ = 0;
};

TEST_F(ChannelOnDriver, EachCommandTakesItsControlCodeAndLengths)
{
    NewRequests();
    Execute(READ_STATUS, 0);
    Execute(SEND_I_FRAME, 4);
    Execute(SEND_I_FRAME, 512);
    Execute(BRIDGE_RX_TX, 1, 0);
    const std::vector<SimLogEntry> requests = NewRequests();
    ASSERT_EQ(requests.size(), 4u);
    const struct {
        uint32_t control_code;
        uint32_t input_length;
        uint8_t command;
    } expected[] = {
        {IOCTL_STREAM_COMMAND, 16, READ_STATUS},
        {IOCTL_STREAM_SEND, 20, SEND_I_FRAME},
        {IOCTL_STREAM_SEND, 528, SEND_I_FRAME},
        {IOCTL_STREAM_COMMAND, 17, BRIDGE_RX_TX},
    };
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].control_code, expected[i].control_code) << i;
        EXPECT_EQ(requests[i].input_length, expected[i].input_length) << i;
        EXPECT_EQ(requests[i].output_length, 528u) << i;
        EXPECT_EQ(requests[i].command, expected[i].command) << i;
    }
}

TEST_F(ChannelOnDriver, ResultsAreShownInThePollingWindow)
{
    EXPECT_EQ(Execute(READ_STATUS), RETURN_SUCCESS);
    EXPECT_EQ(Shown(IDC_POLLS_COMMAND), "Read Status:");
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0x00");

    ScriptFault(READ_STATUS, FAULT_RETURN_CODE, 0x42);
    EXPECT_EQ(Execute(READ_STATUS), 0x42);
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0x42");
    EXPECT_EQ(Execute(READ_STATUS), RETURN_SUCCESS);
}

TEST_F(ChannelOnDriver, AFailedCallOrNoAnswerIsNoResponse)
{
    ScriptFault(READ_DCD_CTS, FAULT_FAIL_CALL, 0);
    EXPECT_EQ(Execute(READ_DCD_CTS), NO_RESPONSE_CODE);
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0xAA");
    ScriptFault(READ_DCD_CTS, FAULT_NO_ANSWER, 0);
    EXPECT_EQ(Execute(READ_DCD_CTS), NO_RESPONSE_CODE);
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0xAA");
    EXPECT_EQ(Execute(READ_DCD_CTS), RETURN_SUCCESS);
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0x00");
}

TEST_F(ChannelOnDriver, LastActiveCommandResultStaysThroughOtherCommands)
{
    EXPECT_EQ(Execute(BRIDGE_RX_TX, 1, 1), RETURN_SUCCESS);
    EXPECT_EQ(Shown(IDC_POLLS_COMMAND), "! Bridge Rx/Tx:");
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), "Success");

    ScriptFault(BRIDGE_RX_TX, FAULT_RETURN_CODE, 0x33);
    EXPECT_EQ(Execute(BRIDGE_RX_TX, 1, 0), 0x33);
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), "0x33");
    EXPECT_EQ(Execute(READ_STATUS), RETURN_SUCCESS);
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0x00");
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), "0x33");

    // Sending with communications disabled is refused by the adapter.
    const uint8_t refused = Execute(SEND_I_FRAME, 4);
    EXPECT_NE(refused, RETURN_SUCCESS);
    char expected[8];
    std::snprintf(expected, sizeof expected, "0x%02X", refused);
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), expected);
}

TEST_F(ChannelOnDriver, BlocksBeyondTheWireNeverReachTheDriver)
{
    NewRequests();
    EXPECT_EQ(Execute(SEND_I_FRAME, 513), NO_RESPONSE_CODE);
    EXPECT_EQ(Execute(0x23), NO_RESPONSE_CODE);
    EXPECT_EQ(Execute(0xFF, 0), NO_RESPONSE_CODE);
    EXPECT_TRUE(NewRequests().empty());
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0xAA");
}

TEST_F(ChannelOnDriver, NoCommandAfterTheDeviceIsClosed)
{
    NewRequests();
    CloseHandle(g_monitor.device_handle);
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    EXPECT_EQ(Execute(READ_STATUS), NO_RESPONSE_CODE);
    EXPECT_TRUE(NewRequests().empty());
}

TEST_F(ChannelOnDriver, ReplyOverwritesTheBlockButHeaderBytesTravelBack)
{
    g_monitor.command_block.reserved0 = 0x5A;
    g_monitor.command_block.reserved5[3] = 0xC3;
    EXPECT_EQ(Execute(READ_DCD_CTS), RETURN_SUCCESS);
    EXPECT_EQ(g_monitor.command_block.data_length, 1);
    EXPECT_EQ(g_monitor.command_block.reserved0, 0x5A);
    EXPECT_EQ(g_monitor.command_block.reserved5[3], 0xC3);
}

}  // namespace
}  // namespace qz6::mon::test
