// The Send Frames window against the simulated driver: SEND in text and
// hex mode, the history, and Send Many streaming one frame per poll.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/resources/traffic_ids.h"
#include "monitor/traffic/send_frames.h"
#include "support/traffic_fixture.h"

namespace qz6::mon::test {
namespace {

namespace sim = qz6::test;

class SendFrames : public TrafficTest {
protected:
    void SetUp() override
    {
        TrafficTest::SetUp();
        Command(IDM_SEND_FRAMES);
        window_ = g_monitor.send_frames_window;
        ASSERT_NE(window_, nullptr);
    }

    void SetTextMode(bool text)
    {
        if ((IsDlgButtonChecked(window_, IDC_DENTRY_DATA_IS_TEXT) == BST_CHECKED) != text)
            Click(window_, IDC_DENTRY_DATA_IS_TEXT);
    }

    // Types the text and presses SEND; returns the frame as the driver got it.
    SimLogEntry Send(const char* text)
    {
        SetDlgItemTextA(window_, IDC_DENTRY_DATA, text);
        NewRequests();
        Click(window_, IDC_DENTRY_SEND);
        const std::vector<SimLogEntry> requests = NewRequests();
        EXPECT_EQ(requests.size(), 1u) << text;
        return requests.empty() ? SimLogEntry{} : requests.front();
    }

    std::vector<std::string> History() const
    {
        std::vector<std::string> lines;
        const int count = static_cast<int>(SendDlgItemMessageA(window_, IDC_DENTRY_HISTORY, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            static char text[1024];
            SendDlgItemMessageA(window_, IDC_DENTRY_HISTORY, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            lines.emplace_back(text);
        }
        return lines;
    }

    std::string Status() const { return ControlText(window_, IDC_DENTRY_STATUS); }

    // One poll, as "&Poll Now to Update Windows"; returns what went out.
    std::vector<SimLogEntry> PollOnce()
    {
        NewRequests();
        Command(IDM_POLL_NOW);
        return NewRequests();
    }

    void StartSendMany(const char* length)
    {
        SetDlgItemTextA(window_, IDC_DENTRY_LENGTH, length);
        Click(window_, IDC_DENTRY_START_STOP);
    }

    HWND window_ = nullptr;
};

std::vector<uint8_t> DataOf(const SimLogEntry& entry)
{
    const size_t count = entry.data_length < kLogDataBytes ? entry.data_length : kLogDataBytes;
    return std::vector<uint8_t>(entry.data, entry.data + count);
}

TEST_F(SendFrames, OpensOnceFromItsTemplate)
{
    Command(IDM_SEND_FRAMES);
    EXPECT_EQ(g_monitor.send_frames_window, window_);
    EXPECT_EQ(WindowText(window_), "Send Frames");
    EXPECT_EQ(GetWindow(window_, GW_OWNER), main_);
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_LENGTH), "100");
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_START_STOP), "Start");
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_SEND), "SEND");
    EXPECT_EQ(IsDlgButtonChecked(window_, IDC_DENTRY_DATA_IS_TEXT), BST_UNCHECKED);
    EXPECT_TRUE(History().empty());
    const LONG_PTR list_style = GetWindowLongPtrA(GetDlgItem(window_, IDC_DENTRY_HISTORY), GWL_STYLE);
    EXPECT_EQ(list_style & LBS_SORT, 0);
    EXPECT_NE(list_style & LBS_NOTIFY, 0);
}

TEST_F(SendFrames, TextAndHexBecomeFrameBytes)
{
    const struct {
        bool text_mode;
        const char* typed;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {true, "hello", {0x68, 0x65, 0x6C, 0x6C, 0x6F}},
        {true, "03 CC", {'0', '3', ' ', 'C', 'C'}},
        {true, "", {}},
        {false, "03 CC 45 01", {0x03, 0xCC, 0x45, 0x01}},
        {false, "3 cc", {0x03, 0xCC}},
        {false, "123 4", {0x12, 0x04}},
        {false, "   03   CC 45  01  ", {0x03, 0xCC, 0x45, 0x01}},
        {false, "zz 7", {0x00, 0x07}},
        {false, "", {}},
    };
    for (const auto& c : cases) {
        SetTextMode(c.text_mode);
        const SimLogEntry sent = Send(c.typed);
        EXPECT_EQ(sent.control_code, IOCTL_STREAM_SEND) << c.typed;
        EXPECT_EQ(sent.command, SEND_I_FRAME);
        EXPECT_EQ(sent.data_length, c.bytes.size()) << c.typed;
        EXPECT_EQ(DataOf(sent), c.bytes) << c.typed;
        EXPECT_EQ(History().front(), c.typed);
    }
}

TEST_F(SendFrames, ALongTextIsSentUpTo511Characters)
{
    SetTextMode(true);
    const std::string typed(600, 'q');
    EXPECT_EQ(Send(typed.c_str()).data_length, 511);
    EXPECT_EQ(History().front(), std::string(511, 'q'));

    SetTextMode(false);
    std::string hex;
    for (int i = 0; i < 500; ++i)
        hex += i == 0 ? "7" : " 7";
    EXPECT_EQ(Send(hex.c_str()).data_length, 500);
}

