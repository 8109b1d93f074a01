// Operational Statistics: the adapter's traffic counters.
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

LRESULT OnInitDialog(HWND window)
{
    BringWindowToTop(window);
    return TRUE;
}

}  // namespace

LRESULT CALLBACK OperationalStatisticsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, IDM_OPERATIONAL_STATISTICS);
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    default:
        break;
    }
    return DefDlgProcA(window, message, wparam, lparam);
}

}  // namespace qz6::mon
