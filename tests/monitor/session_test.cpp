// The device session against the simulated driver: "&Open Device" with its
// retries and prompts, the version, "Cl&ose Device", the close at exit and
// the "&Streaming" view.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "monitor/channel/device_session.h"
#include "monitor/frame/menu_states.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/startup.h"
#include "monitor/resources/resource_ids.h"
#include "support/device_support.h"
#include "tests/monitor/session_harness.h"

namespace qz6::mon::test {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kUnableText =
    "Unable to obtain streaming configuration.  Make sure the device name is correct and that another process "
    "has already set the configuration.";

class DeviceSession : public OnSimulatedDriver {
protected:
    // "&Open Device" with an operator who answers "Timeout Error" with
    // `timeout_answer` and anything else with OK.
    std::vector<SeenBox> OpenAnswering(int timeout_answer = IDRETRY)
    {
        BoxAnswerer user([timeout_answer](const std::string& caption, HWND) {
            return caption == "Timeout Error" ? timeout_answer : IDOK;
        });
        Command(IDM_OPEN_DEVICE);
        return user.Stop();
    }

    // Every device-dependent menu item as the state says.
    void ExpectMenus(DeviceMenuState state)
    {
        for (const MenuItemEnable& item : kDeviceMenuItems)
            EXPECT_EQ(MenuItemGreyed(item.id), !MenuItemEnabled(item, state)) << "menu item " << item.id;
    }

