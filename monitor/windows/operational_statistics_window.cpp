// Operational Statistics: the adapter's traffic counters. A poll compares
// the whole reply block with the one on display and rewrites every counter
// when anything differs.
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
    MarkSavedBlockStale(g_monitor.saved_statistics);
    BringWindowToTop(window);
    return TRUE;
}

// The zeroed counters show at the next poll; the result is seen only in
// the Polling window.
void OnFlush()
{
    CommandBlock& block = g_monitor.command_block;
    block.command = ZERO_STATISTICS;
    block.data_length = 0;
    ExecuteCommand(block);
}

void OnPollTick(HWND window)
{
    // Cleared first, so that the comparison does not depend on what other
    // commands left in the block.
    CommandBlock& block = g_monitor.command_block;
    ClearCommandBlock(block);
    block.data_length = 0;
    block.command = READ_STATISTICS;
    ExecuteCommand(block);
    if (JudgeStatisticsPoll(block, g_monitor.saved_statistics) != StatisticsPoll::Redraw)
        return;
    CopyCommandBlock(g_monitor.saved_statistics, block);
    const CounterDisplayList counters = OperationalCounterDisplay(block);
    NumberText text;
    for (size_t i = 0; i < counters.count; ++i)
        SetControlText(window, counters.items[i].control, FormatDecimal(counters.items[i].value, text));
}

}  // namespace

LRESULT CALLBACK OperationalStatisticsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, IDM_OPERATIONAL_STATISTICS);
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_MONITOR_FLUSH)
            OnFlush();
        break;
    case WM_POLL_TICK:
        OnPollTick(window);
        break;
    default:
        break;
    }
    return DefDlgProcA(window, message, wparam, lparam);
}

}  // namespace qz6::mon
