// The configurator's window, driven in this process through its real
// controls and messages, on the real registry of the test prefix.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "configurator/resources/resource_ids.h"
#include "tests/configurator/registry_write_log.h"
#include "tests/configurator/window_fixture.h"

namespace qz6::conf::test {
namespace {

const char* const kNames[] = {"ROZAR6O0", "KORQZ6C1", "KORQZ6C2", "KORQZ6C3",
                              "KORQZ6C4", "KORQZ6C5", "KORQZ6C6", "KORQZ6C7"};

std::string NotConfigured(unsigned adapter)
{
    return std::string(kNames[adapter]) + "\t<Not Configured>";
}

constexpr char kReminderCaption[] = "Configuration Changes Made";
constexpr char kReminderText[] =
    "Restart service or reboot for changes to take effect. The service may be restarted at the command prompt by "
    "typing NET STOP ZUREZI6 followed by NET START ZUREZI6.";

using ConfiguratorWindow = ConfiguratorWindowTest;

TEST_F(ConfiguratorWindow, FirstStartRegistersTheServiceAndSaysSo)
{
    DeleteServiceKey();
    ASSERT_TRUE(Start());

    std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "Zurezi6 Service Registered");
    EXPECT_EQ(seen[0].text,
              "The registry has been updated to include the Zurezi6 device driver.  Restart the system after "
              "configuring your card(s) for these changes to take effect.");
    EXPECT_EQ(seen[0].icon, BoxIcon::kInformation);
    EXPECT_EQ(seen[0].owner, Window());

    // Exactly the three service values, and nothing below the key.
    EXPECT_EQ(ValueNames(kServiceKey), (std::vector<std::string>{"ErrorControl", "Start", "Type"}));
    EXPECT_EQ(DwordValue(kServiceKey, "ErrorControl"), 1u);
    EXPECT_EQ(DwordValue(kServiceKey, "Start"), 2u);
    EXPECT_EQ(DwordValue(kServiceKey, "Type"), 1u);
    EXPECT_TRUE(SubkeyNames(kServiceKey).empty());

