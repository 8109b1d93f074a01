#include "monitor/frame/system_close.h"
#include "monitor/windows/monitor_windows.h"

#include <iterator>
#include <string_view>

#include "monitor/frame/main_window.h"
#include "monitor/frame/messages.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"

namespace qz6::mon {
namespace {

// Window procedure of each kind, in the order of MonitorWindowKinds.
constexpr WNDPROC kMonitorProcedures[] = {
    LinkStatusWindowProc,
    PollingWindowProc,
    OperationalStatisticsWindowProc,
    CommErrorStatisticsWindowProc,
    ModemStatusWindowProc,
};
static_assert(std::size(kMonitorProcedures) == MonitorWindowKinds.size());

constexpr UINT kMonitorClassStyle = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
static_assert(kMonitorClassStyle == 0x2808);

void RegisterMonitorClass(const MonitorKindRow& row)
{
    WNDCLASSA wc = {};
    wc.style = kMonitorClassStyle;
    wc.lpfnWndProc = kMonitorProcedures[static_cast<size_t>(row.kind)];
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = g_monitor.instance;
    wc.hIcon = LoadIconA(g_monitor.instance, row.icon_name);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BACKGROUND + 1));
    wc.lpszClassName = row.class_name;
    // Fails when an earlier opening registered it already: that is fine.
    RegisterClassA(&wc);
}

std::string_view ClassNameOf(HWND window, char (&buffer)[kClassNameBuffer])
{
    const int length = GetClassNameA(window, buffer, sizeof buffer);
    return {buffer, static_cast<size_t>(length > 0 ? length : 0)};
}

// Visits the monitor windows, which are the main window's own children,
// in the window system's order. Their controls, which a walk of every
// descendant would also meet, are never monitor windows. The list is
// copied first, so a visitor may destroy the window it is given.
template <typename Visit>
void ForEachMonitorWindow(Visit visit)
{
    if (g_monitor.monitor_windows_stale) {
        size_t count = 0;
        for (HWND child = GetWindow(g_monitor.main_window, GW_CHILD);
             child != nullptr && count < g_monitor.monitor_windows.size(); child = GetWindow(child, GW_HWNDNEXT))
            if (MonitorClassMatch(child))
                g_monitor.monitor_windows[count++] = child;
        g_monitor.monitor_window_count = count;
        g_monitor.monitor_windows_stale = false;
    }
    const auto windows = g_monitor.monitor_windows;
    const size_t count = g_monitor.monitor_window_count;
    for (size_t i = 0; i < count; ++i)
        if (IsWindow(windows[i]))
            visit(windows[i]);
}

}  // namespace

bool MonitorWindowIsOpen(uint16_t menu_item)
{
    const UINT state = GetMenuState(g_monitor.main_menu, menu_item, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

void OpenMonitorWindow(MonitorKind kind)
{
    const MonitorKindRow& row = KindRow(kind);
    if (MonitorWindowIsOpen(row.menu_item)) {
        ActivateMonitorWindow(row.class_name);
        return;
    }
    RegisterMonitorClass(row);
    HWND window = CreateDialogParamA(g_monitor.instance, row.template_name, g_monitor.main_window, nullptr, 0);
    if (window == nullptr)
        return;  // no window, so no check mark
    if (kind == MonitorKind::Polling)
        g_monitor.polling_window = window;
    SendMessageA(window, WM_INITDIALOG, 0, 0);
    SetMenuCheck(row.menu_item, true);
    if (kind == MonitorKind::Polling)
        ShowDeviceInfo();
}

void ActivateMonitorWindow(const char* class_name)
{
    const std::string_view wanted = class_name;
    ForEachMonitorWindow([wanted](HWND window) {
        char buffer[kClassNameBuffer];
        if (ClassNameOf(window, buffer) != wanted)
            return;
        if (IsIconic(window))
            OpenIcon(window);
        BringWindowToTop(window);
    });
}

bool MonitorClassMatch(HWND window)
{
    char buffer[kClassNameBuffer];
    return ClassNameIsMonitor(ClassNameOf(window, buffer));
}

void BroadcastToMonitorWindows(uint16_t message, uint16_t wparam)
{
    ForEachMonitorWindow([message, wparam](HWND window) { SendMessageA(window, message, wparam, 0); });
}

void CloseAllMonitorWindows()
{
    ForEachMonitorWindow([](HWND window) { DestroyWindow(window); });
    const bool polling_was_open = MonitorWindowIsOpen(IDM_POLLING_WINDOW);
    for (const MonitorKindRow& row : MonitorWindowKinds)
        SetMenuCheck(row.menu_item, false);
    // Not while the program ends: the window would be made only to go with
    // its parent, leaving a stale handle behind.
    if (polling_was_open && !g_monitor.main_window_ending)
        OpenMonitorWindow(MonitorKind::Polling);
}

void MinimizeAllMonitorWindows()
{
    // ShowWindow, because CloseWindow refuses child windows on some systems.
    ForEachMonitorWindow([](HWND window) { ShowWindow(window, SW_MINIMIZE); });
}

void ShowDeviceInfo()
{
    if (!MonitorWindowIsOpen(IDM_POLLING_WINDOW))
        return;
    SetDlgItemTextA(g_monitor.polling_window, IDC_POLLS_DEVICE_NAME, g_monitor.device_name);
    SetDlgItemTextA(g_monitor.polling_window, IDC_POLLS_DEVICE_STATUS, g_monitor.device_open ? "Opened" : "Closed");
}

LRESULT FilterMonitorWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM, uint16_t menu_item)
{
    if (message == WM_CREATE || message == WM_DESTROY || message == WM_WINDOWPOSCHANGED)
        g_monitor.monitor_windows_stale = true;
    const bool close_request = (message == WM_COMMAND && LOWORD(wparam) == IDC_MONITOR_CLOSE) ||
                               (message == WM_SYSCOMMAND && IsSystemClose(wparam));
    if (close_request) {
        SetMenuCheck(menu_item, false);
        PostMessageA(g_monitor.main_window, WM_DESTROY_CHILD, reinterpret_cast<WPARAM>(window), 0);
    } else if (message == WM_LBUTTONDOWN) {
        BringWindowToTop(window);
    }
    return 0;
}

}  // namespace qz6::mon
