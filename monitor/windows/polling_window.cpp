// "Polling and Device Info": the tick indicator, the last command and its
// result (written by the command channel), the device's name and state.
#include "monitor/frame/messages.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

LRESULT OnInitDialog(HWND window)
{
    BringWindowToTop(window);
    return TRUE;
}

// The indicator flips once per poll, so it completes a cycle every second
// poll; a minimised window leaves it where it is.
void OnPollTick(HWND window)
{
    if (IsIconic(window))
        return;
    const LRESULT state = SendDlgItemMessageA(window, IDC_POLLS_TICK_INDICATOR, BM_GETCHECK, 0, 0);
    SendDlgItemMessageA(window, IDC_POLLS_TICK_INDICATOR, BM_SETCHECK, state == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

LRESULT CALLBACK PollingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, IDM_POLLING_WINDOW);
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
