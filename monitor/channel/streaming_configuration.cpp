// "Configure &Device" with its SETCONFIG dialog, and the "&Streaming" view.
#include "monitor/channel/streaming_configuration.h"
#include "monitor/frame/system_close.h"

#include <windows.h>

#include "common/win32/message_box.h"
#include "monitor/channel/command_channel.h"
#include "monitor/channel/configuration_codec.h"
#include "monitor/channel/device_session.h"
#include "monitor/channel/session_rules.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

// Room for the 79 characters of a baud entry and its terminator.
constexpr int kBaudEntrySize = 80;

void CheckBox(HWND dialog, int id, bool checked)
{
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool BoxChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// ---- SETCONFIG ------------------------------------------------------------------------
void ShowConfigurationToSend(HWND dialog)
{
    const SetConfigControls controls = ControlsFromConfiguration(g_monitor.configuration_to_send);
    for (unsigned i = 0; i < kModemOptionBoxes; ++i)
        CheckBox(dialog, IDC_SETCONFIG_FIRST_MODEM_OPTION + static_cast<int>(i), controls.modem_options[i]);
    CheckBox(dialog, IDC_SETCONFIG_PASS_CRC, controls.pass_crc_bytes);
    for (unsigned i = 0; i < kStatisticsOptionBoxes; ++i)
        CheckBox(dialog, IDC_SETCONFIG_FIRST_STATISTICS_OPTION + static_cast<int>(i), controls.statistics_options[i]);
    char baud[kBaudTextSize];
    FormatBaudRate(controls.baud_rate, baud);
    SetDlgItemTextA(dialog, IDC_SETCONFIG_BAUD, baud);
    CheckRadioButton(dialog, IDC_SETCONFIG_RS232, IDC_SETCONFIG_RS485,
                     controls.rs232 ? IDC_SETCONFIG_RS232 : IDC_SETCONFIG_RS485);
    SetDlgItemInt(dialog, IDC_SETCONFIG_FRAME_SIZE, controls.max_frame_size, FALSE);
    SetDlgItemInt(dialog, IDC_SETCONFIG_PERCENT_TX, controls.percent_tx_buffers, FALSE);
}

ConfigurationToSend ReadConfigurationEntries(HWND dialog)
{
    SetConfigEntries entries = {};
    for (unsigned i = 0; i < kModemOptionBoxes; ++i)
        entries.modem_options[i] = BoxChecked(dialog, IDC_SETCONFIG_FIRST_MODEM_OPTION + static_cast<int>(i));
    for (unsigned i = 0; i < kStatisticsOptionBoxes; ++i)
        entries.statistics_options[i] = BoxChecked(dialog, IDC_SETCONFIG_FIRST_STATISTICS_OPTION + static_cast<int>(i));
    entries.pass_crc_bytes = BoxChecked(dialog, IDC_SETCONFIG_PASS_CRC);
    entries.rs232 = BoxChecked(dialog, IDC_SETCONFIG_RS232);
    char baud[kBaudEntrySize] = {};
    GetDlgItemTextA(dialog, IDC_SETCONFIG_BAUD, baud, kBaudEntrySize);
    entries.baud_text = baud;
    entries.max_frame_size_entry = GetDlgItemInt(dialog, IDC_SETCONFIG_FRAME_SIZE, nullptr, FALSE);
    entries.percent_entry = GetDlgItemInt(dialog, IDC_SETCONFIG_PERCENT_TX, nullptr, FALSE);
    return ConfigurationFromEntries(entries);
}

// Only the two push buttons end the dialog: the keyboard's OK and Cancel
// and the system Close command are ignored.
INT_PTR CALLBACK SetConfigDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowConfigurationToSend(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_SETCONFIG_OK) {
            g_monitor.configuration_to_send = ReadConfigurationEntries(dialog);
            EndDialog(dialog, 1);
        } else if (LOWORD(wparam) == IDC_SETCONFIG_CANCEL) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    case WM_SYSCOMMAND:
        return IsSystemClose(wparam) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

// ---- Writing the configuration ----------------------------------------------------------
// One SET_CONFIGURATION with the configuration to send; its return code.
uint8_t SendConfigurationOnce()
{
    FillSetConfigurationRequest(g_monitor.command_block, g_monitor.configuration_to_send);
    return ExecuteCommand(g_monitor.command_block);
}

bool AskConfigurationRetry(uint8_t code)
{
    char text[kSessionTextSize];
    SetConfigurationErrorText(code, text);
    return ShowMessageBox(g_monitor.main_window, text, "Configuration Error", MB_ICONEXCLAMATION | MB_RETRYCANCEL) ==
           IDRETRY;
}

// The operator decides how often to retry; there is no limit.
void SendConfigurationUntilAcceptedOrCancelled()
{
    for (;;) {
        const uint8_t code = SendConfigurationOnce();
        if (code == RETURN_SUCCESS || !AskConfigurationRetry(code))
            return;
    }
}

// ---- The view -----------------------------------------------------------------------------
void ShowSavedConfiguration(HWND dialog)
{
    const StreamingConfiguration configuration = DecodeStreamingConfiguration(g_monitor.saved_configuration);
    for (unsigned i = 0; i < kConfigurationViewFields; ++i) {
        char text[kViewFieldSize];
        ConfigurationViewField(configuration, i, text);
        SetDlgItemTextA(dialog, IDC_STREAMVIEW_FIRST_FIELD + static_cast<int>(i), text);
    }
    char title[kViewTitleSize];
    StreamingViewTitle(g_monitor.version_text, title);
    SetWindowTextA(dialog, title);
}

// OK (also the keyboard's) and the system Close command end it; the
// keyboard's Cancel does not.
INT_PTR CALLBACK StreamingViewDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowSavedConfiguration(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK)
            EndDialog(dialog, IDOK);
        return TRUE;
    case WM_SYSCOMMAND:
        if (!IsSystemClose(wparam))
            return FALSE;
        EndDialog(dialog, IDOK);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void ConfigureDevice()
{
    if (g_monitor.device_open)
        return;  // the session's handle is in use
    // 1 only after OK; a dialog that could not be shown sends nothing.
    if (DialogBoxParamA(g_monitor.instance, QZ6MON_SETCONFIG_TEMPLATE, g_monitor.main_window, SetConfigDialogProc,
                        0) != 1)
        return;

    OpenMonitorWindow(MonitorKind::Polling);
    ShowPollingStatus("Opening...");
    g_monitor.device_handle = OpenDeviceHandle();
    if (g_monitor.device_handle == INVALID_HANDLE_VALUE) {
        ShowOpenError(GetLastError());
    } else {
        ShowPollingStatus("Configuring...");
        SendConfigurationUntilAcceptedOrCancelled();
        CloseHandle(g_monitor.device_handle);
    }
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    ShowDeviceInfo();
}

void ShowStreamingConfiguration()
{
    DialogBoxParamA(g_monitor.instance, QZ6MON_STREAMVIEW_TEMPLATE, g_monitor.main_window, StreamingViewDialogProc, 0);
}

}  // namespace qz6::mon
