// Modem Status: the DCD and CTS input lines. Both are rewritten whenever
// any bit of the modem byte changed.
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
    g_monitor.modem_lines_shown = kModemLinesStart;
    BringWindowToTop(window);
    return TRUE;
}

void OnPollTick(HWND window)
{
    if (ExecuteCommandWithoutData(READ_DCD_CTS) != RETURN_SUCCESS)
        return;
    const ModemLinesReply reply = DecodeModemLinesReply(g_monitor.command_block);
    if (!UpdateModemLinesShown(g_monitor.modem_lines_shown, reply))
        return;
    SetControlText(window, IDC_MODEMS_DCD, LineLevelText(reply.modem_lines, MODEM_LINE_DCD));
    SetControlText(window, IDC_MODEMS_CTS, LineLevelText(reply.modem_lines, MODEM_LINE_CTS));
}

}  // namespace

LRESULT CALLBACK ModemStatusWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, IDM_MODEM_STATUS);
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
