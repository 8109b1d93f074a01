// The main menu's commands. Items whose work lives elsewhere call it there.
#include "monitor/capture/capture.h"
#include "monitor/channel/device_session.h"
#include "monitor/channel/streaming_configuration.h"
#include "monitor/frame/dialogs.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/polling.h"
#include "monitor/frame/settings.h"
#include "monitor/line_test/line_test.h"
#include "monitor/traffic/line_control.h"
#include "monitor/traffic/receive_monitor.h"
#include "monitor/traffic/send_frames.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

void OnSelectDevice()
{
    RunDeviceSelectionDialog();
    ShowDeviceInfo();
}

void OnOpenDevice()
{
    OpenDevice();
    ShowDeviceInfo();
}

void OnSuspendPolling()
{
    g_monitor.polling_suspended = !g_monitor.polling_suspended;
    SetMenuCheck(IDM_SUSPEND_POLLING, g_monitor.polling_suspended);
}

void OnOpenAll()
{
    for (MonitorKind kind : kOpenAllOrder)
        OpenMonitorWindow(kind);
}

void OnMinimizeAll()
{
    MinimizeAllMonitorWindows();
    ArrangeMonitorIcons();
}

void OnAutoArrange()
{
    g_monitor.auto_arrange = !g_monitor.auto_arrange;
    SaveAutoArrange(g_monitor.auto_arrange);
    SetMenuCheck(IDM_AUTO_ARRANGE, g_monitor.auto_arrange);
}

}  // namespace

void DispatchMenuCommand(uint16_t item)
{
    switch (item) {
    case IDM_SELECT_DEVICE: OnSelectDevice(); break;
    case IDM_CONFIGURE: RunPollingConfigurationDialog(); break;
    case IDM_CONFIGURE_DEVICE:
        if (!g_monitor.device_open)
            ConfigureDevice();
        break;
    case IDM_OPEN_DEVICE: OnOpenDevice(); break;
    case IDM_CLOSE_DEVICE:
        if (g_monitor.device_open)
            CloseDevice();
        break;
    case IDM_ABOUT: ShowAboutBox(); break;
    case IDM_EXIT: PostMessageA(g_monitor.main_window, WM_CLOSE, 0, 0); break;
    case IDM_LINK_STATUS: OpenMonitorWindow(MonitorKind::LinkStatus); break;
    case IDM_OPERATIONAL_STATISTICS: OpenMonitorWindow(MonitorKind::OperationalStatistics); break;
    case IDM_COMM_ERROR_STATISTICS: OpenMonitorWindow(MonitorKind::CommErrorStatistics); break;
    case IDM_MODEM_STATUS: OpenMonitorWindow(MonitorKind::ModemStatus); break;
    case IDM_STREAMING: ShowStreamingConfiguration(); break;
    case IDM_ENABLE_COMMUNICATIONS:
        if (!RefuseReceiveMonitorDuringLineTest())
            StartReceiveMonitor();
        break;
    case IDM_DISABLE_COMMUNICATIONS:
        StopReceiveMonitor();
        if (g_monitor.receive_detail_window == nullptr)
            CaptureReceiveMonitorStopped();
        break;
    case IDM_BRIDGE_CONTROL:
        AskLineSwitch("Bridge the receiver and transmitter?", "Bridge Control", BRIDGE_RX_TX);
        break;
    case IDM_SET_MODEM_STATUS: RunSetModemDialog(); break;
    case IDM_CRC_ERROR_CONTROL:
        AskLineSwitch("Pass received frames with bad CRC to application?", "CRC Error Control", CRC_CONTROL);
        break;
    case IDM_SEND_FRAMES: OpenSendFramesWindow(); break;
    case IDM_CAPTURE_TO_FILE:
        if (g_monitor.device_open || CaptureRunning())
            ToggleCapture();
        break;
    case IDM_LINE_TEST:
        if (g_monitor.device_open)
            OpenLineTestWindow();
        break;
    case IDM_POLLING_WINDOW: OpenMonitorWindow(MonitorKind::Polling); break;
    case IDM_POLL_NOW: Poll(true); break;
    case IDM_SUSPEND_POLLING: OnSuspendPolling(); break;
    case IDM_OPEN_ALL: OnOpenAll(); break;
    case IDM_ARRANGE_ICONS: ArrangeMonitorIcons(); break;
    case IDM_MINIMIZE_ALL: OnMinimizeAll(); break;
    case IDM_AUTO_ARRANGE: OnAutoArrange(); break;
    default: break;
    }
}

}  // namespace qz6::mon
