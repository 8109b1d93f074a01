// "Polling and Device Info": the tick indicator, the last command and its
// result (written by the command channel), the device's name and state.
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/data_window_text.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

// A new window starts with empty command fields, and no mirror note can
// be on its way to it.
LRESULT OnInitDialog(HWND window)
{
    g_monitor.polling_mirror = PollingMirror{};
    BringWindowToTop(window);
    return TRUE;
}

// The indicator flips once per poll, so it completes a cycle every second
// poll; a minimised window leaves it where it is.
void OnPollTick(HWND window)
{
    if (IsIconic(window))
        return;
    g_monitor.polling_mirror.tick_checked = !g_monitor.polling_mirror.tick_checked;
    NotePollingMirrorChanged();
}

}  // namespace

void NotePollingMirrorChanged()
{
    PollingMirror& mirror = g_monitor.polling_mirror;
    if (!mirror.update_posted)
        mirror.update_posted = PostMessageA(g_monitor.polling_window, WM_MIRROR_UPDATE, 0, 0) != FALSE;
}

void ShowPollingMirror()
{
    PollingMirror& mirror = g_monitor.polling_mirror;
    mirror.update_posted = false;
    if (!MonitorWindowIsOpen(IDM_POLLING_WINDOW))
        return;
    HWND window = g_monitor.polling_window;
    SetControlText(window, IDC_POLLS_COMMAND, mirror.command);
    SetControlText(window, IDC_POLLS_RESULT, mirror.result);
    if (mirror.active_result_changed)
        SetControlText(window, IDC_POLLS_ACTIVE_RESULT, mirror.active_result);
    mirror.active_result_changed = false;
    const WPARAM tick = mirror.tick_checked ? BST_CHECKED : BST_UNCHECKED;
    if (static_cast<WPARAM>(SendDlgItemMessageA(window, IDC_POLLS_TICK_INDICATOR, BM_GETCHECK, 0, 0)) != tick)
        SendDlgItemMessageA(window, IDC_POLLS_TICK_INDICATOR, BM_SETCHECK, tick, 0);
}

LRESULT CALLBACK PollingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    FilterMonitorWindowMessage(window, message, wparam, lparam, IDM_POLLING_WINDOW);
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(window);
    case WM_POLL_TICK:
        OnPollTick(window);
        break;
    case WM_MIRROR_UPDATE:
        ShowPollingMirror();
        break;
    default:
        break;
    }
    return DefDlgProcA(window, message, wparam, lparam);
}

}  // namespace qz6::mon
