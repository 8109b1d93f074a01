// Monitor sessions through the driver the configurator installed: opening
// only once a configuration is set, two monitors on a null-modem cable
// exchanging frames and modem lines, and a line test to the other adapter.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/sim_protocol.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/device_support.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/session_steps.h"

namespace qz6::e2e {
namespace {

constexpr unsigned kAdapterA = 0;  // ROZAR6O0
constexpr unsigned kAdapterB = 1;  // KORQZ6C1

// The configuration view, whose title carries the adapter's code version.
HWND FindStreamingView(DWORD thread)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND window = GetTopWindow(nullptr); window != nullptr; window = GetWindow(window, GW_HWNDNEXT)) {
            DWORD process = 0;
            if (GetWindowThreadProcessId(window, &process) == thread && IsWindowVisible(window) &&
                WindowText(window).rfind("Streaming v", 0) == 0) {
                found = window;
                return true;
            }
        }
        return false;
    });
    return found;
}

TEST(Session, TheDeviceOpensOnlyOnceItsConfigurationIsSet)
{
    // At power-on the adapter holds no configuration.
    ASSERT_TRUE(test::SimPlug(kAdapterA, false));
    ASSERT_TRUE(test::SimPlug(kAdapterA, true));
    WriteMonitorSettings(kMonitorSettings);

    Monitor a;
    ASSERT_TRUE(a.Start());
    EXPECT_EQ(WindowText(a.Main()), "HDLC Streaming Monitor");
    EXPECT_EQ(a.PollText(IDC_POLLS_DEVICE_NAME), "ROZAR6O0");
    EXPECT_EQ(a.PollText(IDC_POLLS_DEVICE_STATUS), "Closed");

    // Refused: four reads of the configuration, no prompt, one box.
    uint32_t mark = LastSequence(kAdapterA);
    a.Menu(IDM_OPEN_DEVICE);
    HWND box = a.WaitForBox("Command Error");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box),
              "Unable to obtain streaming configuration.  Make sure the device name is correct and that another "
              "process has already set the configuration.");
    EXPECT_TRUE(Capture(box, "monitor_open_refused"));
    EXPECT_EQ(a.WaitForBox("Timeout Error", 0), nullptr);
    Press(box, IDOK);
    EXPECT_TRUE(a.WaitForStatus("Closed"));
    ASSERT_TRUE(WaitUntil([&] { return test::SimAdapter(kAdapterA).open_handles == 0; }));
    int reads = 0;
    for (const LoggedCall& call : CommandLogAfter(kAdapterA, mark)) {
        if (call.control_code == IOCTL_STREAM_COMMAND) {
            EXPECT_EQ(call.command, READ_CONFIGURATION);
            EXPECT_EQ(call.return_code, RETURN_NOT_CONFIGURED);
            ++reads;
        }
    }
    EXPECT_EQ(reads, 4);

    // "Configure &Device" with the bit rate typed in, then the open works
    // and the view shows what the adapter took.
    a.Menu(IDM_CONFIGURE_DEVICE);
    HWND dialog = a.WaitForBox("Set Streaming Configuration on Device");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ControlText(dialog, IDC_SETCONFIG_BAUD), "56000");
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(dialog, IDC_SETCONFIG_BAUD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("64000"),
                        SMTO_NORMAL, 10000, &ignored);
    EXPECT_TRUE(Capture(dialog, "monitor_set_configuration"));
    Press(dialog, IDC_SETCONFIG_OK);
    EXPECT_TRUE(a.WaitForStatus("Closed"));
    ASSERT_TRUE(WaitUntil([&] { return a.PollText(IDC_POLLS_COMMAND) == "Set Configuration:"; }));
    EXPECT_TRUE(WaitUntil([&] { return a.PollText(IDC_POLLS_RESULT) == "0x00"; }));
    EXPECT_EQ(test::SimAdapter(kAdapterA).configuration.baud_rate, 64000u);

    ASSERT_TRUE(a.OpenDevice());
    a.Menu(IDM_STREAMING);
    HWND view = FindStreamingView(a.process().Thread());
    ASSERT_NE(view, nullptr);
    SimStatus status{};
    ASSERT_TRUE(test::SimStatusOf(status));
    EXPECT_EQ(WindowText(view), "Streaming v" + std::string(status.version) + " Configuration");
    EXPECT_EQ(ControlText(view, IDC_STREAMVIEW_FIRST_FIELD), "64000");
    EXPECT_EQ(ControlText(view, IDC_STREAMVIEW_FIRST_FIELD + 1), "2000");
    EXPECT_TRUE(Capture(view, "monitor_streaming_view"));
    Press(view, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(view); }));

    // Closed with no receive monitor: the handle goes and nothing is sent.
    mark = LastSequence(kAdapterA);
    a.Menu(IDM_CLOSE_DEVICE);
    EXPECT_TRUE(a.WaitForStatus("Closed"));
    ASSERT_TRUE(WaitUntil([&] { return test::SimAdapter(kAdapterA).open_handles == 0; }));
    std::vector<LoggedCall> closing = CommandLogAfter(kAdapterA, mark);
    ASSERT_FALSE(closing.empty());
    EXPECT_EQ(closing.back().control_code, LOG_HANDLE_CLOSED);
    for (const LoggedCall& call : closing)
        EXPECT_FALSE(call.control_code == IOCTL_STREAM_COMMAND && call.command == DISABLE_COMMS);

    EXPECT_EQ(a.Exit(), 0u);
}

