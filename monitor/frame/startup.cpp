#include "monitor/frame/startup.h"

#include "monitor/capture/capture.h"
#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/poll_schedule.h"
#include "monitor/frame/polling.h"
#include "monitor/frame/settings.h"
#include "monitor/line_test/line_test.h"
#include "monitor/traffic/receive_monitor.h"
#include "monitor/traffic/send_frames.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {

bool StartMonitor(HINSTANCE instance, int show)
{
    g_monitor.instance = instance;
    LoadSettings();
    if (!RegisterMainWindowClass())
        return false;
    g_monitor.main_window = CreateMainWindow();
    if (g_monitor.main_window == nullptr)
        return false;
    ShowWindow(g_monitor.main_window, show);
    UpdateWindow(g_monitor.main_window);
    g_monitor.main_menu = GetMenu(g_monitor.main_window);

    g_monitor.idle_polling_stopped = false;
    if (g_monitor.use_timer)
        InstallPollingTimer();
    SetDeviceClosedMenus();
    SetMenuCheck(IDM_AUTO_ARRANGE, g_monitor.auto_arrange);
    OpenMonitorWindow(MonitorKind::Polling);
    return true;
}

bool RunMessagePass(DWORD wait_ms, int& quit_code)
{
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            quit_code = static_cast<int>(message.wParam);
            continue;
        }
        // The modeless Send Frames window gets the dialog keys: Tab between
        // its controls, the mnemonics; Enter it handles itself.
        if (TakeSendFramesEnter(message))
            continue;
        if (g_monitor.send_frames_window != nullptr && IsDialogMessageA(g_monitor.send_frames_window, &message))
            continue;
        if (g_monitor.line_test_window != nullptr && IsDialogMessageA(g_monitor.line_test_window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (quit)
        return false;

    if (IdlePassCounts(g_monitor.idle_polling_stopped, g_monitor.timer_active, g_monitor.device_open)) {
        Poll(false);
        // Counting never waits, but it leaves the processor to anyone else
        // who is ready to run.
        SwitchToThread();
    } else {
        // Nothing to count: the timer, the operator or a sent message wakes
        // the loop, so an idle monitor costs no processor time.
        // No handles to wait on: a count of 0 with no array is how the
        // call waits for messages alone.
        // cppcheck-suppress nullPointer
        MsgWaitForMultipleObjectsEx(0, nullptr, wait_ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return true;
}

int RunMessageLoop()
{
    int quit_code = 0;
    while (RunMessagePass(INFINITE, quit_code)) {
    }
    return quit_code;
}

void FinishMonitor()
{
    CloseLineTestWindow();
    if (!g_monitor.device_open)
        return;
    if (g_monitor.receive_detail_window != nullptr)
        StopReceiveMonitor();
    StopCapture();
    CloseHandle(g_monitor.device_handle);
    g_monitor.device_handle = INVALID_HANDLE_VALUE;
    g_monitor.device_open = false;
}

int RunMonitor(HINSTANCE instance, int show)
{
    if (!StartMonitor(instance, show))
        return 0;
    const int quit_code = RunMessageLoop();
    FinishMonitor();
    return quit_code;
}

}  // namespace qz6::mon
