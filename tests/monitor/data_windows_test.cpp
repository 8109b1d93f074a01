// The Link Status, Modem Status and the two statistics windows against the
// simulated driver: what a poll writes, and that it writes nothing more.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "support/device_support.h"
#include "tests/monitor/session_harness.h"

namespace qz6::mon::test {
namespace {

constexpr std::initializer_list<int> kLinkControls = {IDC_LSTAT_CHANNEL_STATUS, IDC_LSTAT_FRAMES_QUEUED,
                                                     IDC_LSTAT_INTERRUPT_BYTE};
constexpr std::initializer_list<int> kModemControls = {IDC_MODEMS_DCD, IDC_MODEMS_CTS};
constexpr std::initializer_list<int> kOperationalControls = {200, 201, 202, 203, 204, 205, 206, 207, 208, 209};
constexpr std::initializer_list<int> kCommErrorControls = {200, 201, 202, 203, 204, 207, 208};

const uint8_t kFrame[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

class DataWindows : public OnSimulatedDriver {
protected:
    void SetUp() override
    {
        OnSimulatedDriver::SetUp();
        OpenConfiguredDevice();
    }

    // Opens a window from its menu item and watches its value controls.
    HWND Open(uint16_t item, const char* class_name, std::initializer_list<int> controls)
    {
        Command(item);
        HWND window = FindMonitorWindow(class_name);
        EXPECT_NE(window, nullptr) << class_name;
        for (int id : controls)
            WatchControlTexts(GetDlgItem(window, id));
        controls_ = controls;
        window_ = window;
        return window;
    }

    void Poll()
    {
        ForgetTextWrites();
        Command(IDM_POLL_NOW);
    }

    // The values shown, "|" between them.
    std::string Shown() const
    {
        std::string shown;
        for (int id : controls_)
            shown += (shown.empty() ? "" : "|") + ControlText(window_, id);
        return shown;
    }

    // How often each control was written by the last poll, e.g. "1 0 1".
    std::string Writes() const
    {
        std::string writes;
        for (int id : controls_)
            writes += (writes.empty() ? "" : " ") + std::to_string(TextWrites(GetDlgItem(window_, id)));
        return writes;
    }

    std::string Repeat(const char* item, size_t times) const
    {
        std::string text;
        for (size_t i = 0; i < times; ++i)
            text += (i == 0 ? "" : " ") + std::string(item);
        return text;
    }

    void Flush()
    {
        ForgetTextWrites();
        SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDC_MONITOR_FLUSH, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window_, IDC_MONITOR_FLUSH)));
    }

    void CloseAndReopen(uint16_t item, const char* class_name)
    {
        PressButton(window_, IDC_MONITOR_CLOSE);
        Pump();
        ASSERT_EQ(FindMonitorWindow(class_name), nullptr);
        Open(item, class_name, controls_);
    }

    std::string PollingResult() const { return PollingText(IDC_POLLS_RESULT); }

    std::initializer_list<int> controls_;
    HWND window_ = nullptr;
};

// ---- Link Status ----------------------------------------------------------------------------
TEST_F(DataWindows, LinkStatusFirstPollWritesEverythingAndAnIdenticalReplyNothing)
{
    Open(IDM_LINK_STATUS, "LMTR_LINKS", kLinkControls);
    EXPECT_EQ(Shown(), "?|?|?");
    Poll();
    EXPECT_EQ(Shown(), "DISABLED|0|0x00");
    EXPECT_EQ(Writes(), "1 1 1");
    Poll();
    EXPECT_EQ(Writes(), "0 0 0");
    const std::vector<SimLogEntry> requests = NewRequests();
    ASSERT_EQ(TraceOf(requests), "00 00");
    EXPECT_EQ(requests[0].input_length, 16u);
}

TEST_F(DataWindows, LinkStatusRewritesOnlyTheValuesThatChanged)
{
    Open(IDM_LINK_STATUS, "LMTR_LINKS", kLinkControls);
    Poll();
    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    Poll();
    EXPECT_EQ(Shown(), "ENABLED|0|0x02");  // a transmit buffer is free
    EXPECT_EQ(Writes(), "1 0 1");
    ASSERT_EQ(qz6::test::SimInject(0, kFrame), INJECT_QUEUED);
    Poll();
    EXPECT_EQ(Shown(), "ENABLED|1|0x03");
    EXPECT_EQ(Writes(), "0 1 1");
}