    std::vector<std::string> expected;
    for (unsigned n = 0; n < 8; ++n)
        expected.push_back(NotConfigured(n));
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(SelectedLine(), 0);
    EXPECT_EQ(Chosen(IDC_IO_PORT), "0x360");
    EXPECT_EQ(Chosen(IDC_MEMORY), "0xD0000");
    EXPECT_EQ(Chosen(IDC_IRQ), "5");
    EXPECT_EQ(SendMessageA(Item(IDC_IO_PORT), CB_GETCOUNT, 0, 0), 8);
    EXPECT_EQ(SendMessageA(Item(IDC_MEMORY), CB_GETCOUNT, 0, 0), 32);
    EXPECT_EQ(SendMessageA(Item(IDC_IRQ), CB_GETCOUNT, 0, 0), 7);
}

TEST_F(ConfiguratorWindow, LaterStartsLeaveAnExistingServiceKeyAlone)
{
    DeleteServiceKey();
    ASSERT_TRUE(Start());
    EndRun();
    SetDwordValue(kServiceKey, "Start", 3);
    DeleteValue(kServiceKey, "Type");
    boxes_.Clear();

    ASSERT_TRUE(Start());
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_EQ(DwordValue(kServiceKey, "Start"), 3u);
    EXPECT_EQ(ValueNames(kServiceKey), (std::vector<std::string>{"ErrorControl", "Start"}));
}

TEST_F(ConfiguratorWindow, SetStoresTheChoicesForTheSelectedLineAndKeepsItSelected)
{
    ASSERT_TRUE(Start());
    std::vector<std::string> before = Lines();

    SelectLine(3);
    Click(IDC_SET);
    std::vector<std::string> expected = before;
    expected[3] = "KORQZ6C3\t0x360\t0xD0000\t 5";
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(SelectedLine(), 3);
    EXPECT_EQ(DwordValue(DeviceKey(3), "IoBaseAddress"), 0x360u);
    EXPECT_EQ(DwordValue(DeviceKey(3), "SharedMemoryAddress"), 0xD0000u);
    EXPECT_EQ(DwordValue(DeviceKey(3), "InterruptNumber"), 5u);

    Choose(IDC_IO_PORT, "0x250");
    Choose(IDC_MEMORY, "0xA0000");
    Choose(IDC_IRQ, "10");
    SelectLine(7);
    Click(IDC_SET);
    expected[7] = "KORQZ6C7\t0x250\t0xA0000\t10";
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(SelectedLine(), 7);
    EXPECT_EQ(DwordValue(DeviceKey(7), "InterruptNumber"), 10u);

    // Choosing another line does not load its values into the choices.
    SelectLine(3);
    EXPECT_EQ(Chosen(IDC_IO_PORT), "0x250");
    EXPECT_EQ(Chosen(IDC_MEMORY), "0xA0000");
    EXPECT_EQ(Chosen(IDC_IRQ), "10");
}

// "InterruptNumber" marks an adapter as configured, so it is written last:
// a set that fails part-way leaves a new adapter unconfigured.
TEST_F(ConfiguratorWindow, SetWritesTheInterruptLineLast)
{
    DeleteKey(DeviceKey(6));
    ASSERT_TRUE(Start());
    SelectLine(6);
    std::vector<std::string> written;
    {
        RegistryWriteLog log;
        ASSERT_TRUE(log.Active());
        Click(IDC_SET);
        written = log.Names();
    }
    EXPECT_EQ(written, (std::vector<std::string>{"IoBaseAddress", "SharedMemoryAddress", "InterruptNumber"}));
    EXPECT_EQ(Lines()[6], "KORQZ6C6\t0x360\t0xD0000\t 5");
}

TEST_F(ConfiguratorWindow, ClearingAConfiguredLineRemovesOnlyItsKey)
{
    WriteAdapter(2, 0x280, 0xA4000, 11);
    ASSERT_TRUE(Start());
    std::vector<std::string> before = Lines();
    ASSERT_EQ(before[2], "KORQZ6C2\t0x280\t0xA4000\t11");

    SelectLine(2);
    Click(IDC_CLEAR_ENTRY);
    std::vector<std::string> expected = before;
    expected[2] = NotConfigured(2);
    EXPECT_EQ(Lines(), expected);
    EXPECT_EQ(SelectedLine(), 2);
    EXPECT_FALSE(KeyExists(DeviceKey(2)));
    EXPECT_TRUE(KeyExists(kParametersKey));
}

TEST_F(ConfiguratorWindow, ClearingAnUnconfiguredLineStillCountsAsAChange)
{
    DeleteKey(DeviceKey(6));
    ASSERT_TRUE(Start());
    std::vector<std::string> before = Lines();
    ASSERT_EQ(before[6], NotConfigured(6));

    SelectLine(6);
    Click(IDC_CLEAR_ENTRY);
    EXPECT_EQ(Lines(), before);
    EXPECT_EQ(SelectedLine(), 6);

    HWND window = Window();
    Click(IDC_QUIT);
    EXPECT_EQ(RunLoopToEnd(), 0);
    std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, kReminderCaption);
    EXPECT_EQ(seen[0].text, kReminderText);
    EXPECT_EQ(seen[0].icon, BoxIcon::kInformation);
    EXPECT_EQ(seen[0].owner, window);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ConfiguratorWindow, QuitWithoutChangesEndsWithoutABox)
{
    ASSERT_TRUE(Start());
    HWND window = Window();
    Click(IDC_QUIT);
    EXPECT_EQ(RunLoopToEnd(), 0);
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_FALSE(IsWindow(window));
}

