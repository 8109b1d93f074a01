// Faults under a running session: the adapter pulled out, the service
// stopped, every command answered badly. The monitor must stay alive and
// answering, show the codes in its Polling window, and work again once the
// adapter answers.
#include <windows.h>

#include <gtest/gtest.h>

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

constexpr unsigned kAdapter = 0;  // ROZAR6O0

// Send Many of 8-byte frames in a fresh Send Frames window.
HWND StartSendMany(Monitor& monitor)
{
    HWND send = monitor.OpenSendFrames();
    if (send == nullptr)
        return nullptr;
    PlaceWindow(send, kFirstSendFrames);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(GetDlgItem(send, IDC_DENTRY_LENGTH), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("8"), SMTO_NORMAL,
                        10000, &ignored);
    Press(send, IDC_DENTRY_START_STOP);
    return send;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// At least `polls` more polls have read the statistics since `mark`.
bool PollsGoOn(unsigned adapter, uint32_t mark, int polls)
{
    return WaitUntil([&] {
        int seen = 0;
        for (const LoggedCall& call : CommandLogAfter(adapter, mark))
            seen += call.control_code == IOCTL_STREAM_COMMAND && call.command == READ_STATISTICS;
        return seen >= polls;
    });
}

// A frame put on the line reaches the Receive Detail list.
bool FrameArrives(HWND detail, std::initializer_list<uint8_t> bytes, const char* line)
{
    std::vector<uint8_t> data(bytes);
    if (test::SimInject(kAdapter, data) != INJECT_QUEUED)
        return false;
    return WaitUntil([&] {
        std::vector<std::string> lines = ListLines(GetDlgItem(detail, IDC_RDETAIL_LIST));
        return !lines.empty() && lines.back() == line;
    });
}

// A closed session made whole again: configuration set, device open,
// receive monitor running and receiving.
void Reopen(Monitor& monitor)
{
    ASSERT_TRUE(monitor.ConfigureDevice());
    ASSERT_TRUE(monitor.OpenDevice());
    HWND detail = monitor.EnableCommunications();
    ASSERT_NE(detail, nullptr);
    EXPECT_TRUE(FrameArrives(detail, {0xA5, 0x5A}, "0x00     2  A5 5A "));
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::SimCable(kAdapter, CABLE_NONE));
        ASSERT_NO_FATAL_FAILURE(OpenFullSession(monitor_));
        detail_ = monitor_.WaitForBox("Receive Detail");
        ASSERT_TRUE(FrameArrives(detail_, {0x7E, 0x01, 0xFF}, "0x00     3  7E 01 FF "));
    }
    void TearDown() override
    {
        test::SimFault(kAdapter, kAnyCommand, FAULT_RETURN_CODE, 0, 0);
        test::SimPlug(kAdapter, true);
        EXPECT_TRUE(monitor_.Healthy());
        EXPECT_EQ(monitor_.Exit(), 0u);
    }

    Monitor monitor_;
    HWND detail_ = nullptr;
};

TEST_F(Faults, TheAdapterPulledOutUnderTheReceiveMonitorAndPolls)
{
    HWND send = StartSendMany(monitor_);
    ASSERT_NE(send, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return EndsWith(ControlText(send, IDC_DENTRY_STATUS), "RC 0x00"); }));
    HWND links = monitor_.Child("LMTR_LINKS");
    ASSERT_TRUE(WaitUntil([&] { return ControlText(links, IDC_LSTAT_CHANNEL_STATUS) == "ENABLED"; }));

    ASSERT_TRUE(test::SimPlug(kAdapter, false));
    // Every poll and every streamed frame now fails; the frame is offered
    // again at each poll under the same number.
    EXPECT_TRUE(WaitUntil([&] { return monitor_.PollText(IDC_POLLS_RESULT) == "0xAA"; }));
    EXPECT_TRUE(WaitUntil([&] { return EndsWith(ControlText(send, IDC_DENTRY_STATUS), "RC 0xAA"); }));
    const std::string refused = ControlText(send, IDC_DENTRY_STATUS);
    const int ticks = 3;
    for (int i = 0; i < ticks; ++i) {
        // The tick indicator keeps toggling: polls go on.
        DWORD_PTR before = 0;
        SendMessageTimeoutA(GetDlgItem(monitor_.Polls(), IDC_POLLS_TICK_INDICATOR), BM_GETCHECK, 0, 0, SMTO_NORMAL, 10000,
                            &before);
        EXPECT_TRUE(WaitUntil([&] {
            DWORD_PTR now = 0;
            SendMessageTimeoutA(GetDlgItem(monitor_.Polls(), IDC_POLLS_TICK_INDICATOR), BM_GETCHECK, 0, 0, SMTO_NORMAL,
                                10000, &now);
            return now != before;
        }));
    }
    EXPECT_EQ(ControlText(send, IDC_DENTRY_STATUS), refused);
    EXPECT_EQ(ControlText(links, IDC_LSTAT_CHANNEL_STATUS), "ENABLED") << "a failed poll keeps the display";
    EXPECT_TRUE(IsWindow(detail_)) << "the Receive Detail window stays until communications are disabled";
    EXPECT_TRUE(monitor_.Healthy());
    EXPECT_TRUE(Capture(monitor_.Main(), "faults_unplugged"));

    // Plugged in again the adapter is as at power-on: polls answer, the
    // channel is disabled and holds no configuration.
    Press(send, IDC_DENTRY_START_STOP);
    ASSERT_TRUE(test::SimPlug(kAdapter, true));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(links, IDC_LSTAT_CHANNEL_STATUS) == "DISABLED"; }));
    EXPECT_TRUE(WaitUntil([&] { return monitor_.PollText(IDC_POLLS_RESULT) == "0x00"; }));

    // The operator's way back: disable, close, configure, open, enable.
    monitor_.Menu(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(detail_) && !IsWindow(send); }));
    monitor_.Menu(IDM_CLOSE_DEVICE);
    ASSERT_TRUE(monitor_.WaitForStatus("Closed"));
    Reopen(monitor_);
}

