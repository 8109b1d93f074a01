// The monitor windows: five captioned child windows of the main window,
// each from a dialog template that names its own LMTR_ class. The check
// mark of a kind's menu item is the only record that its window is open.
// GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "monitor/windows/monitor_kinds.h"

namespace qz6::mon {

bool MonitorWindowIsOpen(uint16_t menu_item);

// Opens the kind's window, or restores and raises it when it is open.
void OpenMonitorWindow(MonitorKind kind);

// Restores and raises the window of that class.
void ActivateMonitorWindow(const char* class_name);

bool MonitorClassMatch(HWND window);

// Sends the message to every monitor window, one after the other.
void BroadcastToMonitorWindows(uint16_t message, uint16_t wparam);

// Destroys every monitor window and clears their check marks; a Polling
// window that was open comes back at once, fresh.
void CloseAllMonitorWindows();

void MinimizeAllMonitorWindows();

// The Polling window's device name and state, when it is open.
void ShowDeviceInfo();

// First step of every monitor window procedure for every message: closes
// the window on its "&Close" button or its system Close command and raises
// it on a click. Never consumes the message; always 0.
LRESULT FilterMonitorWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam, uint16_t menu_item);

// The kinds' window procedures.
LRESULT CALLBACK LinkStatusWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK PollingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK OperationalStatisticsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK CommErrorStatisticsWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK ModemStatusWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace qz6::mon