TEST_F(SendFrames, TheHistoryKeepsTenNewestFirst)
{
    for (int i = 1; i <= 11; ++i)
        Send(std::to_string(i).c_str());
    const std::vector<std::string> expected = {"11", "10", "9", "8", "7", "6", "5", "4", "3", "2"};
    EXPECT_EQ(History(), expected);
    Send("");
    EXPECT_EQ(History().size(), 10u);
    EXPECT_EQ(History().front(), "");
    EXPECT_EQ(History()[1], "11");
}

TEST_F(SendFrames, ReopeningKeepsTheHistoryAndTheModeOfTheLastSend)
{
    SetTextMode(true);
    Send("abc");
    Click(window_, IDC_DENTRY_DATA_IS_TEXT);  // changed, not sent: not remembered
    Click(window_, IDC_DENTRY_CLOSE);
    EXPECT_EQ(g_monitor.send_frames_window, nullptr);
    EXPECT_FALSE(IsWindow(window_));

    Command(IDM_SEND_FRAMES);
    window_ = g_monitor.send_frames_window;
    ASSERT_NE(window_, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(window_, IDC_DENTRY_DATA_IS_TEXT), BST_CHECKED);
    EXPECT_EQ(History(), std::vector<std::string>{"abc"});
    EXPECT_EQ(Status(), "Stopped");
}

TEST_F(SendFrames, DoubleClickRecallsALine)
{
    SetTextMode(false);
    Send("01 02");
    Send("AA BB CC");
    Send("7E");
    SetDlgItemTextA(window_, IDC_DENTRY_DATA, "typed over");
    HWND list = GetDlgItem(window_, IDC_DENTRY_HISTORY);
    SendMessageA(list, LB_SETCURSEL, 1, 0);
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDC_DENTRY_HISTORY, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_DATA), "AA BB CC");
    EXPECT_STREQ(g_monitor.traffic.hex_text, "AA BB CC");
    EXPECT_EQ(IsDlgButtonChecked(window_, IDC_DENTRY_DATA_IS_TEXT), BST_UNCHECKED);
    EXPECT_EQ(History(), (std::vector<std::string>{"7E", "AA BB CC", "01 02"}));

    // A single click is a selection, not a recall.
    SendMessageA(list, LB_SETCURSEL, 2, 0);
    SendMessageA(window_, WM_COMMAND, MAKEWPARAM(IDC_DENTRY_HISTORY, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_DATA), "AA BB CC");
    EXPECT_TRUE(NewCommands().empty());
}

TEST_F(SendFrames, SendManyStreamsOneNumberedFramePerPoll)
{
    ASSERT_EQ(sim::RunCommand(spare_.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    StartSendMany("100");
    EXPECT_EQ(Status(), "Starting...");
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_START_STOP), "Stop");

    std::vector<SimLogEntry> sent = PollOnce();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data_length, 100);
    EXPECT_EQ(DataOf(sent[0]), std::vector<uint8_t>(8, 0x00));
    EXPECT_EQ(Status(), "Sent # 0: 00 00 00... - RC 0x00");
    SetDlgItemTextA(window_, IDC_DENTRY_LENGTH, "7");  // no effect until the next Start

    sent = PollOnce();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].data_length, 100);
    EXPECT_EQ(DataOf(sent[0]), std::vector<uint8_t>(8, 0x01));
    EXPECT_EQ(Status(), "Sent # 1: 01 01 01... - RC 0x00");

    // A refused frame goes out again with the same number and byte.
    ASSERT_TRUE(sim::SimFault(0, SEND_I_FRAME, FAULT_RETURN_CODE, RETURN_NO_TX_BUFFER, 1));
    sent = PollOnce();
    EXPECT_EQ(DataOf(sent.at(0)), std::vector<uint8_t>(8, 0x02));
    EXPECT_EQ(Status(), "Sent # 2: 02 02 02... - RC 0x04");
    ASSERT_TRUE(sim::SimFault(0, SEND_I_FRAME, FAULT_FAIL_CALL, 0, 1));
    sent = PollOnce();
    EXPECT_EQ(Status(), "Sent # 2: 02 02 02... - RC 0xAA");
    sent = PollOnce();
    EXPECT_EQ(DataOf(sent.at(0)), std::vector<uint8_t>(8, 0x02));
    EXPECT_EQ(Status(), "Sent # 2: 02 02 02... - RC 0x00");
    EXPECT_EQ(PollingText(IDC_POLLS_COMMAND), "! Send I-Frame:");

    Click(window_, IDC_DENTRY_START_STOP);
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_START_STOP), "Start");
    EXPECT_TRUE(PollOnce().empty());
}

