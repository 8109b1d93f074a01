// The monitor's settings as values: names in qz6mon.ini, defaults, the
// rules applied when they are loaded and when the polling dialog accepts
// them, and their text forms. No Windows header.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qz6::mon {

// The file is addressed by its bare name, so the profile functions keep it
// in the Windows directory.
inline constexpr const char* kSettingsFile = "qz6mon.ini";

inline constexpr const char* kPollingSection = "Polling";
inline constexpr const char* kHardwareSection = "Hardware";
inline constexpr const char* kOptionsSection = "Options";
inline constexpr const char* kCaptureSection = "Capture";

inline constexpr const char* kTickIntervalKey = "tick_interval";
inline constexpr const char* kTimerPeriodKey = "tick_interval_ms";
inline constexpr const char* kUseTimerKey = "use_system_timer";
inline constexpr const char* kDefaultDeviceKey = "default_device";
inline constexpr const char* kAutoArrangeKey = "auto_arrange_on_resize";
inline constexpr const char* kCapturePathKey = "last_file";

inline constexpr uint32_t kDefaultTickInterval = 20;
inline constexpr uint32_t kDefaultTimerPeriodMs = 3000;
inline constexpr uint32_t kDefaultUseTimer = 1;
inline constexpr const char* kDefaultDeviceName = "ROZAR6O0";
inline constexpr uint32_t kDefaultAutoArrange = 1;

inline constexpr uint32_t kIdlePassesPerTick = 1000;
inline constexpr uint32_t kIntervalMax = 65535;

// A stored tick interval of 0 or above what the dialog accepts falls back
// to the default, so ticks-per-poll is never 0.
constexpr uint32_t TickIntervalFromFile(uint32_t stored)
{
    return (stored == 0 || stored > kIntervalMax) ? kDefaultTickInterval : stored;
}

// The timer period is a 16-bit number; a stored value that does not fit
// falls back to the default rather than being cut to its low bits.
constexpr uint16_t TimerPeriodFromFile(uint32_t stored)
{
    return static_cast<uint16_t>(stored > kIntervalMax ? kDefaultTimerPeriodMs : stored);
}

constexpr uint32_t TicksPerPoll(uint32_t tick_interval) { return tick_interval * kIdlePassesPerTick; }

// What the polling dialog's tick field shows for a ticks-per-poll count.
constexpr uint16_t TickFieldValue(uint32_t ticks_per_poll)
{
    return static_cast<uint16_t>(ticks_per_poll / kIdlePassesPerTick);
}

// The polling dialog accepts a tick value of 1..65535 and a timer period
// of 1..65535 with the timer enabled, 0..65535 without.
constexpr bool PollingEntriesValid(uint32_t tick_value, uint32_t timer_period, bool timer_enabled)
{
    const bool tick_ok = tick_value >= 1 && tick_value <= kIntervalMax;
    const bool period_ok = timer_period <= kIntervalMax && (!timer_enabled || timer_period >= 1);
    return tick_ok && period_ok;
}

// Unsigned decimal text of a setting ("%lu" and "%u" give the same digits).
std::string_view FormatSettingValue(uint32_t value, std::span<char, 12> out);

// "1" or "0" for a flag.
constexpr const char* FlagText(bool flag) { return flag ? "1" : "0"; }

}  // namespace qz6::mon
