// The polling engine: timer, loop counting, modal loops, suspend and
// "Poll Now", reaching monitor windows and then the Send Frames window.
#include <windows.h>

#include <gtest/gtest.h>

#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {
namespace {

bool TickIndicatorSet()
{
    return PollingTickChecked();
}

class TimerPolling : public MonitorTest {
protected:
    const char* Settings() const override { return "[Polling]\r\ntick_interval_ms=20\r\n"; }
};

TEST_F(TimerPolling, NoDeviceNoPolls)
{
    CreatePollProbe();
    const uint32_t counter = g_monitor.tick_counter;
    PumpFor(200);
    Command(IDM_POLL_NOW);
    EXPECT_EQ(PollProbeCount(), 0);
    EXPECT_EQ(g_monitor.tick_counter, counter);
    EXPECT_FALSE(TickIndicatorSet());
}

TEST_F(TimerPolling, TimerDrivesPollsWhileADeviceIsOpen)
{
    ASSERT_TRUE(g_monitor.timer_active);
    CreatePollProbe();
    g_monitor.device_open = true;
    PumpFor(400);
    EXPECT_GE(PollProbeCount(), 3);
    // The indicator flips once per poll.
    EXPECT_EQ(TickIndicatorSet(), PollProbeCount() % 2 == 1);
}

TEST_F(TimerPolling, SuspendStopsTimerPollsButNotPollNow)
{
    CreatePollProbe();
    g_monitor.device_open = true;
    Command(IDM_SUSPEND_POLLING);
    EXPECT_TRUE(MenuItemChecked(IDM_SUSPEND_POLLING));
    PumpFor(200);
    EXPECT_EQ(PollProbeCount(), 0);
    Command(IDM_POLL_NOW);
    EXPECT_EQ(PollProbeCount(), 1);
    EXPECT_TRUE(TickIndicatorSet());
    Command(IDM_SUSPEND_POLLING);
    EXPECT_FALSE(MenuItemChecked(IDM_SUSPEND_POLLING));
    PumpFor(200);
    EXPECT_GE(PollProbeCount(), 2);
}

TEST_F(TimerPolling, MonitorWindowsFirstThenSendFrames)
{
    CreatePollProbe();
    HWND stand_in = CreateSendFramesStandIn();
    g_monitor.send_frames_window = stand_in;
    g_monitor.device_open = true;
    Command(IDM_SUSPEND_POLLING);
    ResetPollLog();
    Command(IDM_POLL_NOW);
    Command(IDM_POLL_NOW);
    EXPECT_EQ(PollOrder(), "PSPS");
    g_monitor.send_frames_window = nullptr;
    DestroyWindow(stand_in);
}

TEST_F(TimerPolling, APollFollowsTheWindowsAsTheyAreNowStacked)
{
    HWND first = CreatePollProbe('A');
    HWND second = CreatePollProbe('B');
    g_monitor.device_open = true;
    Command(IDM_SUSPEND_POLLING);
    auto raise = [](HWND window) { SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); };
    raise(first);
    ResetPollLog();
    Command(IDM_POLL_NOW);
    raise(second);
    Command(IDM_POLL_NOW);
    DestroyWindow(second);
    Command(IDM_POLL_NOW);
    HWND third = CreatePollProbe('C');
    raise(third);
    Command(IDM_POLL_NOW);
    EXPECT_EQ(PollOrder(), "AB" "BA" "A" "CA");
    DestroyWindow(first);
    DestroyWindow(third);
}

class LoopCounting : public MonitorTest {
protected:
    const char* Settings() const override { return "[Polling]\r\ntick_interval=1\r\nuse_system_timer=0\r\n"; }
};

TEST_F(LoopCounting, EveryPassCountsAndEveryThousandthPolls)
{
    ASSERT_FALSE(g_monitor.timer_active);
    ASSERT_EQ(g_monitor.ticks_per_poll, 1000u);
    CreatePollProbe();
    g_monitor.device_open = true;
    const uint32_t before = g_monitor.tick_counter;
    Pump(5000);
    EXPECT_EQ(g_monitor.tick_counter - before, 5000u);
    EXPECT_EQ(PollProbeCount(), static_cast<int>(g_monitor.tick_counter / 1000 - before / 1000));
    EXPECT_EQ(PollProbeCount(), 5);
}

TEST_F(LoopCounting, NothingIsCountedWithoutADevice)
{
    CreatePollProbe();
    PumpFor(100);
    EXPECT_EQ(g_monitor.tick_counter, 0u);
    EXPECT_EQ(PollProbeCount(), 0);
}

TEST_F(LoopCounting, CountingGoesOnWhileAModalDialogIsOpen)
{
    CreatePollProbe();
    g_monitor.device_open = true;
    bool polled_while_open = false;
    Operator user([&](DWORD gui) {
        HWND dialog = WaitForDialog(gui, "Streaming Monitor Configuration");
        if (dialog == nullptr)
            return;
        const int at_open = PollProbeCount();
        polled_while_open = WaitUntil([&] { return PollProbeCount() >= at_open + 3; });
        PressButton(dialog, IDCANCEL);
    });
    Command(IDM_CONFIGURE);
    user.Join();
    EXPECT_TRUE(polled_while_open);
}

TEST_F(LoopCounting, CountingGoesOnWhileAMenuIsOpen)
{
    CreatePollProbe();
    g_monitor.device_open = true;
    bool menu_was_open = false;
    bool polled_while_open = false;
    Operator user([&](DWORD gui) {
        GUITHREADINFO info = {sizeof info};
        menu_was_open = WaitUntil([&] { return GetGUIThreadInfo(gui, &info) && (info.flags & GUI_INMENUMODE); });
        const int at_open = PollProbeCount();
        polled_while_open = WaitUntil([&] { return PollProbeCount() >= at_open + 3; });
        PostMessageA(main_, WM_CANCELMODE, 0, 0);
    });
    PostMessageA(main_, WM_SYSCOMMAND, SC_KEYMENU, 'f');
    PumpFor(300);
    user.Join();
    EXPECT_TRUE(menu_was_open);
    EXPECT_TRUE(polled_while_open);
}

TEST_F(LoopCounting, MinimisedPollingWindowHoldsItsIndicator)
{
    g_monitor.device_open = true;
    Command(IDM_SUSPEND_POLLING);
    Command(IDM_POLL_NOW);
    EXPECT_TRUE(TickIndicatorSet());
    ShowWindow(g_monitor.polling_window, SW_MINIMIZE);
    Command(IDM_POLL_NOW);
    Command(IDM_POLL_NOW);
    Command(IDM_POLL_NOW);
    EXPECT_TRUE(TickIndicatorSet());
    OpenIcon(g_monitor.polling_window);
    Command(IDM_POLL_NOW);
    EXPECT_FALSE(TickIndicatorSet());
    Command(IDM_POLL_NOW);
    EXPECT_TRUE(TickIndicatorSet());
}

}  // namespace
}  // namespace qz6::mon::test
