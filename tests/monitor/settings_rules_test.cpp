#include "monitor/frame/settings_rules.h"

#include <gtest/gtest.h>

namespace qz6::mon {
namespace {

TEST(SettingsRules, StoredTickIntervalOutsideTheDialogRangeFallsBackToTwenty)
{
    const struct {
        uint32_t stored;
        uint32_t ticks_per_poll;
    } rows[] = {
        {0, 20000}, {1, 1000}, {20, 20000}, {65535, 65535000}, {65536, 20000}, {0xFFFFFFFF, 20000},
    };
    for (const auto& row : rows)
        EXPECT_EQ(TicksPerPoll(TickIntervalFromFile(row.stored)), row.ticks_per_poll) << row.stored;
}

TEST(SettingsRules, StoredTimerPeriodMustFitSixteenBits)
{
    EXPECT_EQ(TimerPeriodFromFile(0), 0);
    EXPECT_EQ(TimerPeriodFromFile(3000), 3000);
    EXPECT_EQ(TimerPeriodFromFile(65535), 65535);
    EXPECT_EQ(TimerPeriodFromFile(65536), 3000);
    EXPECT_EQ(TimerPeriodFromFile(70000), 3000);
}

TEST(SettingsRules, TickFieldShowsThousandsOfPasses)
{
    EXPECT_EQ(TickFieldValue(20000), 20);
    EXPECT_EQ(TickFieldValue(1999), 1);
    EXPECT_EQ(TickFieldValue(65535000), 65535);
}

TEST(SettingsRules, PollingDialogRanges)
{
    const struct {
        uint32_t tick;
        uint32_t period;
        bool timer;
        bool valid;
    } rows[] = {
        {20, 3000, true, true},     {1, 1, true, true},         {65535, 65535, true, true},
        {0, 3000, true, false},     {0, 3000, false, false},    {65536, 3000, false, false},
        {20, 0, true, false},       {20, 0, false, true},       {20, 65536, false, false},
        {20, 65536, true, false},   {20, 70000, true, false},   {0xFFFFFFFF, 1, true, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PollingEntriesValid(row.tick, row.period, row.timer), row.valid)
            << row.tick << " " << row.period << " " << row.timer;
}

TEST(SettingsRules, ValuesAreWrittenAsPlainDecimal)
{
    char text[12];
    EXPECT_EQ(FormatSettingValue(0, text), "0");
    EXPECT_EQ(FormatSettingValue(3000, text), "3000");
    EXPECT_EQ(FormatSettingValue(4294967295u, text), "4294967295");
    EXPECT_STREQ(FlagText(true), "1");
    EXPECT_STREQ(FlagText(false), "0");
}

}  // namespace
}  // namespace qz6::mon