TEST_F(SendFrames, SendManyLengthsAreLimitedTo512)
{
    ASSERT_EQ(sim::RunCommand(spare_.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    const struct {
        const char* typed;
        const char* shown_after_start;
        uint16_t length;
    } cases[] = {
        {"600", "512", 512},
        {"512", "512", 512},
        {"0", "0", 0},
        {"ten", "ten", 0},
    };
    for (const auto& c : cases) {
        StartSendMany(c.typed);
        EXPECT_EQ(ControlText(window_, IDC_DENTRY_LENGTH), c.shown_after_start);
        const std::vector<SimLogEntry> sent = PollOnce();
        ASSERT_EQ(sent.size(), 1u) << c.typed;
        EXPECT_EQ(sent[0].data_length, c.length) << c.typed;
        EXPECT_EQ(Status(), "Sent # 0: 00 00 00... - RC 0x00") << c.typed;
        Click(window_, IDC_DENTRY_START_STOP);
    }
}

TEST_F(SendFrames, AStreamedFrameArrivesWholeOnTheLoopbackPlug)
{
    ASSERT_EQ(sim::RunCommand(spare_.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    StartSendMany("512");
    PollOnce();
    PollOnce();
    static ReceiveRecord record;
    for (uint8_t expected : {0x00, 0x01}) {
        ASSERT_TRUE(PumpUntil([] { return sim::SimAdapter(0).rx_queued > 0; }));
        ASSERT_TRUE(sim::Receive(spare_.Get(), &record, sizeof record).ok);
        ASSERT_EQ(record.status, RECEIVE_FRAME_PRESENT);
        ASSERT_EQ(record.frame_length, 512);
        EXPECT_EQ(std::vector<uint8_t>(record.frame_data, record.frame_data + 512), std::vector<uint8_t>(512, expected));
    }
}

TEST_F(SendFrames, OnlyCloseClosesTheWindowAndAClosedStreamStops)
{
    for (WPARAM command : {WPARAM{SC_CLOSE}, WPARAM{SC_CLOSE | 0x0F}}) {
        SendMessageA(window_, WM_SYSCOMMAND, command, 0);
        Pump();
        EXPECT_TRUE(IsWindow(window_));
    }
    ASSERT_EQ(sim::RunCommand(spare_.Get(), ENABLE_COMMS), RETURN_SUCCESS);
    StartSendMany("10");
    EXPECT_EQ(PollOnce().size(), 1u);
    Click(window_, IDC_DENTRY_CLOSE);
    EXPECT_EQ(g_monitor.send_frames_window, nullptr);
    EXPECT_TRUE(PollOnce().empty());

    Command(IDM_SEND_FRAMES);
    window_ = g_monitor.send_frames_window;
    EXPECT_EQ(Status(), "Stopped");
    EXPECT_TRUE(PollOnce().empty());
}

// Left open after the device is closed, SEND still goes to the command
// channel, which answers 0xAA without reaching the driver.
// The window's keys: Enter sends from the Data box only, recalls the line
// on the history list, does nothing elsewhere; Tab moves on.
TEST_F(SendFrames, EnterSendsOnlyFromTheDataBoxAndTabMovesOn)
{
    SetTextMode(true);
    HWND data = GetDlgItem(window_, IDC_DENTRY_DATA);
    SetDlgItemTextA(window_, IDC_DENTRY_DATA, "key");
    SetFocus(data);
    Pump();
    NewRequests();
    PostMessageA(data, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    const std::vector<SimLogEntry> requests = NewRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests.front().command, SEND_I_FRAME);
    EXPECT_EQ(requests.front().data_length, 3);

    HWND length = GetDlgItem(window_, IDC_DENTRY_LENGTH);
    SetFocus(length);
    PostMessageA(length, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_TRUE(NewRequests().empty()) << "Enter in Length: sends nothing";
    HWND history = GetDlgItem(window_, IDC_DENTRY_HISTORY);
    SetDlgItemTextA(window_, IDC_DENTRY_DATA, "other");
    SendMessageA(history, LB_SETCURSEL, 0, 0);
    SetFocus(history);
    PostMessageA(history, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_TRUE(NewRequests().empty());
    EXPECT_EQ(ControlText(window_, IDC_DENTRY_DATA), "key") << "Enter on the history recalls its line";
    EXPECT_EQ(History(), std::vector<std::string>{"key"});

    SetFocus(data);
    PostMessageA(data, WM_KEYDOWN, VK_TAB, 0);
    Pump();
    EXPECT_NE(GetFocus(), data);
    EXPECT_EQ(GetParent(GetFocus()), window_);
}

TEST_F(SendFrames, SendWithNoDeviceOpenFailsWithNoResponse)
{
    CloseHandle(g_monitor.device_handle);
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    g_monitor.device_open = false;
    NewRequests(true);
    SetDlgItemTextA(window_, IDC_DENTRY_DATA, "01");
    Click(window_, IDC_DENTRY_SEND);
    EXPECT_TRUE(NewRequests().empty());
    EXPECT_EQ(PollingText(IDC_POLLS_COMMAND), "! Send I-Frame:");
    EXPECT_EQ(PollingText(IDC_POLLS_RESULT), "0xAA");
    EXPECT_EQ(History(), std::vector<std::string>{"01"});
}

}  // namespace
}  // namespace qz6::mon::test
