#include "monitor/frame/poll_schedule.h"

#include <gtest/gtest.h>

#include "monitor/frame/menu_states.h"
#include "monitor/windows/monitor_kinds.h"

#include <set>

namespace qz6::mon {
namespace {

TEST(PollSchedule, IdlePassesCountOnlyWithADeviceAndNoTimer)
{
    for (int bits = 0; bits < 8; ++bits) {
        const bool stopped = bits & 1, timer = bits & 2, device = bits & 4;
        EXPECT_EQ(IdlePassCounts(stopped, timer, device), !stopped && !timer && device) << bits;
    }
}

TEST(PollSchedule, NoDeviceNoCountNoPoll)
{
    uint32_t counter = 41;
    EXPECT_FALSE(AdvancePollClock(counter, 1, false, false, false));
    EXPECT_FALSE(AdvancePollClock(counter, 1, false, false, true));
    EXPECT_EQ(counter, 41u);
}

TEST(PollSchedule, DueOnEveryMultipleOfTicksPerPoll)
{
    uint32_t counter = 0;
    int due = 0;
    for (int pass = 1; pass <= 3000; ++pass)
        if (AdvancePollClock(counter, 1000, true, false, false))
            ++due;
    EXPECT_EQ(due, 3);
    EXPECT_EQ(counter, 3000u);
}

TEST(PollSchedule, SuspendedCountsButNeverPollsUnlessForced)
{
    uint32_t counter = 999;
    EXPECT_FALSE(AdvancePollClock(counter, 1000, true, true, false));
    EXPECT_EQ(counter, 1000u);
    EXPECT_TRUE(AdvancePollClock(counter, 1000, true, true, true));
    EXPECT_EQ(counter, 1001u);
}

TEST(PollSchedule, CounterWrapsAndZeroTicksPerPollNeverDivides)
{
    uint32_t counter = 0xFFFFFFFF;
    EXPECT_TRUE(AdvancePollClock(counter, 1000, true, false, false));
    EXPECT_EQ(counter, 0u);
    EXPECT_TRUE(AdvancePollClock(counter, 0, true, false, false));
}

TEST(MenuStates, EachItemFlipsBetweenTheTwoStates)
{
    std::set<uint16_t> ids;
    for (const MenuItemEnable& item : kDeviceMenuItems) {
        EXPECT_NE(MenuItemEnabled(item, DeviceMenuState::Closed), MenuItemEnabled(item, DeviceMenuState::Open))
            << item.id;
        ids.insert(item.id);
    }
    EXPECT_EQ(ids.size(), kDeviceMenuItems.size());
    const std::set<uint16_t> usable_without_device = {IDM_SELECT_DEVICE, IDM_OPEN_DEVICE, IDM_CONFIGURE_DEVICE};
    for (const MenuItemEnable& item : kDeviceMenuItems)
        EXPECT_EQ(MenuItemEnabled(item, DeviceMenuState::Closed), usable_without_device.count(item.id) == 1)
            << item.id;
    for (uint16_t untouched : {IDM_ABOUT, IDM_CONFIGURE, IDM_EXIT, IDM_POLLING_WINDOW, IDM_POLL_NOW,
                               IDM_SUSPEND_POLLING, IDM_ARRANGE_ICONS, IDM_MINIMIZE_ALL, IDM_AUTO_ARRANGE})
        EXPECT_EQ(ids.count(untouched), 0u) << untouched;
}

TEST(MonitorKinds, ClassPrefixIsCaseSensitiveAndWhole)
{
    EXPECT_TRUE(ClassNameIsMonitor("LMTR_POLLS"));
    EXPECT_TRUE(ClassNameIsMonitor("LMTR_"));
    EXPECT_FALSE(ClassNameIsMonitor("LMTR"));
    EXPECT_FALSE(ClassNameIsMonitor("lmtr_polls"));
    EXPECT_FALSE(ClassNameIsMonitor("Button"));
    EXPECT_FALSE(ClassNameIsMonitor(""));
}

TEST(MonitorKinds, RowsAreIndexedByKindAndRecognisedAsMonitors)
{
    std::set<uint16_t> items;
    for (size_t i = 0; i < MonitorWindowKinds.size(); ++i) {
        const MonitorKindRow& row = MonitorWindowKinds[i];
        EXPECT_EQ(static_cast<size_t>(row.kind), i);
        EXPECT_TRUE(ClassNameIsMonitor(row.class_name));
        EXPECT_LT(std::string_view(row.class_name).size(), kClassNameBuffer);
        items.insert(row.menu_item);
    }
    EXPECT_EQ(items.size(), MonitorWindowKinds.size());
    EXPECT_EQ(kOpenAllOrder.back(), MonitorKind::ModemStatus);
}

}  // namespace
}  // namespace qz6::mon