// Frame summary line as the Receive Detail list shows it.
std::string SummaryLine(uint8_t bits, std::initializer_list<uint8_t> bytes, size_t length)
{
    char text[128];
    std::snprintf(text, sizeof text, "0x%02X %5u  ", bits, static_cast<unsigned>(length));
    std::string line = text;
    size_t shown = 0;
    for (uint8_t byte : bytes) {
        if (shown++ == 15)
            break;
        std::snprintf(text, sizeof text, "%02X ", byte);
        line += text;
    }
    return line;
}

TEST(Session, TwoMonitorsExchangeFramesAndModemLinesOverANullModemCable)
{
    ASSERT_TRUE(test::SimCable(kAdapterA, CABLE_NULL_MODEM, kAdapterB));
    WriteMonitorSettings(kMonitorSettings);

    Monitor a;
    ASSERT_TRUE(a.Start());
    Monitor b;
    ASSERT_TRUE(b.Start());
    // The second monitor takes the other adapter for this run only.
    ASSERT_TRUE(b.SelectDevice("KORQZ6C1"));
    EXPECT_EQ(StoredSetting("Hardware", "default_device"), "ROZAR6O0");
    PlaceMainWindow(a, kFirstMain);
    PlaceMainWindow(b, kSecondMain);

    for (Monitor* monitor : {&a, &b}) {
        ASSERT_TRUE(monitor->ConfigureDevice());
        ASSERT_TRUE(monitor->OpenDevice());
    }
    a.Menu(IDM_OPEN_ALL);
    ASSERT_TRUE(WaitUntil([&] { return a.Child("LMTR_MODEMS") != nullptr && a.Child("LMTR_COMES") != nullptr; }));
    TileMonitorWindows(a);
    b.Menu(IDM_OPERATIONAL_STATISTICS);
    ASSERT_TRUE(WaitUntil([&] { return b.Child("LMTR_OPSTATS") != nullptr; }));
    b.Menu(IDM_MODEM_STATUS);
    ASSERT_TRUE(WaitUntil([&] { return b.Child("LMTR_MODEMS") != nullptr; }));
    TileMonitorWindows(b);

    HWND detail = a.EnableCommunications();
    ASSERT_NE(detail, nullptr);
    PlaceWindow(detail, kFirstDetail);
    HWND b_detail = b.EnableCommunications();
    ASSERT_NE(b_detail, nullptr);
    PlaceWindow(b_detail, kSecondDetail);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(a.Child("LMTR_LINKS"), IDC_LSTAT_CHANNEL_STATUS) == "ENABLED"; }));

    // One frame typed as text, one as hex, from the second monitor.
    HWND send = b.OpenSendFrames();
    ASSERT_NE(send, nullptr);
    PlaceWindow(send, kSecondSendFrames);
    SendText(send, "hello", true);
    HWND list = GetDlgItem(detail, IDC_RDETAIL_LIST);
    const std::string hello = SummaryLine(0x00, {0x68, 0x65, 0x6C, 0x6C, 0x6F}, 5);
    EXPECT_TRUE(WaitUntil([&] { return ListLines(list) == std::vector<std::string>{hello}; }));
    SendText(send, "03 CC 45 01", false);
    const std::string hex = SummaryLine(0x00, {0x03, 0xCC, 0x45, 0x01}, 4);
    EXPECT_TRUE(WaitUntil([&] { return ListLines(list) == std::vector<std::string>{hello, hex}; }))
        << ::testing::PrintToString(ListLines(list));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(detail, IDC_RDETAIL_COUNTER) == "2"; }));
    EXPECT_EQ(ControlText(detail, IDC_RDETAIL_DUMP), "0000  03 CC 45 01 \r\n");

    // Both sides count them at the next polls.
    HWND a_stats = a.Child("LMTR_OPSTATS");
    HWND b_stats = b.Child("LMTR_OPSTATS");
    EXPECT_TRUE(WaitUntil([&] {
        return ControlText(a_stats, IDC_STATS_FIRST_COUNTER + 3) == "2" && ControlText(a_stats, IDC_STATS_FIRST_COUNTER + 4) == "9";
    })) << ControlText(a_stats, IDC_STATS_FIRST_COUNTER + 3);
    EXPECT_TRUE(WaitUntil([&] {
        return ControlText(b_stats, IDC_STATS_FIRST_COUNTER + 1) == "2" && ControlText(b_stats, IDC_STATS_FIRST_COUNTER + 2) == "9";
    })) << ControlText(b_stats, IDC_STATS_FIRST_COUNTER + 1);
    EXPECT_EQ(ListLines(GetDlgItem(send, IDC_DENTRY_HISTORY)), (std::vector<std::string>{"03 CC 45 01", "hello"}));

    // Send Many: one numbered frame per poll, each arriving in order.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(send, IDC_DENTRY_LENGTH), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("24"), SMTO_NORMAL,
                        10000, &ignored);
    const uint32_t before_stream = LastSequence(kAdapterB);
    Press(send, IDC_DENTRY_START_STOP);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(send, IDC_DENTRY_START_STOP) == "Stop"; }));
    const int streamed = 12;
    EXPECT_TRUE(WaitUntil([&] { return std::stoi("0" + ControlText(detail, IDC_RDETAIL_COUNTER)) >= 2 + streamed; }, 60000));
    EXPECT_TRUE(Capture(send, "send_frames"));
    Press(send, IDC_DENTRY_START_STOP);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(send, IDC_DENTRY_STATUS) == "Stopped"; }));
    const uint32_t after_stream = LastSequence(kAdapterB);
    ExpectOneFramePerPoll(kAdapterB, before_stream, after_stream);
    ExpectStreamedFramesInOrder(ListLines(list), 24, streamed);

    // DTR and RTS of one side are DCD and CTS of the other.
    HWND a_modems = a.Child("LMTR_MODEMS");
    HWND b_modems = b.Child("LMTR_MODEMS");
    struct Lines {
        bool dtr;
        bool rts;
    };
    for (Lines lines : {Lines{true, false}, Lines{false, true}, Lines{true, true}}) {
        SCOPED_TRACE(::testing::Message() << "DTR " << lines.dtr << " RTS " << lines.rts);
        ASSERT_TRUE(b.SetModemOutputs(lines.dtr, lines.rts, lines.dtr && lines.rts ? "set_modem_status" : nullptr));
        EXPECT_TRUE(WaitUntil([&] {
            return ControlText(a_modems, IDC_MODEMS_DCD) == (lines.dtr ? "High" : "Low") &&
                   ControlText(a_modems, IDC_MODEMS_CTS) == (lines.rts ? "High" : "Low");
        })) << ControlText(a_modems, IDC_MODEMS_DCD) << " " << ControlText(a_modems, IDC_MODEMS_CTS);
    }
    ASSERT_TRUE(a.SetModemOutputs(false, true));
    EXPECT_TRUE(WaitUntil([&] {
        return ControlText(b_modems, IDC_MODEMS_DCD) == "Low" && ControlText(b_modems, IDC_MODEMS_CTS) == "High";
    }));

    // Pictures with real traffic on show.
    a.Menu(IDM_POLL_NOW);
    EXPECT_TRUE(Answers(a.Main()));
    EXPECT_TRUE(Capture(a.Main(), "monitor_main"));
    EXPECT_TRUE(Capture(detail, "receive_detail"));
    EXPECT_TRUE(Capture(b.Main(), "monitor_second"));

    // "Cl&ose Device" with the receive monitor running, and "E&xit" with it
    // running: DISABLE_COMMS goes out before the handles close.
    uint32_t mark = LastSequence(kAdapterA);
    a.Menu(IDM_CLOSE_DEVICE);
    EXPECT_TRUE(a.WaitForStatus("Closed"));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(detail); }));
    ExpectDisableBeforeCloses(kAdapterA, mark);

    mark = LastSequence(kAdapterB);
    EXPECT_EQ(b.Exit(), 0u);
    ExpectDisableBeforeCloses(kAdapterB, mark);

    EXPECT_EQ(a.Exit(), 0u);
    EXPECT_TRUE(test::SimCable(kAdapterA, CABLE_NONE));
}