// The close box, the system menu's Close and any other WM_CLOSE end the run
// at once, changes or not.
TEST_F(ConfiguratorWindow, ClosingTheWindowAfterChangesShowsNoReminder)
{
    const struct {
        UINT message;
        WPARAM wparam;
    } closes[] = {{WM_SYSCOMMAND, SC_CLOSE}, {WM_CLOSE, 0}};
    for (const auto& close : closes) {
        SCOPED_TRACE(close.message);
        ASSERT_TRUE(Start());
        SelectLine(4);
        Click(IDC_SET);
        HWND window = Window();
        PostMessageA(window, close.message, close.wparam, 0);
        EXPECT_EQ(RunLoopToEnd(), 0);
        EXPECT_TRUE(boxes_.Seen().empty());
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(DwordValue(DeviceKey(4), "InterruptNumber"), 5u);
        EndRun();
    }
}

TEST_F(ConfiguratorWindow, LinesShowWhatTheRegistryHolds)
{
    // Port and memory without an interrupt line, or with 0 there.
    DeleteKey(DeviceKey(5));
    SetDwordValue(DeviceKey(5), "IoBaseAddress", 0x360);
    SetDwordValue(DeviceKey(5), "SharedMemoryAddress", 0xD0000);
    WriteAdapter(6, 0x300, 0xC0000, 0);
    // Values no choice offers, written by other means.
    WriteAdapter(1, 0x3E8, 0xC8000, 9);
    // More than four bytes under a right name read as 0.
    WriteAdapter(2, 0x280, 0xA4000, 11);
    const char long_port[] = "0x360 port";
    SetRawValue(DeviceKey(2), "IoBaseAddress", REG_SZ, long_port, sizeof(long_port));
    WriteAdapter(7, 0x390, 0xEE000, 12);
    const BYTE long_irq[8] = {12, 0, 0, 0, 0, 0, 0, 0};
    SetRawValue(DeviceKey(7), "InterruptNumber", REG_QWORD, long_irq, sizeof(long_irq));

    ASSERT_TRUE(Start());
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], NotConfigured(5));
    EXPECT_EQ(lines[6], NotConfigured(6));
    EXPECT_EQ(lines[1], "KORQZ6C1\t0x3E8\t0xC8000\t 9");
    EXPECT_EQ(lines[2], "KORQZ6C2\t0x000\t0xA4000\t11");
    EXPECT_EQ(lines[7], NotConfigured(7));
}

TEST_F(ConfiguratorWindow, WithoutASelectedLineSetAndClearTouchNothing)
{
    WriteAdapter(2, 0x280, 0xA4000, 11);
    ASSERT_TRUE(Start());
    std::vector<std::string> before = Lines();
    std::string registry_before = DescribeTree(kServiceKey);

    SelectLine(-1);
    Click(IDC_SET);
    Click(IDC_CLEAR_ENTRY);
    EXPECT_EQ(Lines(), before);
    EXPECT_EQ(DescribeTree(kServiceKey), registry_before);

    Click(IDC_QUIT);
    EXPECT_EQ(RunLoopToEnd(), 0);
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST_F(ConfiguratorWindow, AboutIsTheLastItemOfTheSystemMenu)
{
    ASSERT_TRUE(Start());
    HMENU menu = GetSystemMenu(Window(), FALSE);
    int count = GetMenuItemCount(menu);
    ASSERT_GE(count, 2);
    char text[32] = {};
    GetMenuStringA(menu, static_cast<UINT>(count - 1), text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ(text, "About...");
    EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(ID_ABOUT));
    EXPECT_TRUE(GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR);

    PostMessageA(Window(), WM_SYSCOMMAND, ID_ABOUT, 0);
    EXPECT_FALSE(PumpQueued());
    std::vector<SeenBox> seen = boxes_.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "About QZ6CONF v1.0");
    EXPECT_EQ(seen[0].text.substr(0, seen[0].text.find('\n')), "QZ6CONF - R731 Streaming Hardware Configurator");
    EXPECT_EQ(seen[0].text.substr(seen[0].text.rfind('\n') + 1), "May 1996 release");
    EXPECT_EQ(std::count(seen[0].text.begin(), seen[0].text.end(), '\n'), 2);
    EXPECT_EQ(seen[0].icon, BoxIcon::kInformation);
    EXPECT_TRUE(IsWindowVisible(Window()));
}

