// The monitor window framework through real windows: open, activate,
// minimise, close by every path, "&Open All" stacking, close all.
#include <windows.h>

#include <gtest/gtest.h>

#include "monitor/frame/main_window.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "monitor/windows/monitor_windows.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {
namespace {

using MonitorWindows = MonitorTest;

// The data windows' classes, top first.
std::string StackingOrder()
{
    std::string order;
    for (HWND w = GetWindow(g_monitor.main_window, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        const std::string name = ClassOf(w);
        if (name.starts_with("LMTR_") && name != "LMTR_POLLS" && name != "LMTR_TESTPROBE")
            order += name.substr(5) + " ";
    }
    return order;
}

HWND TopMonitorWindow()
{
    for (HWND w = GetWindow(g_monitor.main_window, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (ClassOf(w).starts_with("LMTR_"))
            return w;
    return nullptr;
}

TEST_F(MonitorWindows, EachKindOpensFromItsTemplateWithItsCheckMark)
{
    for (const MonitorKindRow& row : MonitorWindowKinds) {
        Command(row.menu_item);
        HWND window = FindMonitorWindow(row.class_name);
        ASSERT_NE(window, nullptr) << row.class_name;
        EXPECT_TRUE(MenuItemChecked(row.menu_item)) << row.class_name;
        EXPECT_EQ(WindowText(window), row.title);
        EXPECT_EQ(GetParent(window), main_);
        const LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_TRUE(style & WS_CHILD);
        EXPECT_TRUE(style & WS_MINIMIZEBOX);
        EXPECT_FALSE(style & WS_MAXIMIZEBOX);
        EXPECT_FALSE(style & WS_THICKFRAME);
        EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE), 0x2808);
        EXPECT_EQ(GetClassLongPtrA(window, GCL_CBWNDEXTRA), DLGWINDOWEXTRA);
        EXPECT_NE(GetClassLongPtrA(window, GCLP_HICON), 0);
        EXPECT_EQ(ControlText(window, IDC_MONITOR_CLOSE), "&Close");
        EXPECT_EQ(TopMonitorWindow(), window) << "a new window is raised";
    }
}

TEST_F(MonitorWindows, ChoosingAnOpenWindowRestoresAndRaisesIt)
{
    Command(IDM_LINK_STATUS);
    Command(IDM_MODEM_STATUS);
    HWND links = FindMonitorWindow("LMTR_LINKS");
    ShowWindow(links, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(links));
    Command(IDM_LINK_STATUS);
    EXPECT_EQ(CountMonitorWindows("LMTR_LINKS"), 1);
    EXPECT_FALSE(IsIconic(links));
    EXPECT_EQ(TopMonitorWindow(), links);
}

struct CloseRequest {
    const char* name;
    UINT message;
    WPARAM wparam;
};

void PrintTo(const CloseRequest& r, std::ostream* os) { *os << r.name; }

class MonitorWindowClose : public MonitorTest, public ::testing::WithParamInterface<CloseRequest> {};

// The check mark goes at once; the window when the main window handles
// the posted request.
TEST_P(MonitorWindowClose, ClosesEveryKind)
{
    for (const MonitorKindRow& row : MonitorWindowKinds) {
        Command(row.menu_item);
        HWND window = FindMonitorWindow(row.class_name);
        ASSERT_NE(window, nullptr);
        if (GetParam().message == BM_CLICK)
            SendMessageA(GetDlgItem(window, IDC_MONITOR_CLOSE), BM_CLICK, 0, 0);
        else
            SendMessageA(window, GetParam().message, GetParam().wparam, 0);
        EXPECT_FALSE(MenuItemChecked(row.menu_item)) << row.class_name;
        EXPECT_TRUE(IsWindow(window)) << row.class_name;
        Pump();
        EXPECT_FALSE(IsWindow(window)) << row.class_name;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, MonitorWindowClose,
                         ::testing::Values(CloseRequest{"CloseButton", BM_CLICK, 0},
                                           CloseRequest{"CloseBox", WM_SYSCOMMAND, SC_CLOSE},
                                           CloseRequest{"SystemMenuClose", WM_SYSCOMMAND, SC_CLOSE | 0x000F},
                                           CloseRequest{"CloseCommandNotification", WM_COMMAND,
                                                        MAKEWPARAM(IDC_MONITOR_CLOSE, BN_DOUBLECLICKED)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MonitorWindows, OtherSystemCommandsDoNotClose)
{
    HWND polls = g_monitor.polling_window;
    SendMessageA(polls, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump();
    EXPECT_TRUE(IsWindow(polls));
    EXPECT_TRUE(IsIconic(polls));
    EXPECT_TRUE(MenuItemChecked(IDM_POLLING_WINDOW));
}

TEST_F(MonitorWindows, OpenAllLeavesModemStatusOnTop)
{
    Command(IDM_OPEN_ALL);
    EXPECT_EQ(StackingOrder(), "MODEMS COMES OPSTATS LINKS ");
    // Again, with Modem Status under the others and Link Status minimised.
    SetWindowPos(FindMonitorWindow("LMTR_MODEMS"), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(FindMonitorWindow("LMTR_LINKS"), SW_MINIMIZE);
    Command(IDM_OPEN_ALL);
    EXPECT_EQ(StackingOrder(), "MODEMS COMES OPSTATS LINKS ");
    EXPECT_FALSE(IsIconic(FindMonitorWindow("LMTR_LINKS")));
    for (const char* name : {"LMTR_LINKS", "LMTR_OPSTATS", "LMTR_COMES", "LMTR_MODEMS"})
        EXPECT_EQ(CountMonitorWindows(name), 1) << name;
}

TEST_F(MonitorWindows, ClickOnTheSurfaceRaises)
{
    Command(IDM_LINK_STATUS);
    Command(IDM_MODEM_STATUS);
    HWND links = FindMonitorWindow("LMTR_LINKS");
    ASSERT_NE(TopMonitorWindow(), links);
    SendMessageA(links, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(TopMonitorWindow(), links);
}

TEST_F(MonitorWindows, MinimizeAllTakesOnlyMonitorWindows)
{
    Command(IDM_OPEN_ALL);
    HWND stand_in = CreateSendFramesStandIn();
    ShowWindow(stand_in, SW_SHOWNA);
    Command(IDM_MINIMIZE_ALL);
    for (const MonitorKindRow& row : MonitorWindowKinds) {
        EXPECT_TRUE(IsIconic(FindMonitorWindow(row.class_name))) << row.class_name;
        EXPECT_TRUE(MenuItemChecked(row.menu_item)) << row.class_name;
    }
    EXPECT_FALSE(IsIconic(stand_in));
    DestroyWindow(stand_in);
}

// Restoring the frame lines the minimised windows up again, only with
// auto-arrange on and only on a restore.
TEST_F(MonitorWindows, RestoreArrangesIconsWhenAutoArrangeIsOn)
{
    HWND polls = g_monitor.polling_window;
    ShowWindow(polls, SW_MINIMIZE);
    auto icon_top = [&] {
        RECT r;
        GetWindowRect(polls, &r);
        POINT p = {r.left, r.top};
        ScreenToClient(main_, &p);
        return p.y;
    };
    auto move_icon_up = [&] { SetWindowPos(polls, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER); };

    move_icon_up();
    SendMessageA(main_, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(600, 400));
    EXPECT_EQ(icon_top(), 5);
    SendMessageA(main_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 400));
    EXPECT_GT(icon_top(), 5);

    Command(IDM_AUTO_ARRANGE);
    move_icon_up();
    SendMessageA(main_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 400));
    EXPECT_EQ(icon_top(), 5);
    Command(IDM_ARRANGE_ICONS);
    EXPECT_GT(icon_top(), 5);
}

TEST_F(MonitorWindows, CloseAllBringsThePollingWindowBackFresh)
{
    HWND polls = g_monitor.polling_window;
    RECT original;
    GetWindowRect(polls, &original);
    Command(IDM_OPEN_ALL);
    SetWindowPos(polls, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetDlgItemTextA(polls, IDC_POLLS_COMMAND, "Read Status:");
    SetDlgItemTextA(polls, IDC_POLLS_RESULT, "0x00");
    SetDlgItemTextA(polls, IDC_POLLS_ACTIVE_RESULT, "Success");
    SendDlgItemMessageA(polls, IDC_POLLS_TICK_INDICATOR, BM_SETCHECK, BST_CHECKED, 0);

    CloseAllMonitorWindows();

    for (const char* name : {"LMTR_LINKS", "LMTR_OPSTATS", "LMTR_COMES", "LMTR_MODEMS"})
        EXPECT_EQ(FindMonitorWindow(name), nullptr) << name;
    for (uint16_t item : {IDM_LINK_STATUS, IDM_OPERATIONAL_STATISTICS, IDM_COMM_ERROR_STATISTICS, IDM_MODEM_STATUS})
        EXPECT_FALSE(MenuItemChecked(item)) << item;
    EXPECT_FALSE(IsWindow(polls));
    HWND fresh = FindMonitorWindow("LMTR_POLLS");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh, g_monitor.polling_window);
    EXPECT_TRUE(MenuItemChecked(IDM_POLLING_WINDOW));
    RECT now;
    GetWindowRect(fresh, &now);
    EXPECT_EQ(now.left, original.left);
    EXPECT_EQ(now.top, original.top);
    EXPECT_EQ(ControlText(fresh, IDC_POLLS_COMMAND), "");
    EXPECT_EQ(ControlText(fresh, IDC_POLLS_RESULT), "");
    EXPECT_EQ(ControlText(fresh, IDC_POLLS_ACTIVE_RESULT), "");
    EXPECT_EQ(SendDlgItemMessageA(fresh, IDC_POLLS_TICK_INDICATOR, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(ControlText(fresh, IDC_POLLS_DEVICE_NAME), "ROZAR6O0");
    EXPECT_EQ(ControlText(fresh, IDC_POLLS_DEVICE_STATUS), "Closed");
}

TEST_F(MonitorWindows, CloseAllWithThePollingWindowClosedLeavesItClosed)
{
    Command(IDM_LINK_STATUS);
    SendMessageA(g_monitor.polling_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
    CloseAllMonitorWindows();
    EXPECT_EQ(FindMonitorWindow("LMTR_POLLS"), nullptr);
    EXPECT_EQ(FindMonitorWindow("LMTR_LINKS"), nullptr);
    EXPECT_FALSE(MenuItemChecked(IDM_POLLING_WINDOW));
}

TEST_F(MonitorWindows, ShowDeviceInfoFollowsTheDeviceState)
{
    g_monitor.device_open = true;
    ShowDeviceInfo();
    EXPECT_EQ(ControlText(g_monitor.polling_window, IDC_POLLS_DEVICE_STATUS), "Opened");
    g_monitor.device_open = false;
    ShowDeviceInfo();
    EXPECT_EQ(ControlText(g_monitor.polling_window, IDC_POLLS_DEVICE_STATUS), "Closed");
}

TEST_F(MonitorWindows, DestroyingTheMainWindowEndsEverything)
{
    Command(IDM_OPEN_ALL);
    HWND links = FindMonitorWindow("LMTR_LINKS");
    HWND polls = g_monitor.polling_window;
    ASSERT_TRUE(MenuItemChecked(IDM_POLLING_WINDOW));
    DestroyWindow(main_);
    Pump();
    EXPECT_TRUE(quit_seen_);
    EXPECT_EQ(quit_code_, 0);
    EXPECT_FALSE(IsWindow(links));
    EXPECT_EQ(g_monitor.polling_window, polls) << "no Polling window made again while the program ends";
    EXPECT_TRUE(g_monitor.idle_polling_stopped);
    EXPECT_FALSE(g_monitor.timer_active);
}

}  // namespace
}  // namespace qz6::mon::test