    void ExpectNoDevice()
    {
        EXPECT_FALSE(g_monitor.device_open);
        EXPECT_EQ(g_monitor.device_handle, INVALID_HANDLE_VALUE);
        ExpectMenus(DeviceMenuState::Closed);
        EXPECT_EQ(PollingStatus(), "Closed");
    }
};

TEST_F(DeviceSession, OpenReadsConfigurationThenVersionAndSwitchesTheMenu)
{
    ConfigureAdapter();
    NewRequests(true);
    WatchControlTexts(PollingStatusControl());
    EXPECT_TRUE(OpenAnswering().empty());

    EXPECT_EQ(NewRequestTrace(), "O 06 10");
    EXPECT_TRUE(g_monitor.device_open);
    EXPECT_NE(g_monitor.device_handle, INVALID_HANDLE_VALUE);
    ExpectMenus(DeviceMenuState::Open);
    EXPECT_EQ(TextsSetOn(PollingStatusControl()), (Strings{"Opening...", "Opened"}));
    EXPECT_STREQ(g_monitor.version_text, "2.14");
    // The whole reply is kept, header included.
    EXPECT_EQ(g_monitor.saved_configuration.command, READ_CONFIGURATION);
    EXPECT_EQ(g_monitor.saved_configuration.return_code, RETURN_SUCCESS);
    EXPECT_EQ(g_monitor.saved_configuration.data_length, 22);
    EXPECT_EQ(g_monitor.saved_configuration.data[0], 0xC0);  // 56000 = 0x0000DAC0
    EXPECT_EQ(g_monitor.saved_configuration.data[1], 0xDA);
}

TEST_F(DeviceSession, MisspeltNameFailsAtTheOpenWithThePlatformsErrorCode)
{
    std::strcpy(g_monitor.device_name, "ROZAR60O");
    HANDLE probe = CreateFileA("\\\\.\\ROZAR60O", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(probe, INVALID_HANDLE_VALUE);
    const std::string expected = "Cannot open device! Error code " + std::to_string(GetLastError()) + ".";

    const std::vector<SeenBox> boxes = OpenAnswering();
    ASSERT_EQ(Captions(boxes), "Open Error");
    EXPECT_EQ(boxes[0].text, expected);
    EXPECT_EQ(NewRequestTrace(), "") << "nothing reaches any adapter";
    ExpectNoDevice();
}

TEST_F(DeviceSession, NoAnswerPromptsThreeTimesAndGivesUpAfterTheFourthAttempt)
{
    ConfigureAdapter();
    ASSERT_TRUE(qz6::test::SimFault(0, READ_CONFIGURATION, FAULT_NO_ANSWER, 0, 10));
    NewRequests(true);
    WatchControlTexts(PollingStatusControl());

    const std::vector<SeenBox> boxes = OpenAnswering(IDRETRY);
    ASSERT_EQ(Captions(boxes), "Timeout Error, Timeout Error, Timeout Error, Command Error");
    EXPECT_EQ(boxes[0].text, "Command timeout occurred. Retry?");
    EXPECT_EQ(boxes[3].text, kUnableText);
    // The status each prompt was shown with.
    EXPECT_EQ(boxes[0].polling_status, "Opening...");
    EXPECT_EQ(boxes[1].polling_status, "Retry 1/3...");
    EXPECT_EQ(boxes[2].polling_status, "Retry 2/3...");
    EXPECT_EQ(boxes[3].polling_status, "Retry 3/3...");
    EXPECT_EQ(NewRequestTrace(), "O 06 06 06 06 C");
    ExpectNoDevice();
}

TEST_F(DeviceSession, AnotherCodeIsRetriedWithoutAskingAndTheRetriesShowInTurn)
{
    // An adapter never configured refuses the read with 0x01.
    WatchControlTexts(PollingStatusControl());
    const std::vector<SeenBox> boxes = OpenAnswering(IDCANCEL);
    ASSERT_EQ(Captions(boxes), "Command Error");
    EXPECT_EQ(boxes[0].text, kUnableText);
    EXPECT_EQ(NewRequestTrace(), "O 06 06 06 06 C");
    EXPECT_EQ(TextsSetOn(PollingStatusControl()),
              (Strings{"Opening...", "Retry 1/3...", "Retry 2/3...", "Retry 3/3...", "Closed"}));
    EXPECT_EQ(PollingText(IDC_POLLS_RESULT), "0x01");
    ExpectNoDevice();
}

TEST_F(DeviceSession, CancelAtTheFirstPromptEndsTheOpenAtOnce)
{
    ConfigureAdapter();
    ASSERT_TRUE(qz6::test::SimFault(0, READ_CONFIGURATION, FAULT_NO_ANSWER, 0, 10));
    NewRequests(true);
    EXPECT_EQ(Captions(OpenAnswering(IDCANCEL)), "Timeout Error, Command Error");
    EXPECT_EQ(NewRequestTrace(), "O 06 C");
    ExpectNoDevice();
}

// While a prompt is up the device is already marked open, so a poll can
// run another command through the block; the retry still reads the
// configuration.
TEST_F(DeviceSession, ARetryAfterAPollDuringThePromptStillReadsTheConfiguration)
{
    ConfigureAdapter();
    ASSERT_TRUE(qz6::test::SimFault(0, READ_CONFIGURATION, FAULT_NO_ANSWER, 0, 1));
    NewRequests(true);
    BoxAnswerer user([&](const std::string& caption, HWND) {
        if (caption == "Timeout Error") {
            SendMessageA(main_, WM_COMMAND, IDM_LINK_STATUS, 0);
            SendMessageA(main_, WM_COMMAND, IDM_POLL_NOW, 0);
            return IDRETRY;
        }
        return IDOK;
    });
    Command(IDM_OPEN_DEVICE);
    EXPECT_EQ(Captions(user.Stop()), "Timeout Error");
    EXPECT_EQ(NewRequestTrace(), "O 06 00 06 10");
    EXPECT_TRUE(g_monitor.device_open);
    EXPECT_EQ(g_monitor.saved_configuration.command, READ_CONFIGURATION);
    EXPECT_EQ(g_monitor.saved_configuration.data_length, 22);
}

TEST_F(DeviceSession, VersionReadThatFailsOrIsEmptyStillOpens)
{
    const struct {
        uint8_t code;
        const char* version;
        const char* title;
    } rows[] = {
        {0x05, "?.??", "Streaming v?.?? Configuration"},
        {NO_RESPONSE_CODE, "?.??", "Streaming v?.?? Configuration"},
        {RETURN_SUCCESS, "", "Streaming v Configuration"},  // an answer with data_length 0
    };
    ConfigureAdapter();
    for (const auto& row : rows) {
        ASSERT_TRUE(qz6::test::SimFault(0, READ_CODE_VERSION, FAULT_RETURN_CODE, row.code, 1));
        NewRequests(true);
        EXPECT_TRUE(OpenAnswering().empty());
        EXPECT_EQ(NewRequestTrace(), "O 06 10");
        EXPECT_TRUE(g_monitor.device_open);
        EXPECT_STREQ(g_monitor.version_text, row.version);

        std::string title;
        BoxAnswerer user([&](const std::string& caption, HWND) {
            title = caption;
            return IDOK;
        });
        Command(IDM_STREAMING);
        user.Stop();
        EXPECT_EQ(title, row.title);
        Command(IDM_CLOSE_DEVICE);
    }
}

TEST_F(DeviceSession, CloseDestroysTheDataWindowsAndBringsBackThePollingWindow)
{
    OpenConfiguredDevice();
    Command(IDM_OPEN_ALL);
    HWND old_polls = g_monitor.polling_window;
    RECT template_place;
    GetWindowRect(old_polls, &template_place);
    MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&template_place), 2);
    SetWindowPos(old_polls, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Command(IDM_POLL_NOW);
    NewRequests(true);

    Command(IDM_CLOSE_DEVICE);
    Pump();
    EXPECT_EQ(NewRequestTrace(), "C") << "nothing is sent when the receive monitor is not running";
    for (const char* name : {"LMTR_LINKS", "LMTR_OPSTATS", "LMTR_COMES", "LMTR_MODEMS"})
        EXPECT_EQ(CountMonitorWindows(name), 0) << name;
    for (uint16_t item : {IDM_LINK_STATUS, IDM_OPERATIONAL_STATISTICS, IDM_COMM_ERROR_STATISTICS, IDM_MODEM_STATUS})
        EXPECT_FALSE(MenuItemChecked(item)) << item;
    EXPECT_TRUE(MenuItemChecked(IDM_POLLING_WINDOW));
    ASSERT_EQ(CountMonitorWindows("LMTR_POLLS"), 1);
    HWND polls = FindMonitorWindow("LMTR_POLLS");
    RECT place;
    GetWindowRect(polls, &place);
    MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&place), 2);
    EXPECT_TRUE(EqualRect(&place, &template_place));
    EXPECT_EQ(ControlText(polls, IDC_POLLS_COMMAND), "");
    EXPECT_EQ(ControlText(polls, IDC_POLLS_RESULT), "");
    ExpectNoDevice();
    EXPECT_STREQ(g_monitor.version_text, "2.14") << "kept until the next open";
    EXPECT_EQ(g_monitor.saved_configuration.command, READ_CONFIGURATION);

    // Closing again does nothing.
    Command(IDM_CLOSE_DEVICE);
    EXPECT_EQ(NewRequestTrace(), "");
}

