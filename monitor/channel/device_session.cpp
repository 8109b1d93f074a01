// The device session: "&Open Device", "Cl&ose Device" and the reading of
// the configuration and code version that proves the device answers.
#include "monitor/channel/device_session.h"

#include <cstring>

#include "common/win32/message_box.h"
#include "monitor/capture/capture.h"
#include "monitor/channel/command_channel.h"
#include "monitor/channel/session_rules.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/line_test/line_test.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/traffic/receive_monitor.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

// One attempt at READ_CONFIGURATION. The request is set afresh each time:
// a poll that ran while a prompt was up may have used the block.
uint8_t ReadConfigurationOnce()
{
    return ExecuteCommandWithoutData(READ_CONFIGURATION);
}

bool AskTimeoutRetry()
{
    return ShowMessageBox(g_monitor.main_window, "Command timeout occurred. Retry?", "Timeout Error",
                          MB_ICONQUESTION | MB_RETRYCANCEL) == IDRETRY;
}

void ShowRetryNumber(unsigned retry)
{
    char text[kSessionTextSize];
    RetryStatusText(retry, text);
    ShowPollingStatus(text);
}

void ReadCodeVersion()
{
    if (ExecuteCommandWithoutData(READ_CODE_VERSION) == RETURN_SUCCESS)
        ExtractVersionText(g_monitor.command_block, g_monitor.version_text);
}

void ForgetDeviceHandle()
{
    if (g_monitor.device_handle != INVALID_HANDLE_VALUE)
        CloseHandle(g_monitor.device_handle);
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE OpenDeviceHandle()
{
    return OpenNamedDeviceHandle(g_monitor.device_name);
}

HANDLE OpenNamedDeviceHandle(const char* device_name)
{
    char path[kDevicePathMax + 1];
    BuildDevicePath(device_name, path);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING, nullptr);
}

void ShowOpenError(DWORD error)
{
    char text[kSessionTextSize];
    OpenErrorText(error, text);
    ShowMessageBox(g_monitor.main_window, text, "Open Error", MB_ICONEXCLAMATION | MB_OK);
}

void ShowPollingStatus(const char* text)
{
    if (MonitorWindowIsOpen(IDM_POLLING_WINDOW))
        SetDlgItemTextA(g_monitor.polling_window, IDC_POLLS_DEVICE_STATUS, text);
}

bool OpenDevice()
{
    if (g_monitor.device_open)
        return false;  // one session at a time; the menu item is greyed meanwhile
    OpenMonitorWindow(MonitorKind::Polling);
    ShowPollingStatus("Opening...");

    g_monitor.device_handle = OpenDeviceHandle();
    if (g_monitor.device_handle == INVALID_HANDLE_VALUE) {
        ShowOpenError(GetLastError());
        g_monitor.device_open = false;
        return false;
    }
    // Set before the read: polls may run while a retry prompt is up.
    g_monitor.device_open = true;

    if (!ReadConfigurationAndVersion()) {
        ShowMessageBox(g_monitor.main_window,
                       "Unable to obtain streaming configuration.  Make sure the device name is correct and that "
                       "another process has already set the configuration.",
                       "Command Error", MB_ICONERROR | MB_OK);
        ForgetDeviceHandle();
        g_monitor.device_open = false;
        return false;
    }
    SetDeviceOpenMenus();
    return true;
}

bool ReadConfigurationAndVersion()
{
    if (!ReadWithRetries(ReadConfigurationOnce, AskTimeoutRetry, ShowRetryNumber))
        return false;
    CopyCommandBlock(g_monitor.saved_configuration, g_monitor.command_block);
    std::memcpy(g_monitor.version_text, kUnknownVersion, std::strlen(kUnknownVersion) + 1);
    ReadCodeVersion();
    return true;
}

void CloseDevice()
{
    if (!g_monitor.device_open)
        return;
    CloseLineTestWindow();
    // Its outcome does not matter: the close goes on.
    if (g_monitor.receive_detail_window != nullptr)
        StopReceiveMonitor();
    StopCapture();
    CloseAllMonitorWindows();
    ForgetDeviceHandle();
    g_monitor.device_open = false;
    ShowDeviceInfo();
    SetDeviceClosedMenus();
}

}  // namespace qz6::mon
