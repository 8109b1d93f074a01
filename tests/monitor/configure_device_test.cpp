// "Configure &Device" against the simulated driver: the SETCONFIG dialog,
// the request it sends through its own handle and the retry loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/default_configuration.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "support/device_support.h"
#include "tests/monitor/session_harness.h"

namespace qz6::mon::test {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kSetConfigTitle = "Set Streaming Configuration on Device";

// What SETCONFIG shows: the three edits, then one character per box and
// radio button: 200, 309, 311, 400 to 403, 500 to 505 ("x" checked, "." clear).
std::string ShownIn(HWND dialog)
{
    std::string shown = ControlText(dialog, IDC_SETCONFIG_BAUD) + " " + ControlText(dialog, IDC_SETCONFIG_FRAME_SIZE) +
                        " " + ControlText(dialog, IDC_SETCONFIG_PERCENT_TX) + " ";
    auto box = [&](int id) { return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED ? 'x' : '.'; };
    shown += box(IDC_SETCONFIG_PASS_CRC);
    shown += box(IDC_SETCONFIG_RS232);
    shown += box(IDC_SETCONFIG_RS485);
    shown += ' ';
    for (int id = 400; id <= 403; ++id)
        shown += box(id);
    shown += ' ';
    for (int id = 500; id <= 505; ++id)
        shown += box(id);
    return shown;
}

void Click(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

class ConfigureDevice : public OnSimulatedDriver {
protected:
    // "Configure &Device" with an operator who works SETCONFIG with
    // `fill` (which returns the button to press) and answers
    // "Configuration Error" with the next of `error_answers` (Cancel when
    // they run out) and anything else with OK.
    std::vector<SeenBox> Configure(std::function<int(HWND)> fill, std::vector<int> error_answers = {})
    {
        size_t next_answer = 0;
        BoxAnswerer user([&](const std::string& caption, HWND box) {
            if (caption == kSetConfigTitle)
                return fill(box);
            if (caption == "Configuration Error")
                return next_answer < error_answers.size() ? error_answers[next_answer++] : IDCANCEL;
            return IDOK;
        });
        Command(IDM_CONFIGURE_DEVICE);
        return user.Stop();
    }

    // What the next SETCONFIG shows, left with Cancel.
    std::string NextShowing()
    {
        std::string shown;
        Configure([&](HWND dialog) {
            shown = ShownIn(dialog);
            return IDC_SETCONFIG_CANCEL;
        });
        return shown;
    }

    void ExpectStillNoDevice()
    {
        EXPECT_FALSE(g_monitor.device_open);
        EXPECT_EQ(g_monitor.device_handle, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(MenuItemGreyed(IDM_OPEN_DEVICE));
        EXPECT_TRUE(MenuItemGreyed(IDM_CLOSE_DEVICE));
    }
};

TEST_F(ConfigureDevice, FirstShowingHasTheInitialValuesAndCancelTouchesNothing)
{
    WatchControlTexts(PollingStatusControl());
    std::string shown;
    HWND focus = nullptr;
    const std::vector<SeenBox> boxes = Configure([&](HWND dialog) {
        shown = ShownIn(dialog);
        GUITHREADINFO info = {sizeof info};
        GetGUIThreadInfo(gui_thread_, &info);
        focus = info.hwndFocus == GetDlgItem(dialog, IDC_SETCONFIG_BAUD) ? info.hwndFocus : nullptr;
        SetDlgItemTextA(dialog, IDC_SETCONFIG_BAUD, "1234");
        Click(dialog, IDC_SETCONFIG_PASS_CRC);
        return IDC_SETCONFIG_CANCEL;
    });
    EXPECT_EQ(Captions(boxes), kSetConfigTitle);
    EXPECT_EQ(shown, "56000 2000 50 .x. .x.. xx....");
    EXPECT_NE(focus, nullptr) << "focus on the baud rate";
    EXPECT_EQ(NewRequestTrace(), "") << "nothing opened, nothing sent";
    EXPECT_TRUE(TextsSetOn(PollingStatusControl()).empty());
    const ConfigurationToSend initial = DefaultConfiguration();
    EXPECT_EQ(std::memcmp(&g_monitor.configuration_to_send, &initial, 18), 0);
    ExpectStillNoDevice();
}

TEST_F(ConfigureDevice, OkSendsTheEditedValuesThroughAShortLivedHandle)
{
    WatchControlTexts(PollingStatusControl());
    std::memset(g_monitor.command_block.data, 0xEE, sizeof g_monitor.command_block.data);
    const std::vector<SeenBox> boxes = Configure([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_SETCONFIG_BAUD, "19200");
        SetDlgItemTextA(dialog, IDC_SETCONFIG_FRAME_SIZE, "1024");
        SetDlgItemTextA(dialog, IDC_SETCONFIG_PERCENT_TX, "25");
        Click(dialog, IDC_SETCONFIG_PASS_CRC);
        Click(dialog, IDC_SETCONFIG_RS485);
        Click(dialog, 401);  // off
        Click(dialog, 403);
        Click(dialog, 500);  // off
        Click(dialog, 505);
        return IDC_SETCONFIG_OK;
    });
    EXPECT_EQ(Captions(boxes), kSetConfigTitle);

    const std::vector<SimLogEntry> requests = NewRequests(true);
    ASSERT_EQ(TraceOf(requests), "O 05 C");
    EXPECT_EQ(requests[1].input_length, 34u);
    EXPECT_EQ(requests[1].data_length, 18);
    const uint8_t first_bytes[8] = {0x00, 0x4B, 0x00, 0x00, 0x00, 0x04, 0x19, 0x00};  // 19200, 1024, 25
    EXPECT_EQ(std::memcmp(requests[1].data, first_bytes, 8), 0);
    // The block went out with zeros at 14 to 17 (the adapter echoes the request).
    for (int i = 14; i < 18; ++i)
        EXPECT_EQ(g_monitor.command_block.data[i], 0) << "byte " << i;

    const SimAdapterStatus adapter = qz6::test::SimAdapter(0);
    EXPECT_EQ(adapter.configured, 1);
    EXPECT_EQ(+adapter.configuration.baud_rate, 19200u);
    EXPECT_EQ(+adapter.configuration.max_frame_size, 1024);
    EXPECT_EQ(+adapter.configuration.percent_tx_buffers, 25);
    EXPECT_EQ(+adapter.configuration.operational_bits, 0x0001) << "CRC bytes passed, RS-485";
    EXPECT_EQ(+adapter.configuration.modem_bits, 0x0008);
    EXPECT_EQ(+adapter.configuration.statistics_bits, 0x0022);

    EXPECT_EQ(TextsSetOn(PollingStatusControl()), (Strings{"Opening...", "Configuring...", "Closed"}));
    ExpectStillNoDevice();
    EXPECT_EQ(NextShowing(), "19200 1024 25 x.x ...x .x...x");
}

TEST_F(ConfigureDevice, BaudEntriesAreReadUpToTheirFirstOtherCharacter)
{
    const struct {
        const char* entry;
        uint32_t sent;
        const char* boxes;  // what the operator is asked
    } rows[] = {
        {"9600 bps", 9600, "Set Streaming Configuration on Device"},
        {"  +38400", 38400, "Set Streaming Configuration on Device"},
        // No digits: 0 goes out, which the adapter refuses.
        {"fast", 0, "Set Streaming Configuration on Device, Configuration Error"},
    };
    for (const auto& row : rows) {
        const std::vector<SeenBox> boxes = Configure([&](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_SETCONFIG_BAUD, row.entry);
            return IDC_SETCONFIG_OK;
        });
        EXPECT_EQ(Captions(boxes), row.boxes) << row.entry;
        const std::vector<SimLogEntry> requests = NewRequests(true);
        ASSERT_EQ(TraceOf(requests), "O 05 C") << row.entry;
        uint32_t sent = 0;
        std::memcpy(&sent, requests[1].data, 4);
        EXPECT_EQ(sent, row.sent) << row.entry;
        EXPECT_EQ(g_monitor.configuration_to_send.baud_rate, row.sent);
    }
}

TEST_F(ConfigureDevice, RefusalsAreRetriedForAsLongAsTheOperatorWishes)
{
    ASSERT_TRUE(qz6::test::SimFault(0, SET_CONFIGURATION, FAULT_RETURN_CODE, 0x7F, 2));
    std::vector<SeenBox> boxes = Configure([](HWND) { return IDC_SETCONFIG_OK; }, {IDRETRY, IDRETRY});
    ASSERT_EQ(Captions(boxes), "Set Streaming Configuration on Device, Configuration Error, Configuration Error");
    EXPECT_EQ(boxes[1].text, "Error code 0x7F returned on SET_CONFIGURATION. Retry? ");
    EXPECT_EQ(boxes[1].polling_status, "Configuring...");
    const std::vector<SimLogEntry> requests = NewRequests(true);
    ASSERT_EQ(TraceOf(requests), "O 05 05 05 C");
    for (size_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(requests[i].input_length, 34u);
        EXPECT_EQ(std::memcmp(requests[i].data, requests[1].data, 8), 0) << "the same bytes again";
    }
    EXPECT_EQ(qz6::test::SimAdapter(0).configured, 1);
    ExpectStillNoDevice();
}

TEST_F(ConfigureDevice, CancelLeavesTheLoopAndClosesTheHandleButKeepsTheValues)
{
    ASSERT_TRUE(qz6::test::SimFault(0, SET_CONFIGURATION, FAULT_NO_ANSWER, 0, 5));
    std::vector<SeenBox> boxes = Configure(
        [](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_SETCONFIG_PERCENT_TX, "75");
            return IDC_SETCONFIG_OK;
        },
        {IDRETRY, IDCANCEL});
    ASSERT_EQ(Captions(boxes), "Set Streaming Configuration on Device, Configuration Error, Configuration Error");
    EXPECT_EQ(boxes[2].text, "Error code 0xAA returned on SET_CONFIGURATION. Retry? ");
    EXPECT_EQ(NewRequestTrace(), "O 05 05 C");
    EXPECT_EQ(qz6::test::SimAdapter(0).configured, 0);
    EXPECT_EQ(PollingStatus(), "Closed");
    ExpectStillNoDevice();
    EXPECT_EQ(NextShowing(), "56000 2000 75 .x. .x.. xx....");
}