// The receive monitor is stopped first: its DISABLE_COMMS is the only
// command, and it goes out before the handles close.
TEST_F(DeviceSession, CloseAndExitStopTheReceiveMonitorFirst)
{
    for (bool at_exit : {false, true}) {
        OpenConfiguredDevice();
        Command(IDM_ENABLE_COMMUNICATIONS);
        ASSERT_NE(g_monitor.receive_detail_window, nullptr);
        NewRequests(true);
        if (at_exit) {
            Command(IDM_EXIT);
            Pump(1000);
            ASSERT_TRUE(quit_seen_);
            FinishMonitor();
        } else {
            Command(IDM_CLOSE_DEVICE);
        }
        // Commands and closes only: the receive thread's own open and
        // receive call may fall on either side of the mark.
        std::vector<SimLogEntry> requests;
        for (const SimLogEntry& entry : NewRequests(true))
            if (entry.control_code == IOCTL_STREAM_COMMAND || entry.control_code == LOG_HANDLE_CLOSED)
                requests.push_back(entry);
        EXPECT_EQ(TraceOf(requests), "04 C C") << "the receive thread's handle and the session's";
        EXPECT_FALSE(g_monitor.device_open);
        EXPECT_EQ(g_monitor.device_handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(g_monitor.receive_detail_window, nullptr);
    }
}

// A command that reaches "&Open Device" past its greyed menu item leaves
// the open session alone.
TEST_F(DeviceSession, OpenWhileOpenKeepsTheSession)
{
    OpenConfiguredDevice();
    HANDLE session = g_monitor.device_handle;
    Command(IDM_OPEN_DEVICE);
    EXPECT_EQ(NewRequestTrace(), "");
    EXPECT_TRUE(g_monitor.device_open);
    EXPECT_EQ(g_monitor.device_handle, session);
    EXPECT_EQ(PollingStatus(), "Opened");
}

TEST_F(DeviceSession, ExitWithTheDeviceOpenOnlyClosesItsHandle)
{
    OpenConfiguredDevice();
    Command(IDM_EXIT);
    Pump(1000);  // stops at the quit message
    ASSERT_TRUE(quit_seen_);
    FinishMonitor();
    EXPECT_EQ(NewRequestTrace(), "C");
    EXPECT_FALSE(g_monitor.device_open);
    EXPECT_EQ(g_monitor.device_handle, INVALID_HANDLE_VALUE);
}

// ---- "&Streaming" --------------------------------------------------------------------------
using StreamingView = OnSimulatedDriver;

TEST_F(StreamingView, ShowsTheNineFieldsReadAtTheOpenTitledWithTheVersion)
{
    OpenConfiguredDevice();
    // A new configuration set meanwhile by someone else is not what the view shows.
    {
        qz6::test::DeviceHandle other = qz6::test::OpenAdapter(0);
        ASSERT_EQ(qz6::test::Configure(other.Get(), qz6::test::DefaultConfiguration(9600)), RETURN_SUCCESS);
    }
    NewRequests(true);

    Strings fields;
    bool survived_cancel = false;
    BoxAnswerer user([&](const std::string& caption, HWND view) {
        if (caption != "Streaming v2.14 Configuration")
            return IDOK;
        for (int id = IDC_STREAMVIEW_FIRST_FIELD; id < IDC_STREAMVIEW_FIRST_FIELD + 9; ++id)
            fields.push_back(ControlText(view, id));
        // The keyboard's cancel does not end it; the system Close does.
        SendMessageA(view, WM_COMMAND, IDCANCEL, 0);
        survived_cancel = IsWindowVisible(view) != FALSE;
        PostMessageA(view, WM_SYSCOMMAND, SC_CLOSE, 0);
        return -1;  // nothing more to press
    });
    Command(IDM_STREAMING);
    EXPECT_EQ(Captions(user.Stop()), "Streaming v2.14 Configuration");
    EXPECT_EQ(fields, (Strings{"56000", "2000", "50", "0x0002", "0x0002", "0x0003", "14745600", "16", "16"}));
    EXPECT_TRUE(survived_cancel);
    EXPECT_EQ(NewRequestTrace(), "") << "the view reads nothing from the device";

    // OK ends it as well.
    BoxAnswerer ok([](const std::string&, HWND) { return IDOK; });
    Command(IDM_STREAMING);
    EXPECT_EQ(ok.Stop().size(), 1u);
}

}  // namespace
}  // namespace qz6::mon::test
