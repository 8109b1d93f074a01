// The five kinds of monitor window: one fixed row each. No Windows header;
// the window procedures are paired with the rows in monitor_windows.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "monitor/resources/resource_ids.h"

namespace qz6::mon {

enum class MonitorKind : uint8_t {
    LinkStatus,
    Polling,
    OperationalStatistics,
    CommErrorStatistics,
    ModemStatus,
};

struct MonitorKindRow {
    MonitorKind kind;
    uint16_t menu_item;
    const char* class_name;
    const char* template_name;
    const char* icon_name;
    const char* title;
};

inline constexpr std::array<MonitorKindRow, 5> MonitorWindowKinds = {{
    {MonitorKind::LinkStatus, IDM_LINK_STATUS, "LMTR_LINKS", QZ6MON_LSTAT_TEMPLATE, QZ6MON_LSTAT_ICON,
     "Link Status"},
    {MonitorKind::Polling, IDM_POLLING_WINDOW, "LMTR_POLLS", QZ6MON_POLLS_TEMPLATE, QZ6MON_POLLS_ICON,
     "Polling and Device Info"},
    {MonitorKind::OperationalStatistics, IDM_OPERATIONAL_STATISTICS, "LMTR_OPSTATS", QZ6MON_OPSTATS_TEMPLATE,
     QZ6MON_OPSTATS_ICON, "Operational Statistics"},
    {MonitorKind::CommErrorStatistics, IDM_COMM_ERROR_STATISTICS, "LMTR_COMES", QZ6MON_COMES_TEMPLATE,
     QZ6MON_COMES_ICON, "Communications Error Statistics"},
    {MonitorKind::ModemStatus, IDM_MODEM_STATUS, "LMTR_MODEMS", QZ6MON_MODEMS_TEMPLATE, QZ6MON_MODEMS_ICON,
     "Modem Status"},
}};

constexpr const MonitorKindRow& KindRow(MonitorKind kind)
{
    return MonitorWindowKinds[static_cast<size_t>(kind)];
}
static_assert(KindRow(MonitorKind::ModemStatus).menu_item == IDM_MODEM_STATUS);

// "&Open All" opens the data windows in this order, so Modem Status ends on top.
inline constexpr std::array<MonitorKind, 4> kOpenAllOrder = {
    MonitorKind::LinkStatus,
    MonitorKind::OperationalStatistics,
    MonitorKind::CommErrorStatistics,
    MonitorKind::ModemStatus,
};

// Monitor windows are recognised by their class name alone.
inline constexpr std::string_view kMonitorClassPrefix = "LMTR_";
// Class names are read into a buffer of this size: at most 29 characters.
inline constexpr unsigned kClassNameBuffer = 30;

constexpr bool ClassNameIsMonitor(std::string_view class_name)
{
    return class_name.starts_with(kMonitorClassPrefix);
}

}  // namespace qz6::mon