// While the retry prompt is up, the handle member holds the short-lived
// handle; a Send Frames window left open must not send through it.
TEST_F(ConfigureDevice, SendFramesLeftOpenSendsNothingWhileTheRetryPromptIsUp)
{
    Command(IDM_SEND_FRAMES);
    HWND send_frames = g_monitor.send_frames_window;
    ASSERT_NE(send_frames, nullptr);
    SetDlgItemTextA(send_frames, IDC_DENTRY_DATA, "01 02");
    // Out of the operator's sight, so that only the prompts are answered.
    ShowWindow(send_frames, SW_HIDE);
    ASSERT_TRUE(qz6::test::SimFault(0, SET_CONFIGURATION, FAULT_RETURN_CODE, 0x7F, 1));
    bool pressed = false;
    BoxAnswerer user([&](const std::string& caption, HWND) {
        if (caption == kSetConfigTitle)
            return IDC_SETCONFIG_OK;
        if (caption != "Configuration Error")
            return IDOK;
        PostMessageA(send_frames, WM_COMMAND, MAKEWPARAM(IDC_DENTRY_SEND, BN_CLICKED), 0);
        pressed = WaitUntil([&] { return SendDlgItemMessageA(send_frames, IDC_DENTRY_HISTORY, LB_GETCOUNT, 0, 0) == 1; });
        return IDCANCEL;
    });
    Command(IDM_CONFIGURE_DEVICE);
    user.Stop();
    EXPECT_TRUE(pressed);
    EXPECT_EQ(NewRequestTrace(), "O 05 C") << "no SEND_I_FRAME (01) through the short-lived handle";
    EXPECT_EQ(PollingText(IDC_POLLS_ACTIVE_RESULT), "0xAA");
    ExpectStillNoDevice();
}

