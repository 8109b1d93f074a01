// SELCARD: the device that "&Open Device" opens.
#include "common/adapter_names.h"
#include "monitor/frame/dialogs.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/settings.h"
#include "monitor/frame/system_close.h"
#include "monitor/resources/resource_ids.h"

namespace qz6::mon {
namespace {

void OnInitDialog(HWND dialog)
{
    char stored[kDeviceNameMax + 1];
    ReadStoredDefaultDevice(stored);
    SendDlgItemMessageA(dialog, IDC_SELCARD_NEW_DEVICE, EM_LIMITTEXT, kDeviceNameMax, 0);
    SetDlgItemTextA(dialog, IDC_SELCARD_NEW_DEVICE, g_monitor.device_name);
    SetDlgItemTextA(dialog, IDC_SELCARD_CURRENT_DEVICE, stored);
}

// The name is taken as typed; a wrong one shows when opening fails.
void OnOk(HWND dialog)
{
    char name[kDeviceNameMax + 1];
    GetDlgItemTextA(dialog, IDC_SELCARD_NEW_DEVICE, name, sizeof name);
    if (IsDlgButtonChecked(dialog, IDC_SELCARD_SET_DEFAULT) == BST_CHECKED)
        SaveDefaultDevice(name);
    lstrcpynA(g_monitor.device_name, name, sizeof g_monitor.device_name);
    EndDialog(dialog, 1);
}

}  // namespace

INT_PTR RunDeviceSelectionDialog()
{
    return DialogBoxParamA(g_monitor.instance, QZ6MON_SELCARD_TEMPLATE, g_monitor.main_window,
                           DeviceSelectionDialog, 0);
}

INT_PTR CALLBACK DeviceSelectionDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM)
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