TEST_F(DataWindows, LinkStatusKeepsItsDisplayThroughAFailedPoll)
{
    Open(IDM_LINK_STATUS, "LMTR_LINKS", kLinkControls);
    ASSERT_TRUE(qz6::test::SimFault(0, READ_STATUS, FAULT_RETURN_CODE, 0x05, 1));
    Poll();
    EXPECT_EQ(Shown(), "?|?|?") << "nothing shown yet";
    EXPECT_EQ(PollingResult(), "0x05");
    Poll();
    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_TRUE(qz6::test::SimFault(0, READ_STATUS, FAULT_NO_ANSWER, 0, 1));
    Poll();
    EXPECT_EQ(Shown(), "DISABLED|0|0x00");
    EXPECT_EQ(Writes(), "0 0 0");
    EXPECT_EQ(PollingResult(), "0xAA");
    Poll();
    EXPECT_EQ(Shown(), "ENABLED|0|0x02");
}

// ---- Modem Status ----------------------------------------------------------------------------
TEST_F(DataWindows, ModemStatusRewritesOnlyTheLineThatChanged)
{
    Open(IDM_MODEM_STATUS, "LMTR_MODEMS", kModemControls);
    EXPECT_EQ(Shown(), "?|?");
    Poll();
    EXPECT_EQ(Shown(), "Low|Low");
    EXPECT_EQ(Writes(), "1 1");
    Poll();
    EXPECT_EQ(Writes(), "0 0");
    ASSERT_TRUE(qz6::test::SimModemInputs(0, true, true, false));
    Poll();
    EXPECT_EQ(Shown(), "High|Low");
    EXPECT_EQ(Writes(), "1 0");
    ASSERT_TRUE(qz6::test::SimModemInputs(0, true, true, true));
    ASSERT_TRUE(qz6::test::SimFault(0, READ_DCD_CTS, FAULT_RETURN_CODE, 0x7F, 1));
    Poll();
    EXPECT_EQ(Writes(), "0 0");
    EXPECT_EQ(Shown(), "High|Low");
    Poll();
    EXPECT_EQ(Shown(), "High|High");
    EXPECT_EQ(TraceOf(NewRequests()), "0C 0C 0C 0C 0C");
}

// ---- Operational Statistics -----------------------------------------------------------------
TEST_F(DataWindows, OperationalStatisticsShowEveryCounterAndAnIdenticalReplyWritesNone)
{
    Open(IDM_OPERATIONAL_STATISTICS, "LMTR_OPSTATS", kOperationalControls);
    Flush();  // counters and throughput windows start from zero
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 10)) << "the window opens showing zeros";
    EXPECT_EQ(Shown(), "0|0|0|0|0|0|0|0|0|0");
    // Whatever other commands leave in the block, the read starts clean.
    g_monitor.command_block.reserved0 = 0x5A;
    g_monitor.command_block.reserved5[2] = 0x5A;
    g_monitor.command_block.data[100] = 0x5A;
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 10));
    EXPECT_EQ(TraceOf(NewRequests()), "08 07 07");
}

TEST_F(DataWindows, OperationalStatisticsShowTrafficAndRewriteOnlyTheCountersThatChanged)
{
    Open(IDM_OPERATIONAL_STATISTICS, "LMTR_OPSTATS", kOperationalControls);
    Flush();
    Poll();
    // The same counters in a reply with another data_length: the block is
    // taken, and no counter's text changes.
    ASSERT_TRUE(qz6::test::SimFault(0, READ_STATISTICS, FAULT_RETURN_CODE, RETURN_SUCCESS, 1));
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 10));
    EXPECT_EQ(Shown(), "0|0|0|0|0|0|0|0|0|0");

    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame), INJECT_QUEUED);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame), INJECT_QUEUED);
    Poll();
    EXPECT_EQ(Writes(), "0 0 0 1 1 0 0 0 0 0");
    EXPECT_EQ(ControlText(window_, 203), "2");
    EXPECT_EQ(ControlText(window_, 204), "20");
}

TEST_F(DataWindows, OperationalStatisticsKeepTheirDisplayThroughAFailedRead)
{
    Open(IDM_OPERATIONAL_STATISTICS, "LMTR_OPSTATS", kOperationalControls);
    Poll();
    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame), INJECT_QUEUED);
    ASSERT_TRUE(qz6::test::SimFault(0, READ_STATISTICS, FAULT_RETURN_CODE, 0x05, 1));
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 10));
    EXPECT_EQ(ControlText(window_, 203), "0");
    Poll();
    EXPECT_EQ(ControlText(window_, 203), "1");
}

