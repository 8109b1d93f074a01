#include "monitor/frame/polling.h"

#include "common/win32/message_box.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/poll_schedule.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

constexpr UINT_PTR kPollingTimerId = 0;

}  // namespace

void Poll(bool forced)
{
    if (!AdvancePollClock(g_monitor.tick_counter, g_monitor.ticks_per_poll, g_monitor.device_open,
                          g_monitor.polling_suspended, forced))
        return;
    BroadcastToMonitorWindows(WM_POLL_TICK, 0);
    if (g_monitor.send_frames_window != nullptr)
        SendMessageA(g_monitor.send_frames_window, WM_POLL_TICK, 0, 0);
}

void InstallPollingTimer()
{
    g_monitor.timer_active =
        SetTimer(g_monitor.main_window, kPollingTimerId, g_monitor.timer_period_ms, nullptr) != 0;
    if (!g_monitor.timer_active)
        ShowMessageBox(g_monitor.main_window,
                       "Unable to install a system timer for polling as requested.  "
                       "Standard loop counting will be used during this session.",
                       "Resource Unavailable (Non-Fatal)", MB_OK | MB_ICONWARNING);
}

void KillPollingTimer()
{
    if (g_monitor.timer_active)
        KillTimer(g_monitor.main_window, kPollingTimerId);
    g_monitor.timer_active = false;
}

void PollWhileModal(HWND idle_window)
{
    // Only nudge while passes are being counted: otherwise the modal loop
    // would spin for nothing.
    if (!IdlePassCounts(g_monitor.idle_polling_stopped, g_monitor.timer_active, g_monitor.device_open))
        return;
    Poll(false);
    PostMessageA(idle_window, WM_IDLE_NUDGE, 0, 0);
}

}  // namespace qz6::mon