// Keys reach the window through the dialog manager, as the program's loop
// routes them.
TEST_F(ConfiguratorWindow, KeyboardWorksAsInADialog)
{
    ASSERT_TRUE(Start());
    SetFocus(Item(IDC_SET));

    // Tab moves on to the device list.
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_FALSE(PumpQueued());
    EXPECT_EQ(GetFocus(), Item(IDC_DEVICE_LIST));

    // Alt+S is "&Set >>" on the selected line.
    SelectLine(5);
    PostMessageA(GetFocus(), WM_SYSCHAR, 's', 1 << 29);
    EXPECT_FALSE(PumpQueued());
    EXPECT_EQ(Lines()[5], "KORQZ6C5\t0x360\t0xD0000\t 5");

    // Alt+C is "&Clear Entry".
    PostMessageA(GetFocus(), WM_SYSCHAR, 'c', 1 << 29);
    EXPECT_FALSE(PumpQueued());
    EXPECT_EQ(Lines()[5], NotConfigured(5));

    // Enter presses the default button, "&Quit", with the reminder.
    SetFocus(Item(IDC_DEVICE_LIST));
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(RunLoopToEnd(), 0);
    ASSERT_EQ(boxes_.Seen().size(), 1u);
    EXPECT_EQ(boxes_.Seen()[0].caption, kReminderCaption);
}

TEST_F(ConfiguratorWindow, EscapeQuitsLikeQuit)
{
    const bool changes[] = {false, true};
    for (bool change : changes) {
        SCOPED_TRACE(change);
        boxes_.Clear();
        ASSERT_TRUE(Start());
        if (change)
            Click(IDC_SET);
        SetFocus(Item(IDC_DEVICE_LIST));
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(RunLoopToEnd(), 0);
        EXPECT_EQ(boxes_.Seen().size(), change ? 1u : 0u);
        EndRun();
    }
}

// What the commands rely on: list line N is adapter N, combo item i is
// entry i, and Enter means "&Quit".
TEST_F(ConfiguratorWindow, ListsAreUnsortedAndQuitIsTheDefault)
{
    ASSERT_TRUE(Start());
    LONG_PTR list = GetWindowLongPtrA(Item(IDC_DEVICE_LIST), GWL_STYLE);
    EXPECT_EQ(list & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL), 0);
    EXPECT_NE(list & LBS_USETABSTOPS, 0);
    for (int combo : {IDC_IO_PORT, IDC_MEMORY, IDC_IRQ})
        EXPECT_EQ(GetWindowLongPtrA(Item(combo), GWL_STYLE) & CBS_SORT, 0) << combo;
    EXPECT_EQ(LOWORD(SendMessageA(Window(), DM_GETDEFID, 0, 0)), IDC_QUIT);
    EXPECT_EQ(GetWindowLongPtrA(Window(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
}

// Without its class or window the program ends before it looks at the
// registry, showing nothing.
TEST_F(ConfiguratorWindow, StartEndsQuietlyWhenTheClassCannotBeRegistered)
{
    DeleteServiceKey();
    WNDCLASSA taken{};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleA(nullptr);
    taken.lpszClassName = QZ6CONF_WINDOW_CLASS;
    ASSERT_NE(RegisterClassA(&taken), 0);
    EXPECT_FALSE(Start());
    EXPECT_EQ(Window(), nullptr);
    EXPECT_TRUE(boxes_.Seen().empty());
    EXPECT_FALSE(KeyExists(kServiceKey));
}

}  // namespace
}  // namespace qz6::conf::test
