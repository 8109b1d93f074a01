// CONFIG: the polling intervals and the system timer.
#include "common/win32/message_box.h"
#include "monitor/frame/dialogs.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/polling.h"
#include "monitor/frame/settings.h"
#include "monitor/frame/settings_rules.h"
#include "monitor/frame/system_close.h"
#include "monitor/resources/resource_ids.h"

namespace qz6::mon {
namespace {

void OnInitDialog(HWND dialog)
{
    SetDlgItemInt(dialog, IDC_CONFIG_TICK_INTERVAL, TickFieldValue(g_monitor.ticks_per_poll), FALSE);
    SetDlgItemInt(dialog, IDC_CONFIG_TIMER_PERIOD, g_monitor.timer_period_ms, FALSE);
    if (g_monitor.use_timer) {
        SetDlgItemTextA(dialog, IDC_CONFIG_TIMER_STATE, g_monitor.timer_active ? "(Active)" : "(Unavailable)");
        CheckDlgButton(dialog, IDC_CONFIG_ENABLE_TIMER, BST_CHECKED);
    }
}

// The steps before the validation stay done when it fails: the timer stays
// killed until the dialog is confirmed with valid values.
void OnOk(HWND dialog)
{
    if (g_monitor.use_timer && g_monitor.timer_active)
        KillPollingTimer();
    g_monitor.use_timer = IsDlgButtonChecked(dialog, IDC_CONFIG_ENABLE_TIMER) == BST_CHECKED;

    const uint32_t timer_period = GetDlgItemInt(dialog, IDC_CONFIG_TIMER_PERIOD, nullptr, FALSE);
    if (timer_period <= kIntervalMax)
        g_monitor.timer_period_ms = static_cast<uint16_t>(timer_period);
    const uint32_t tick_value = GetDlgItemInt(dialog, IDC_CONFIG_TICK_INTERVAL, nullptr, FALSE);

    if (!PollingEntriesValid(tick_value, timer_period, g_monitor.use_timer)) {
        // Owned by the main window, like every failure box: its idle
        // notifications keep polling going while it waits, and OK has just
        // killed the timer.
        ShowMessageBox(g_monitor.main_window, "Polling intervals must be in the range of 1 to 65535!",
                       "Configuration Entry(s) Invalid", MB_OK | MB_ICONERROR);
        return;
    }

    g_monitor.ticks_per_poll = TicksPerPoll(tick_value);
    SaveTickInterval(tick_value);
    SaveTimerPeriod(g_monitor.timer_period_ms);
    SaveUseTimer(g_monitor.use_timer);
    if (g_monitor.use_timer)
        InstallPollingTimer();
    EndDialog(dialog, 1);
}

}  // namespace

void RunPollingConfigurationDialog()
{
    DialogBoxParamA(g_monitor.instance, QZ6MON_CONFIG_TEMPLATE, g_monitor.main_window, PollingConfigurationDialog, 0);
}

INT_PTR CALLBACK PollingConfigurationDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            OnOk(dialog);
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_SYSCOMMAND:
        return IsSystemClose(wparam) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

}  // namespace qz6::mon