TEST_F(Faults, TheServiceStoppedUnderAnOpenSession)
{
    EXPECT_TRUE(RunToEnd("net.exe stop Zurezi6"));
    SimStatus status{};
    const bool stopped = !test::SimStatusOf(status);
    EXPECT_TRUE(stopped) << "net stop did not stop the driver";

    // The session's handles lead nowhere now; polls fail and show it.
    EXPECT_TRUE(WaitUntil([&] { return monitor_.PollText(IDC_POLLS_RESULT) == "0xAA"; }))
        << monitor_.PollText(IDC_POLLS_RESULT);
    EXPECT_TRUE(monitor_.Healthy());
    EXPECT_TRUE(WaitUntil([&] { return monitor_.PollText(IDC_POLLS_RESULT) == "0xAA" && monitor_.Healthy(); }));

    ASSERT_TRUE(RunToEnd("net.exe start Zurezi6"));
    ASSERT_TRUE(WaitUntil([&] { return test::SimStatusOf(status); }));
    EXPECT_TRUE(monitor_.Healthy());

    // The old handles stay dead. Closing the device cannot get its
    // DISABLE_COMMS through, so the Receive Detail window stays; once a new
    // session runs, "&Disable Communications" carries it and closes it.
    monitor_.Menu(IDM_CLOSE_DEVICE);
    ASSERT_TRUE(monitor_.WaitForStatus("Closed"));
    EXPECT_TRUE(IsWindow(detail_));
    ASSERT_TRUE(monitor_.ConfigureDevice());
    ASSERT_TRUE(monitor_.OpenDevice());
    EXPECT_TRUE(WaitUntil([&] { return monitor_.PollText(IDC_POLLS_RESULT) == "0x00"; }));
    monitor_.Menu(IDM_DISABLE_COMMUNICATIONS);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(detail_); }));
    HWND detail = monitor_.EnableCommunications();
    ASSERT_NE(detail, nullptr);
    EXPECT_TRUE(FrameArrives(detail, {0xA5, 0x5A}, "0x00     2  A5 5A "));
}

struct BadAnswer {
    const char* name;
    uint8_t kind;
    uint8_t return_code;
    const char* shown;
};

constexpr BadAnswer kBadAnswers[] = {
    {"no response code", FAULT_RETURN_CODE, NO_RESPONSE_CODE, "0xAA"},
    {"timeout code", FAULT_RETURN_CODE, TIMEOUT_CODE, "0x7F"},
    {"block left unanswered", FAULT_NO_ANSWER, 0, "0xAA"},
    {"failed call", FAULT_FAIL_CALL, 0, "0xAA"},
};

TEST_F(Faults, EveryCommandAnsweredBadlyForAWhile)
{
    HWND send = StartSendMany(monitor_);
    ASSERT_NE(send, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return EndsWith(ControlText(send, IDC_DENTRY_STATUS), "RC 0x00"); }));
    HWND stats = monitor_.Child("LMTR_OPSTATS");

    for (const BadAnswer& bad : kBadAnswers) {
        SCOPED_TRACE(bad.name);
        ASSERT_TRUE(test::SimFault(kAdapter, kAnyCommand, bad.kind, bad.return_code, 1000000));
        EXPECT_TRUE(WaitUntil([&] {
            return monitor_.PollText(IDC_POLLS_RESULT) == bad.shown && monitor_.PollText(IDC_POLLS_ACTIVE_RESULT) == bad.shown;
        })) << monitor_.PollText(IDC_POLLS_RESULT) << " " << monitor_.PollText(IDC_POLLS_ACTIVE_RESULT);
        EXPECT_TRUE(WaitUntil([&] { return EndsWith(ControlText(send, IDC_DENTRY_STATUS), std::string("RC ") + bad.shown); }));
        const std::string counters = ControlText(stats, IDC_STATS_FIRST_COUNTER + 1);
        const std::string refused = ControlText(send, IDC_DENTRY_STATUS);
        EXPECT_TRUE(PollsGoOn(kAdapter, LastSequence(kAdapter), 3));
        EXPECT_TRUE(monitor_.Healthy());
        EXPECT_EQ(ControlText(stats, IDC_STATS_FIRST_COUNTER + 1), counters) << "a failed poll keeps the display";
        EXPECT_EQ(ControlText(send, IDC_DENTRY_STATUS), refused) << "a refused frame is offered again";

        ASSERT_TRUE(test::SimFault(kAdapter, kAnyCommand, bad.kind, 0, 0));
        EXPECT_TRUE(WaitUntil([&] { return EndsWith(ControlText(send, IDC_DENTRY_STATUS), "RC 0x00"); }));
        EXPECT_TRUE(WaitUntil([&] { return monitor_.PollText(IDC_POLLS_ACTIVE_RESULT) == "Success"; }));
    }
    // The receive side was never touched by the command faults.
    Press(send, IDC_DENTRY_START_STOP);
    EXPECT_TRUE(FrameArrives(detail_, {0x01, 0x02}, "0x00     2  01 02 "));
}

}  // namespace
}  // namespace qz6::e2e
