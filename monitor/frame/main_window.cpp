#include "monitor/frame/main_window.h"

#include "monitor/capture/capture.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/frame/polling.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"

namespace qz6::mon {
namespace {

void OnDestroy()
{
    g_monitor.main_window_ending = true;
    KillPollingTimer();
    g_monitor.idle_polling_stopped = true;
    CloseAllMonitorWindows();
    PostQuitMessage(0);
}

void OnSize(WPARAM size_type)
{
    if (size_type == SIZE_RESTORED && g_monitor.auto_arrange)
        ArrangeMonitorIcons();
}

void OnTimer()
{
    if (!g_monitor.polling_suspended)
        Poll(true);
}

// Destroys a monitor window that asked to be closed. The handle came
// through the queue, so it is checked to still name one of ours.
void OnDestroyChild(HWND child)
{
    if (IsWindow(child) && GetParent(child) == g_monitor.main_window && MonitorClassMatch(child))
        DestroyWindow(child);
}

}  // namespace

bool RegisterMainWindowClass()
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = g_monitor.instance;
    wc.hIcon = LoadIconA(g_monitor.instance, QZ6MON_PROGRAM_ICON);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_APPWORKSPACE + 1));
    wc.lpszMenuName = QZ6MON_MAIN_MENU;
    wc.lpszClassName = kMainClassName;
    return RegisterClassA(&wc) != 0;
}

HWND CreateMainWindow()
{
    return CreateWindowExA(0, kMainClassName, kMainTitle,
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 200, 200, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, g_monitor.instance, nullptr);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 1;
    case WM_SIZE:
        OnSize(wparam);
        return 1;
    case WM_COMMAND:
        DispatchMenuCommand(LOWORD(wparam));
        return 1;
    case WM_INITMENU:
        return 1;
    case WM_TIMER:
        OnTimer();
        return 1;
    case WM_ENTERIDLE:
        PollWhileModal(reinterpret_cast<HWND>(lparam));
        return 1;
    case WM_DESTROY_CHILD:
        OnDestroyChild(reinterpret_cast<HWND>(wparam));
        return 1;
    case WM_CAPTURE_ENDED:
        WatchCapture();
        return 1;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

void ApplyMenuState(DeviceMenuState state)
{
    for (const MenuItemEnable& item : kDeviceMenuItems)
        EnableMenuItem(g_monitor.main_menu, item.id,
                       MF_BYCOMMAND | (MenuItemEnabled(item, state) ? MF_ENABLED : MF_GRAYED));
}

void SetDeviceClosedMenus() { ApplyMenuState(DeviceMenuState::Closed); }

void SetDeviceOpenMenus() { ApplyMenuState(DeviceMenuState::Open); }

void SetMenuCheck(uint16_t item, bool checked)
{
    CheckMenuItem(g_monitor.main_menu, item, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void ArrangeMonitorIcons() { ArrangeIconicWindows(g_monitor.main_window); }

}  // namespace qz6::mon