TEST_F(ConfigureDevice, AnUnknownDeviceIsReportedAndNothingIsSent)
{
    std::strcpy(g_monitor.device_name, "NOSUCHDEVICE");
    WatchControlTexts(PollingStatusControl());
    std::vector<SeenBox> boxes = Configure([](HWND) { return IDC_SETCONFIG_OK; });
    ASSERT_EQ(Captions(boxes), "Set Streaming Configuration on Device, Open Error");
    EXPECT_EQ(boxes[1].text.rfind("Cannot open device! Error code ", 0), 0u) << boxes[1].text;
    EXPECT_EQ(NewRequestTrace(), "");
    EXPECT_EQ(TextsSetOn(PollingStatusControl()), (Strings{"Opening...", "Closed"}));
    ExpectStillNoDevice();
}

TEST_F(ConfigureDevice, OnlyItsOwnButtonsEndTheDialog)
{
    bool still_open = false;
    Configure([&](HWND dialog) {
        SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        SendMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        still_open = IsWindow(dialog) && IsWindowVisible(dialog);
        return IDC_SETCONFIG_CANCEL;
    });
    EXPECT_TRUE(still_open);
    EXPECT_EQ(NewRequestTrace(), "");
}

TEST_F(ConfigureDevice, NotWhileADeviceIsOpen)
{
    OpenConfiguredDevice();
    const std::vector<SeenBox> boxes = Configure([](HWND) { return IDC_SETCONFIG_OK; });
    EXPECT_TRUE(boxes.empty()) << Captions(boxes);
    EXPECT_EQ(NewRequestTrace(), "");
    EXPECT_TRUE(g_monitor.device_open);
}

