// First run on a bare system: only the driver file is in place. The
// configurator registers the service and records two adapters (Install);
// after the prefix restarts, the driver serves exactly those (Installed).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/adapter_names.h"
#include "common/sim_protocol.h"
#include "configurator/resources/resource_ids.h"
#include "support/device_support.h"
#include "tests/e2e/e2e_support.h"

namespace qz6::e2e {
namespace {

bool ServiceKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool DriverFileInPlace()
{
    char directory[MAX_PATH] = {};
    GetSystemDirectoryA(directory, sizeof directory);
    std::string path = std::string(directory) + "\\drivers\\zurezi6.sys";
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool AdapterOpens(unsigned adapter)
{
    test::DeviceHandle device = test::OpenAdapter(adapter);
    return device.Valid();
}

// What a user picks for one adapter: combo indices, then "&Set >>".
struct AdapterChoice {
    unsigned adapter;
    int port_index;
    int memory_index;
    int irq_index;
    const char* line;
};
constexpr AdapterChoice kChoices[] = {
    {0, 3, 16, 2, "ROZAR6O0\t0x300\t0xD0000\t 5"},
    {1, 2, 17, 4, "KORQZ6C1\t0x280\t0xD2000\t10"},
};

void Choose(HWND window, const AdapterChoice& choice)
{
    SendMessageA(GetDlgItem(window, IDC_DEVICE_LIST), LB_SETCURSEL, choice.adapter, 0);
    SendMessageA(GetDlgItem(window, IDC_IO_PORT), CB_SETCURSEL, choice.port_index, 0);
    SendMessageA(GetDlgItem(window, IDC_MEMORY), CB_SETCURSEL, choice.memory_index, 0);
    SendMessageA(GetDlgItem(window, IDC_IRQ), CB_SETCURSEL, choice.irq_index, 0);
    SendMessageA(GetDlgItem(window, IDC_SET), BM_CLICK, 0, 0);
}

TEST(Install, TheConfiguratorRegistersTheServiceAndRecordsTwoAdapters)
{
    ASSERT_TRUE(DriverFileInPlace()) << "the runner copies the driver file first";
    ASSERT_FALSE(ServiceKeyExists()) << "the prefix must be bare";

    Process conf;
    ASSERT_TRUE(conf.Start(ProgramBeside("qz6conf.exe")));
    HWND window = conf.WaitForWindow(QZ6CONF_WINDOW_CLASS);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(window), "Streaming (R731) Hardware Device Configuration");

    HWND registered = WaitForThreadWindow(conf.Thread(), "Zurezi6 Service Registered", "#32770");
    ASSERT_NE(registered, nullptr);
    EXPECT_EQ(MessageBoxText(registered),
              "The registry has been updated to include the Zurezi6 device driver.  Restart the system after "
              "configuring your card(s) for these changes to take effect.");
    EXPECT_TRUE(Capture(registered, "configurator_registered"));
    Press(registered, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(registered); }));
    EXPECT_TRUE(ServiceKeyExists());

    std::vector<std::string> lines = ListLines(GetDlgItem(window, IDC_DEVICE_LIST));
    ASSERT_EQ(lines.size(), kAdapterCount);
    for (unsigned n = 0; n < kAdapterCount; ++n)
        EXPECT_EQ(lines[n], std::string(kAdapterDeviceNames[n]) + "\t<Not Configured>");

    for (const AdapterChoice& choice : kChoices)
        Choose(window, choice);
    lines = ListLines(GetDlgItem(window, IDC_DEVICE_LIST));
    ASSERT_EQ(lines.size(), kAdapterCount);
    for (const AdapterChoice& choice : kChoices)
        EXPECT_EQ(lines[choice.adapter], choice.line);
    for (unsigned n = 2; n < kAdapterCount; ++n)
        EXPECT_EQ(lines[n], std::string(kAdapterDeviceNames[n]) + "\t<Not Configured>");
    EXPECT_TRUE(Capture(window, "configurator"));

    // The service manager learns of the new service only when the system
    // restarts: nothing is served yet.
    EXPECT_FALSE(AdapterOpens(0));

    Press(window, IDC_QUIT);
    HWND reminder = WaitForThreadWindow(conf.Thread(), "Configuration Changes Made", "#32770");
    ASSERT_NE(reminder, nullptr);
    EXPECT_EQ(MessageBoxText(reminder),
              "Restart service or reboot for changes to take effect. The service may be restarted at the command "
              "prompt by typing NET STOP ZUREZI6 followed by NET START ZUREZI6.");
    EXPECT_TRUE(Capture(reminder, "configurator_reminder"));
    Press(reminder, IDOK);
    EXPECT_EQ(conf.WaitForExit(), 0u);
}

TEST(Installed, TheDriverServesExactlyTheRecordedAdapters)
{
    for (unsigned n = 0; n < kAdapterCount; ++n)
        EXPECT_EQ(AdapterOpens(n), n < 2) << kAdapterDeviceNames[n];

    SimStatus status{};
    ASSERT_TRUE(test::SimStatusOf(status));
    const uint32_t io_base[] = {0x300, 0x280};
    const uint32_t memory[] = {0xD0000, 0xD2000};
    const uint32_t irq[] = {5, 10};
    for (unsigned n = 0; n < kAdapterCount; ++n) {
        SCOPED_TRACE(kAdapterDeviceNames[n]);
        EXPECT_EQ(status.adapters[n].present != 0, n < 2);
        if (n < 2) {
            EXPECT_EQ(status.adapters[n].io_base, io_base[n]);
            EXPECT_EQ(status.adapters[n].shared_memory, memory[n]);
            EXPECT_EQ(status.adapters[n].interrupt_number, irq[n]);
            EXPECT_EQ(status.adapters[n].configured, 0) << "no configuration before a program sets one";
        }
    }
}

}  // namespace
}  // namespace qz6::e2e