TEST(Session, ALineTestToTheAdapterAtTheOtherEndOfTheCablePasses)
{
    ASSERT_TRUE(test::SimCable(kAdapterA, CABLE_NULL_MODEM, kAdapterB));
    ASSERT_TRUE(test::SimCable(kAdapterB, CABLE_NULL_MODEM, kAdapterA));
    Monitor a;
    OpenFullSession(a);
    a.Menu(IDM_LINE_TEST);
    HWND line_test = WaitForThreadWindow(a.process().Thread(), "Line Test");
    ASSERT_NE(line_test, nullptr);
    PlaceWindow(line_test, kSecondMain);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(line_test, IDC_LINETEST_FRAMES), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("300"),
                        SMTO_NORMAL, 10000, &ignored);
    SendMessageTimeoutA(GetDlgItem(line_test, IDC_LINETEST_PARTNER), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>("KORQZ6C1"), SMTO_NORMAL, 10000, &ignored);
    const uint32_t received_before = test::SimAdapter(kAdapterB).statistics.rx_frames;
    Press(line_test, IDC_LINETEST_START_STOP);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(line_test, IDC_LINETEST_VERDICT) == "PASS"; }))
        << ControlText(line_test, IDC_LINETEST_VERDICT);
    EXPECT_EQ(ControlText(line_test, IDC_LINETEST_RECEIVED), "300");
    EXPECT_EQ(test::SimAdapter(kAdapterB).statistics.rx_frames - received_before, 300u);
    EXPECT_TRUE(Capture(line_test, "line_test"));
    EXPECT_EQ(a.Exit(), 0u);
    EXPECT_TRUE(test::SimCable(kAdapterA, CABLE_NONE));
    EXPECT_TRUE(test::SimCable(kAdapterB, CABLE_NONE));
}

}  // namespace
}  // namespace qz6::e2e
