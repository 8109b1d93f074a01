// The eight adapters: device names and registry names, one table for the
// driver, the configurator, the simulator tool and the tests.
#pragma once

#include <stdint.h>

namespace qz6 {

constexpr unsigned kAdapterCount = 8;

// Device N is opened as "\\.\" followed by kAdapterDeviceNames[N].
constexpr const char* kAdapterDeviceNames[kAdapterCount] = {
    "ROZAR6O0", "KORQZ6C1", "KORQZ6C2", "KORQZ6C3",
    "KORQZ6C4", "KORQZ6C5", "KORQZ6C6", "KORQZ6C7",
};
constexpr const wchar_t* kAdapterDeviceNamesWide[kAdapterCount] = {
    L"ROZAR6O0", L"KORQZ6C1", L"KORQZ6C2", L"KORQZ6C3",
    L"KORQZ6C4", L"KORQZ6C5", L"KORQZ6C6", L"KORQZ6C7",
};
constexpr unsigned kDeviceNameMax = 48;

// Registry: the service key, its Parameters key and one key per adapter,
// "Zurezi6c0" to "Zurezi6c7" below Parameters.
constexpr const char* kServiceName = "Zurezi6";
constexpr const char* kServiceKeyPath = "SYSTEM\\CurrentControlSet\\Services\\Zurezi6";
constexpr const char* kParametersKeyPath = "SYSTEM\\CurrentControlSet\\Services\\Zurezi6\\Parameters";
constexpr const char* kDeviceKeyFormat = "SYSTEM\\CurrentControlSet\\Services\\Zurezi6\\Parameters\\Zurezi6c%u";
constexpr const char* kDeviceKeyNameFormat = "Zurezi6c%u";
constexpr const char* kValueIoBaseAddress = "IoBaseAddress";
constexpr const char* kValueSharedMemoryAddress = "SharedMemoryAddress";
constexpr const char* kValueInterruptNumber = "InterruptNumber";

// The simulator's own control device (not part of the adapter contract).
constexpr const char* kSimulatorDevicePath = "\\\\.\\Zurezi6Sim";

// Index of a device name in the table, or -1.
constexpr int AdapterIndexOfName(const char* name)
{
    for (unsigned i = 0; i < kAdapterCount; ++i) {
        const char* a = kAdapterDeviceNames[i];
        const char* b = name;
        while (*a != 0 && *a == *b) {
            ++a;
            ++b;
        }
        if (*a == 0 && *b == 0)
            return static_cast<int>(i);
    }
    return -1;
}
static_assert(AdapterIndexOfName("KORQZ6C7") == 7);
static_assert(AdapterIndexOfName("ROZAR6O0") == 0);
static_assert(AdapterIndexOfName("KORQZ6C") == -1);

}  // namespace qz6
