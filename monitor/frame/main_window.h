// The frame window: its class, its procedure and the two menu states.
#pragma once

#include <windows.h>

#include <cstdint>

#include "monitor/frame/menu_states.h"

namespace qz6::mon {

inline constexpr const char* kMainClassName = "QZ6MONClass";
inline constexpr const char* kMainTitle = "HDLC Streaming Monitor";

bool RegisterMainWindowClass();
HWND CreateMainWindow();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

void ApplyMenuState(DeviceMenuState state);
void SetDeviceClosedMenus();
void SetDeviceOpenMenus();

// Check mark of a main menu item.
void SetMenuCheck(uint16_t item, bool checked);

// Lines up the minimised monitor windows along the bottom of the frame.
void ArrangeMonitorIcons();

// Every item of MAINMENU.
void DispatchMenuCommand(uint16_t item);

}  // namespace qz6::mon
