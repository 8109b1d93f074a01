// Start-up, settings and their dialogs, menu states, About and Exit,
// through the real main window in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include "monitor/frame/main_window.h"
#include "monitor/frame/menu_states.h"
#include "monitor/frame/monitor_state.h"
#include "monitor/resources/resource_ids.h"
#include "support/monitor_harness.h"

namespace qz6::mon::test {
namespace {

void ExpectMenuState(DeviceMenuState state)
{
    for (const MenuItemEnable& item : kDeviceMenuItems)
        EXPECT_EQ(MenuItemGreyed(item.id), !MenuItemEnabled(item, state)) << "item " << item.id;
    for (uint16_t untouched : {IDM_ABOUT, IDM_CONFIGURE, IDM_EXIT, IDM_POLLING_WINDOW, IDM_POLL_NOW,
                               IDM_SUSPEND_POLLING, IDM_ARRANGE_ICONS, IDM_MINIMIZE_ALL, IDM_AUTO_ARRANGE})
        EXPECT_FALSE(MenuItemGreyed(untouched)) << "item " << untouched;
}

using StartupWithoutSettings = MonitorTest;

TEST_F(StartupWithoutSettings, UsesTheDefaults)
{
    EXPECT_EQ(g_monitor.ticks_per_poll, 20000u);
    EXPECT_EQ(g_monitor.timer_period_ms, 3000);
    EXPECT_TRUE(g_monitor.use_timer);
    EXPECT_TRUE(g_monitor.timer_active);
    EXPECT_STREQ(g_monitor.device_name, "ROZAR6O0");
    EXPECT_TRUE(g_monitor.auto_arrange);
    EXPECT_TRUE(MenuItemChecked(IDM_AUTO_ARRANGE));
    EXPECT_FALSE(g_monitor.idle_polling_stopped);
    EXPECT_FALSE(g_monitor.device_open);
    EXPECT_EQ(g_monitor.device_handle, INVALID_HANDLE_VALUE);
}

TEST_F(StartupWithoutSettings, ShowsTheMainWindowWithItsMenuAndThePollingWindow)
{
    EXPECT_EQ(WindowText(main_), "HDLC Streaming Monitor");
    EXPECT_EQ(ClassOf(main_), "QZ6MONClass");
    EXPECT_TRUE(IsWindowVisible(main_));
    ASSERT_NE(g_monitor.main_menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(g_monitor.main_menu), 6);
    ExpectMenuState(DeviceMenuState::Closed);

    HWND polls = FindMonitorWindow("LMTR_POLLS");
    ASSERT_NE(polls, nullptr);
    EXPECT_EQ(polls, g_monitor.polling_window);
    EXPECT_TRUE(MenuItemChecked(IDM_POLLING_WINDOW));
    EXPECT_EQ(WindowText(polls), "Polling and Device Info");
    EXPECT_EQ(ControlText(polls, IDC_POLLS_DEVICE_NAME), "ROZAR6O0");
    EXPECT_EQ(ControlText(polls, IDC_POLLS_DEVICE_STATUS), "Closed");
    EXPECT_EQ(ControlText(polls, IDC_POLLS_COMMAND), "");
    EXPECT_EQ(ControlText(polls, IDC_POLLS_RESULT), "");
    EXPECT_EQ(ControlText(polls, IDC_POLLS_ACTIVE_RESULT), "");
}

TEST_F(StartupWithoutSettings, MenuStatesFollowTheDevice)
{
    SetDeviceOpenMenus();
    ExpectMenuState(DeviceMenuState::Open);
    SetDeviceClosedMenus();
    ExpectMenuState(DeviceMenuState::Closed);
}

TEST_F(StartupWithoutSettings, AutoArrangeToggleIsWrittenAtOnce)
{
    Command(IDM_AUTO_ARRANGE);
    EXPECT_FALSE(g_monitor.auto_arrange);
    EXPECT_FALSE(MenuItemChecked(IDM_AUTO_ARRANGE));
    EXPECT_EQ(StoredSetting("Options", "auto_arrange_on_resize"), "0");
    Command(IDM_AUTO_ARRANGE);
    EXPECT_TRUE(g_monitor.auto_arrange);
    EXPECT_TRUE(MenuItemChecked(IDM_AUTO_ARRANGE));
    EXPECT_EQ(StoredSetting("Options", "auto_arrange_on_resize"), "1");
}

TEST_F(StartupWithoutSettings, AboutBoxNamesTheRelease)
{
    std::string text;
    Operator user([&](DWORD gui) {
        HWND box = WaitForDialog(gui, "About HDLC Streaming Monitor v1.0 (R731)");
        if (box == nullptr)
            return;
        text = MessageBoxText(box);
        PressButton(box, IDOK);
    });
    Command(IDM_ABOUT);
    user.Join();
    EXPECT_NE(text.find("\nMay 1996 Release"), std::string::npos) << text;
}

TEST_F(StartupWithoutSettings, ExitEndsTheLoopWithCodeZero)
{
    Command(IDM_EXIT);
    Pump(50);
    EXPECT_TRUE(quit_seen_);
    EXPECT_EQ(quit_code_, 0);
    EXPECT_FALSE(IsWindow(main_));
    EXPECT_TRUE(g_monitor.idle_polling_stopped);
    EXPECT_FALSE(g_monitor.timer_active);
}

// ---- A hand-written settings file ---------------------------------------------------
struct SettingsCase {
    const char* name;
    const char* file;
    uint32_t ticks_per_poll;
    uint16_t timer_period_ms;
    bool use_timer;
    const char* device;
    bool auto_arrange;
};

// Test names (and ctest's) show the case's name, not its bytes.
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class StartupWithSettings : public MonitorTest, public ::testing::WithParamInterface<SettingsCase> {
protected:
    const char* Settings() const override { return GetParam().file; }
};

TEST_P(StartupWithSettings, TakesWhatTheFileSays)
{
    const SettingsCase& expected = GetParam();
    EXPECT_EQ(g_monitor.ticks_per_poll, expected.ticks_per_poll);
    EXPECT_EQ(g_monitor.timer_period_ms, expected.timer_period_ms);
    EXPECT_EQ(g_monitor.use_timer, expected.use_timer);
    EXPECT_EQ(g_monitor.timer_active, expected.use_timer);
    EXPECT_STREQ(g_monitor.device_name, expected.device);
    EXPECT_EQ(g_monitor.auto_arrange, expected.auto_arrange);
    EXPECT_EQ(MenuItemChecked(IDM_AUTO_ARRANGE), expected.auto_arrange);
    EXPECT_EQ(ControlText(g_monitor.polling_window, IDC_POLLS_DEVICE_NAME), expected.device);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StartupWithSettings,
    ::testing::Values(
        SettingsCase{"EveryKey", "[Polling]\r\ntick_interval=5\r\ntick_interval_ms=250\r\nuse_system_timer=0\r\n"
                     "[Hardware]\r\ndefault_device=KORQZ6C1\r\n[Options]\r\nauto_arrange_on_resize=0\r\n",
                     5000, 250, false, "KORQZ6C1", false},
        SettingsCase{"ZeroTickInterval", "[Polling]\r\ntick_interval=0\r\n", 20000, 3000, true, "ROZAR6O0", true},
        SettingsCase{"IntervalsTooLarge", "[Polling]\r\ntick_interval=70000\r\ntick_interval_ms=70000\r\n", 20000, 3000, true,
                     "ROZAR6O0", true},
        SettingsCase{"DeviceNameTooLong", "[Hardware]\r\ndefault_device=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123\r\n",
                     20000, 3000, true, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuv", true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- CONFIG --------------------------------------------------------------------------
using PollingDialog = MonitorTest;

constexpr const char* kConfigTitle = "Streaming Monitor Configuration";

TEST_F(PollingDialog, ShowsTheCurrentValuesAndCancelChangesNothing)
{
    std::string tick, period, state;
    bool timer_checked = false;
    Operator user([&](DWORD gui) {
        HWND dialog = WaitForDialog(gui, kConfigTitle);
        if (dialog == nullptr)
            return;
        tick = ControlText(dialog, IDC_CONFIG_TICK_INTERVAL);
        period = ControlText(dialog, IDC_CONFIG_TIMER_PERIOD);
        state = ControlText(dialog, IDC_CONFIG_TIMER_STATE);
        timer_checked = SendDlgItemMessageA(dialog, IDC_CONFIG_ENABLE_TIMER, BM_GETCHECK, 0, 0) == BST_CHECKED;
        SetDlgItemTextA(dialog, IDC_CONFIG_TICK_INTERVAL, "7");
        PressButton(dialog, IDCANCEL);
    });
    Command(IDM_CONFIGURE);
    user.Join();
    EXPECT_EQ(tick, "20");
    EXPECT_EQ(period, "3000");
    EXPECT_EQ(state, "(Active)");
    EXPECT_TRUE(timer_checked);
    EXPECT_EQ(g_monitor.ticks_per_poll, 20000u);
    EXPECT_TRUE(g_monitor.timer_active);
    EXPECT_EQ(StoredSetting("Polling", "tick_interval"), "<absent>");
}

TEST_F(PollingDialog, OkStoresEveryValue)
{
    Operator user([&](DWORD gui) {
        HWND dialog = WaitForDialog(gui, kConfigTitle);
        if (dialog == nullptr)
            return;
        SetDlgItemTextA(dialog, IDC_CONFIG_TICK_INTERVAL, "5");
        SetDlgItemTextA(dialog, IDC_CONFIG_TIMER_PERIOD, "250");
        SendDlgItemMessageA(dialog, IDC_CONFIG_ENABLE_TIMER, BM_SETCHECK, BST_CHECKED, 0);
        PressButton(dialog, IDOK);
    });
    Command(IDM_CONFIGURE);
    user.Join();
    EXPECT_EQ(g_monitor.ticks_per_poll, 5000u);
    EXPECT_EQ(g_monitor.timer_period_ms, 250);
    EXPECT_TRUE(g_monitor.timer_active);
    EXPECT_EQ(StoredSetting("Polling", "tick_interval"), "5");
    EXPECT_EQ(StoredSetting("Polling", "tick_interval_ms"), "250");
    EXPECT_EQ(StoredSetting("Polling", "use_system_timer"), "1");
}

TEST_F(PollingDialog, ZeroPeriodWithoutTimerIsAccepted)
{
    Operator user([&](DWORD gui) {
        HWND dialog = WaitForDialog(gui, kConfigTitle);
        if (dialog == nullptr)
            return;
        SetDlgItemTextA(dialog, IDC_CONFIG_TIMER_PERIOD, "0");
        SendDlgItemMessageA(dialog, IDC_CONFIG_ENABLE_TIMER, BM_SETCHECK, BST_UNCHECKED, 0);
        PressButton(dialog, IDOK);
    });
    Command(IDM_CONFIGURE);
    user.Join();
    EXPECT_FALSE(g_monitor.use_timer);
    EXPECT_FALSE(g_monitor.timer_active);
    EXPECT_EQ(g_monitor.timer_period_ms, 0);
    EXPECT_EQ(StoredSetting("Polling", "tick_interval_ms"), "0");
    EXPECT_EQ(StoredSetting("Polling", "use_system_timer"), "0");
    EXPECT_EQ(StoredSetting("Polling", "tick_interval"), "20");
}

struct RejectedEntry {
    const char* name;
    const char* tick;
    const char* period;
    bool timer;
};

void PrintTo(const RejectedEntry& e, std::ostream* os) { *os << e.name; }

class PollingDialogRange : public MonitorTest, public ::testing::WithParamInterface<RejectedEntry> {};

// A rejected OK keeps the dialog open; Cancel then leaves the timer that
// OK killed uninstalled, and the file untouched.
TEST_P(PollingDialogRange, OutOfRangeEntriesAreRefused)
{
    std::string caption, text;
    bool still_open = false;
    HWND owner = nullptr;
    Operator user([&](DWORD gui) {
        HWND dialog = WaitForDialog(gui, kConfigTitle);
        if (dialog == nullptr)
            return;
        SetDlgItemTextA(dialog, IDC_CONFIG_TICK_INTERVAL, GetParam().tick);
        SetDlgItemTextA(dialog, IDC_CONFIG_TIMER_PERIOD, GetParam().period);
        SendDlgItemMessageA(dialog, IDC_CONFIG_ENABLE_TIMER, BM_SETCHECK,
                            GetParam().timer ? BST_CHECKED : BST_UNCHECKED, 0);
        PressButton(dialog, IDOK);
        HWND box = WaitForDialog(gui, "Configuration Entry(s) Invalid");
        if (box == nullptr)
            return;
        caption = WindowText(box);
        text = MessageBoxText(box);
        owner = GetWindow(box, GW_OWNER);
        PressButton(box, IDOK);
        WaitUntil([&] { return !IsWindow(box); });
        still_open = IsWindow(dialog) && IsWindowVisible(dialog);
        PressButton(dialog, IDCANCEL);
    });
    Command(IDM_CONFIGURE);
    user.Join();
    EXPECT_EQ(text, "Polling intervals must be in the range of 1 to 65535!");
    EXPECT_EQ(owner, main_) << "its idle notifications must reach the main window, which polls";
    EXPECT_TRUE(still_open);
    EXPECT_FALSE(g_monitor.timer_active);
    EXPECT_EQ(g_monitor.ticks_per_poll, 20000u);
    EXPECT_EQ(StoredSetting("Polling", "tick_interval"), "<absent>");
}

INSTANTIATE_TEST_SUITE_P(Entries, PollingDialogRange,
                         ::testing::Values(RejectedEntry{"ZeroTicks", "0", "3000", true},
                                           RejectedEntry{"ZeroTicksNoTimer", "0", "3000", false},
                                           RejectedEntry{"TicksTooLarge", "65536", "3000", true},
                                           RejectedEntry{"ZeroPeriodWithTimer", "20", "0", true},
                                           RejectedEntry{"PeriodTooLarge", "20", "70000", false},
                                           RejectedEntry{"TicksNotANumber", "abc", "3000", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PollingDialog, CloseBoxIsSwallowed)
{
    bool survived = false;
    Operator user([&](DWORD gui) {
        HWND dialog = WaitForDialog(gui, kConfigTitle);
        if (dialog == nullptr)
            return;
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(200);
        survived = IsWindow(dialog) && IsWindowVisible(dialog);
        PressButton(dialog, IDCANCEL);
    });
    Command(IDM_CONFIGURE);
    user.Join();
    EXPECT_TRUE(survived);
}

// ---- SELCARD -------------------------------------------------------------------------
class DeviceDialog : public MonitorTest {
protected:
    const char* Settings() const override { return "[Hardware]\r\ndefault_device=KORQZ6C1\r\n"; }

    // Runs the dialog: types `name`, sets the default box, presses `button`.
    void Choose(const char* name, bool as_default, int button)
    {
        Operator user([&](DWORD gui) {
            HWND dialog = WaitForDialog(gui, "New Device");
            if (dialog == nullptr)
                return;
            shown_name_ = ControlText(dialog, IDC_SELCARD_NEW_DEVICE);
            shown_default_ = ControlText(dialog, IDC_SELCARD_CURRENT_DEVICE);
            PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            Sleep(100);
            survived_close_ = IsWindow(dialog) != FALSE;
            SetDlgItemTextA(dialog, IDC_SELCARD_NEW_DEVICE, name);
            if (as_default)
                SendDlgItemMessageA(dialog, IDC_SELCARD_SET_DEFAULT, BM_SETCHECK, BST_CHECKED, 0);
            PressButton(dialog, button);
        });
        Command(IDM_SELECT_DEVICE);
    }

    std::string shown_name_, shown_default_;
    bool survived_close_ = false;
};

TEST_F(DeviceDialog, ShowsTheNameInUseAndTheStoredDefault)
{
    strcpy(g_monitor.device_name, "KORQZ6C2");
    Choose("KORQZ6C3", false, IDCANCEL);
    EXPECT_EQ(shown_name_, "KORQZ6C2");
    EXPECT_EQ(shown_default_, "KORQZ6C1");
    EXPECT_TRUE(survived_close_);
    EXPECT_STREQ(g_monitor.device_name, "KORQZ6C2");
}

TEST_F(DeviceDialog, NewNameForThisRunOnly)
{
    Choose("KORQZ6C3", false, IDOK);
    EXPECT_STREQ(g_monitor.device_name, "KORQZ6C3");
    EXPECT_EQ(StoredSetting("Hardware", "default_device"), "KORQZ6C1");
    EXPECT_EQ(ControlText(g_monitor.polling_window, IDC_POLLS_DEVICE_NAME), "KORQZ6C3");
}

TEST_F(DeviceDialog, NewNameAsDefault)
{
    Choose("KORQZ6C5", true, IDOK);
    EXPECT_STREQ(g_monitor.device_name, "KORQZ6C5");
    EXPECT_EQ(StoredSetting("Hardware", "default_device"), "KORQZ6C5");
}

TEST_F(DeviceDialog, NameIsNotCheckedAndKeptToFortyEightCharacters)
{
    const std::string typed = "no such device, and a name longer than any device name has";
    Choose(typed.c_str(), false, IDOK);
    EXPECT_EQ(std::string(g_monitor.device_name), typed.substr(0, 48));
}

}  // namespace
}  // namespace qz6::mon::test
