// The main menu's two enable states as one table. No Windows header.
#pragma once

#include <array>
#include <cstdint>

#include "monitor/resources/resource_ids.h"

namespace qz6::mon {

enum class DeviceMenuState : uint8_t { Closed, Open };

struct MenuItemEnable {
    uint16_t id;
    bool enabled_without_device;
    bool enabled_with_device;
};

// The fourteen device-dependent items in the order they are applied, then
// the four items of the device session. No other item is touched.
inline constexpr std::array<MenuItemEnable, 18> kDeviceMenuItems = {{
    {IDM_LINK_STATUS, false, true},
    {IDM_OPERATIONAL_STATISTICS, false, true},
    {IDM_COMM_ERROR_STATISTICS, false, true},
    {IDM_MODEM_STATUS, false, true},
    {IDM_OPEN_ALL, false, true},
    {IDM_STREAMING, false, true},
    {IDM_ENABLE_COMMUNICATIONS, false, true},
    {IDM_DISABLE_COMMUNICATIONS, false, true},
    {IDM_BRIDGE_CONTROL, false, true},
    {IDM_SET_MODEM_STATUS, false, true},
    {IDM_SEND_FRAMES, false, true},
    {IDM_CRC_ERROR_CONTROL, false, true},
    {IDM_CAPTURE_TO_FILE, false, true},
    {IDM_LINE_TEST, false, true},
    {IDM_SELECT_DEVICE, true, false},
    {IDM_CLOSE_DEVICE, false, true},
    {IDM_OPEN_DEVICE, true, false},
    {IDM_CONFIGURE_DEVICE, true, false},
}};

constexpr bool MenuItemEnabled(const MenuItemEnable& item, DeviceMenuState state)
{
    return state == DeviceMenuState::Open ? item.enabled_with_device : item.enabled_without_device;
}

}  // namespace qz6::mon
