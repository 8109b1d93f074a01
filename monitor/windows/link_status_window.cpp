// Link Status: channel state, frames queued, interrupt byte. Each control
// is rewritten only when the value behind it changed.
#include "monitor/channel/command_channel.h"
#include "monitor/channel/replies.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/data_window_text.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

LRESULT OnInitDialog(HWND window)
{
    g_monitor.link_status_shown = LinkStatusShown{};
    BringWindowToTop(window);
    return TRUE;
}

void OnPollTick(HWND window)
{
    if (ExecuteCommandWithoutData(READ_STATUS) != RETURN_SUCCESS)
        return;  // the last values stay on display
    const StatusReply reply = DecodeStatusReply(g_monitor.command_block);
    const uint8_t changed = UpdateLinkStatusShown(g_monitor.link_status_shown, reply);
    NumberText text;
    if (changed & kChannelStatusChanged)
        SetControlText(window, IDC_LSTAT_CHANNEL_STATUS, ChannelStatusText(reply.channel_status));
    if (changed & kFramesQueuedChanged)
        SetControlText(window, IDC_LSTAT_FRAMES_QUEUED, FormatDecimal(reply.rx_frames_queued, text));
    if (changed & kInterruptByteChanged)
        SetControlText(window, IDC_LSTAT_INTERRUPT_BYTE, FormatHexByte(reply.interrupt_pending, text));
}

}  // namespace

LRESULT CALLBACK LinkStatusWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, IDM_LINK_STATUS);
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_POLL_TICK:
        OnPollTick(window);
        break;
    default:
        break;
    }
    return DefDlgProcA(window, message, wparam, lparam);
}

}  // namespace qz6::mon
