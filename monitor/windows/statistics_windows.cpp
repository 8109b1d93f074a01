// The two statistics windows: Operational Statistics (the adapter's traffic
// counters) and Communications Error Statistics (the line's error counters).
// Both read their counters on every poll, compare the whole reply block with
// the one on display and rewrite every counter when anything differs; both
// zero the adapter's counters with "&FLUSH". They differ only in the row
// below.
#include "monitor/channel/command_channel.h"
#include "monitor/channel/replies.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/data_window_text.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

struct StatisticsKind {
    uint16_t menu_item;
    uint8_t read_command;
    uint8_t zero_command;
    CommandBlock MonitorState::*saved;  // the reply on display
    CounterDisplayList (*counters)(const CommandBlock& block);
};

constexpr StatisticsKind kOperationalStatistics = {
    IDM_OPERATIONAL_STATISTICS, READ_STATISTICS, ZERO_STATISTICS, &MonitorState::saved_statistics,
    OperationalCounterDisplay};
constexpr StatisticsKind kCommErrorStatistics = {
    IDM_COMM_ERROR_STATISTICS, READ_COMM_ERRORS, ZERO_COMM_ERRORS, &MonitorState::saved_comm_errors,
    CommErrorCounterDisplay};

LRESULT OnInitDialog(const StatisticsKind& kind, HWND window)
{
    MarkSavedBlockStale(g_monitor.*kind.saved);
    BringWindowToTop(window);
    return TRUE;
}

// The zeroed counters show at the next poll; the result is seen only in
// the Polling window.
void OnFlush(const StatisticsKind& kind)
{
    ExecuteCommandWithoutData(kind.zero_command);
}

void OnPollTick(const StatisticsKind& kind, HWND window)
{
    // Cleared first, so that the comparison does not depend on what other
    // commands left in the block.
    CommandBlock& block = g_monitor.command_block;
    ClearCommandBlock(block);
    ExecuteCommandWithoutData(kind.read_command);
    CommandBlock& saved = g_monitor.*kind.saved;
    if (JudgeStatisticsPoll(block, saved) != StatisticsPoll::Redraw)
        return;
    CopyCommandBlock(saved, block);
    const CounterDisplayList counters = kind.counters(block);
    NumberText text;
    for (size_t i = 0; i < counters.count; ++i)
        SetControlText(window, counters.items[i].control, FormatDecimal(counters.items[i].value, text));
}

LRESULT StatisticsWindowProc(const StatisticsKind& kind, HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, kind.menu_item);
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(kind, window);
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_MONITOR_FLUSH)
            OnFlush(kind);
        break;
    case WM_POLL_TICK:
        OnPollTick(kind, window);
        break;
    default:
        break;
    }
    return DefDlgProcA(window, message, wparam, lparam);
}

}  // namespace

LRESULT CALLBACK OperationalStatisticsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return StatisticsWindowProc(kOperationalStatistics, window, message, wparam, lparam);
}

LRESULT CALLBACK CommErrorStatisticsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return StatisticsWindowProc(kCommErrorStatistics, window, message, wparam, lparam);
}

}  // namespace qz6::mon
