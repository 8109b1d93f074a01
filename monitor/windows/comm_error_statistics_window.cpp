// Communications Error Statistics: the line's error counters, redrawn
// like the operational ones whenever any byte of the reply block changed.
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
    MarkSavedBlockStale(g_monitor.saved_comm_errors);
    BringWindowToTop(window);
    return TRUE;
}

void OnFlush()
{
    CommandBlock& block = g_monitor.command_block;
    block.command = ZERO_COMM_ERRORS;
    block.data_length = 0;
    ExecuteCommand(block);
}

void OnPollTick(HWND window)
{
    CommandBlock& block = g_monitor.command_block;
    ClearCommandBlock(block);
    block.data_length = 0;
    block.command = READ_COMM_ERRORS;
    ExecuteCommand(block);
    if (JudgeStatisticsPoll(block, g_monitor.saved_comm_errors) != StatisticsPoll::Redraw)
        return;
    CopyCommandBlock(g_monitor.saved_comm_errors, block);
    const CounterDisplayList counters = CommErrorCounterDisplay(block);
    NumberText text;
    for (size_t i = 0; i < counters.count; ++i)
        SetControlText(window, counters.items[i].control, FormatDecimal(counters.items[i].value, text));
}

}  // namespace

LRESULT CALLBACK CommErrorStatisticsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, IDM_COMM_ERROR_STATISTICS);
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