TEST_F(DataWindows, OperationalFlushShowsZerosOnlyAtTheNextPoll)
{
    Open(IDM_OPERATIONAL_STATISTICS, "LMTR_OPSTATS", kOperationalControls);
    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame), INJECT_QUEUED);
    Poll();
    EXPECT_EQ(ControlText(window_, 204), "10");
    NewRequests();
    Flush();
    EXPECT_EQ(Writes(), Repeat("0", 10));
    EXPECT_EQ(ControlText(window_, 204), "10");
    const std::vector<SimLogEntry> requests = NewRequests();
    ASSERT_EQ(TraceOf(requests), "08");
    EXPECT_EQ(requests[0].input_length, 16u);
    Poll();
    EXPECT_EQ(ControlText(window_, 203), "0");
    EXPECT_EQ(ControlText(window_, 204), "0");
}

TEST_F(DataWindows, OperationalStatisticsRedrawAfterReopeningEvenWhenUnchanged)
{
    Open(IDM_OPERATIONAL_STATISTICS, "LMTR_OPSTATS", kOperationalControls);
    Flush();
    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame), INJECT_QUEUED);
    Poll();
    Poll();
    CloseAndReopen(IDM_OPERATIONAL_STATISTICS, "LMTR_OPSTATS");
    Poll();
    EXPECT_EQ(Writes(), "0 0 0 1 1 0 0 0 0 0") << "the reopened window shows the counters it has never shown";
    EXPECT_EQ(ControlText(window_, 204), "10");
}

// ---- Communications Error Statistics ------------------------------------------------------
TEST_F(DataWindows, CommErrorsShowTheSevenCountersAndRedrawOnlyOnChange)
{
    Open(IDM_COMM_ERROR_STATISTICS, "LMTR_COMES", kCommErrorControls);
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 7)) << "the window opens showing zeros";
    EXPECT_EQ(Shown(), "0|0|0|0|0|0|0");
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 7));

    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame, 0, INJECT_BAD_CRC), INJECT_DROPPED_BAD_CRC);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame, 0, INJECT_ABORT), INJECT_DROPPED_ABORT);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame, 0, INJECT_ABORT), INJECT_DROPPED_ABORT);
    Poll();
    EXPECT_EQ(Writes(), "0 1 1 0 0 0 0");
    EXPECT_EQ(Shown(), "0|1|2|0|0|0|0");

    // Only the header differs: no counter's text changes.
    ASSERT_TRUE(qz6::test::SimFault(0, READ_COMM_ERRORS, FAULT_RETURN_CODE, 0x09, 1));
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 7)) << "a failed read";
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 7));
    Flush();
    Poll();
    EXPECT_EQ(Shown(), "0|0|0|0|0|0|0");
    ASSERT_TRUE(qz6::test::SimFault(0, READ_COMM_ERRORS, FAULT_RETURN_CODE, RETURN_SUCCESS, 1));
    Poll();
    EXPECT_EQ(Writes(), Repeat("0", 7));
    EXPECT_EQ(Shown(), "0|0|0|0|0|0|0");
    EXPECT_EQ(TraceOf(NewRequests()), "09 09 09 0A 09 09") << "since commands were enabled";
}

TEST_F(DataWindows, CommErrorFlushShowsZerosOnlyAtTheNextPoll)
{
    Open(IDM_COMM_ERROR_STATISTICS, "LMTR_COMES", kCommErrorControls);
    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    ASSERT_EQ(qz6::test::SimInject(0, kFrame, 0, INJECT_BAD_CRC), INJECT_DROPPED_BAD_CRC);
    Poll();
    EXPECT_EQ(ControlText(window_, 201), "1");
    Flush();
    EXPECT_EQ(Writes(), Repeat("0", 7));
    EXPECT_EQ(ControlText(window_, 201), "1");
    Poll();
    EXPECT_EQ(ControlText(window_, 201), "0");
}

// Every data window takes part in each poll, one command each.
TEST_F(DataWindows, OnePollRunsOneCommandPerDataWindow)
{
    Command(IDM_OPEN_ALL);
    NewRequests();
    Command(IDM_POLL_NOW);
    std::string trace = TraceOf(NewRequests());
    for (const char* code : {"00", "07", "09", "0C"})
        EXPECT_NE(trace.find(code), std::string::npos) << trace;
    EXPECT_EQ(trace.size(), std::string("00 07 09 0C").size()) << trace;
}

}  // namespace
}  // namespace qz6::mon::test