// What a newcomer does first: configure the adapter, open it, open every
// window and watch the values.
TEST_F(ConfigureDevice, ANewcomersSessionShowsLiveValues)
{
    EXPECT_EQ(Captions(Configure([](HWND) { return IDC_SETCONFIG_OK; })), kSetConfigTitle);
    BoxAnswerer user([](const std::string&, HWND) { return IDOK; });
    Command(IDM_OPEN_DEVICE);
    EXPECT_EQ(Captions(user.Stop()), "");
    ASSERT_TRUE(g_monitor.device_open);
    Command(IDM_OPEN_ALL);
    Command(IDM_POLL_NOW);

    HWND links = FindMonitorWindow("LMTR_LINKS");
    HWND modems = FindMonitorWindow("LMTR_MODEMS");
    HWND opstats = FindMonitorWindow("LMTR_OPSTATS");
    HWND comes = FindMonitorWindow("LMTR_COMES");
    EXPECT_EQ(ControlText(links, IDC_LSTAT_CHANNEL_STATUS), "DISABLED");
    EXPECT_EQ(ControlText(modems, IDC_MODEMS_DCD), "Low");
    EXPECT_EQ(ControlText(opstats, 203), "0");
    EXPECT_EQ(ControlText(comes, 201), "0");

    ASSERT_EQ(RunOnAdapter(ENABLE_COMMS), RETURN_SUCCESS);
    const uint8_t frame[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(qz6::test::SimInject(0, frame), INJECT_QUEUED);
    ASSERT_EQ(qz6::test::SimInject(0, frame, 0, INJECT_BAD_CRC), INJECT_DROPPED_BAD_CRC);
    ASSERT_TRUE(qz6::test::SimModemInputs(0, true, true, false));
    Command(IDM_POLL_NOW);
    EXPECT_EQ(ControlText(links, IDC_LSTAT_CHANNEL_STATUS), "ENABLED");
    EXPECT_EQ(ControlText(links, IDC_LSTAT_FRAMES_QUEUED), "1");
    EXPECT_EQ(ControlText(modems, IDC_MODEMS_DCD), "High");
    EXPECT_EQ(ControlText(opstats, 203), "1");
    EXPECT_EQ(ControlText(opstats, 204), "5");
    EXPECT_EQ(ControlText(comes, 201), "1");
}

}  // namespace
}  // namespace qz6::mon::test
