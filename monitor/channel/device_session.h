// The device session: opening and closing the adapter's device. GUI thread
// only, but for OpenNamedDeviceHandle, which the receive thread also calls
// for a handle of its own.
#pragma once

#include <windows.h>

namespace qz6::mon {

// "&Open Device": opens the device named in the settings, reads its
// configuration (with retries and prompts) and its code version, and
// switches the menu to its device-open state. True when the device is open
// and answered.
bool OpenDevice();

// Reads the configuration, keeps the reply and reads the code version.
// True when the configuration was read, whatever became of the version.
bool ReadConfigurationAndVersion();

// "Cl&ose Device": does nothing unless a device is open.
void CloseDevice();

// Opens "\\.\" followed by the device name for commands, the one way every
// handle of the session is opened. INVALID_HANDLE_VALUE on failure, with
// the platform's error code left for GetLastError.
HANDLE OpenDeviceHandle();
// The same for another device of the driver, e.g. a line test's partner.
HANDLE OpenNamedDeviceHandle(const char* device_name);

// "Open Error" with the platform's error code of a failed open.
void ShowOpenError(DWORD error);

// The Polling window's status field, written only while that window is open.
void ShowPollingStatus(const char* text);

}  // namespace qz6::mon
