// The frame's modal dialogs, all owned by the main window.
#pragma once

#include <windows.h>

namespace qz6::mon {

// CONFIG, "Streaming Monitor Configuration": polling intervals and timer.
void RunPollingConfigurationDialog();
INT_PTR CALLBACK PollingConfigurationDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// SELCARD, "New Device": the device to open. Returns 1 on OK, 0 on Cancel.
INT_PTR RunDeviceSelectionDialog();
INT_PTR CALLBACK DeviceSelectionDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

void ShowAboutBox();

}  // namespace qz6::mon
