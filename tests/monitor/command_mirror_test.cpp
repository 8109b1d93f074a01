// ExecuteCommand's mirror in the Polling window, and its refusals, with no
// device open.
#include <windows.h>

#include <gtest/gtest.h>

#include "monitor/channel/command_channel.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {
namespace {

using CommandMirror = MonitorTest;

uint8_t Execute(uint8_t command, uint16_t data_length = 0)
{
    g_monitor.command_block.command = command;
    g_monitor.command_block.data_length = data_length;
    return ExecuteCommand(g_monitor.command_block);
}

std::string Shown(int id) { return PollingText(id); }

TEST_F(CommandMirror, NoDeviceMeansNoResponse)
{
    g_monitor.command_block.return_code = 0;
    EXPECT_EQ(Execute(READ_STATUS), NO_RESPONSE_CODE);
    EXPECT_EQ(g_monitor.command_block.return_code, NO_RESPONSE_CODE);
    EXPECT_EQ(Execute(0x23), NO_RESPONSE_CODE);
    EXPECT_EQ(Shown(IDC_POLLS_COMMAND), "0x23:");
    EXPECT_EQ(Execute(READ_STATUS), NO_RESPONSE_CODE);
    EXPECT_EQ(Shown(IDC_POLLS_COMMAND), "Read Status:");
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "0xAA");
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), "");
}

TEST_F(CommandMirror, ActiveCommandsKeepTheirResult)
{
    Execute(BRIDGE_RX_TX, 1);
    EXPECT_EQ(Shown(IDC_POLLS_COMMAND), "! Bridge Rx/Tx:");
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), "0xAA");
    SetDlgItemTextA(g_monitor.polling_window, IDC_POLLS_ACTIVE_RESULT, "marker");
    Execute(READ_DCD_CTS);
    EXPECT_EQ(Shown(IDC_POLLS_COMMAND), "Read DCD/CTS:");
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), "marker");
}

TEST_F(CommandMirror, ClosedPollingWindowIsLeftAlone)
{
    SendMessageA(g_monitor.polling_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    ASSERT_FALSE(IsWindow(g_monitor.polling_window));
    EXPECT_EQ(Execute(ENABLE_COMMS), NO_RESPONSE_CODE);
    Command(IDM_POLLING_WINDOW);
    EXPECT_EQ(Shown(IDC_POLLS_COMMAND), "");
    EXPECT_EQ(Shown(IDC_POLLS_RESULT), "");
    EXPECT_EQ(Shown(IDC_POLLS_ACTIVE_RESULT), "");
}

}  // namespace
}  // namespace qz6::mon::test
