#include "monitor/frame/settings.h"

#include <windows.h>

#include "monitor/frame/monitor_state.h"
#include "monitor/frame/settings_rules.h"

namespace qz6::mon {
namespace {

uint32_t ReadUnsigned(const char* section, const char* key, uint32_t fallback)
{
    return GetPrivateProfileIntA(section, key, static_cast<INT>(fallback), kSettingsFile);
}

void WriteUnsigned(const char* section, const char* key, uint32_t value)
{
    char text[12];
    FormatSettingValue(value, text);
    WritePrivateProfileStringA(section, key, text, kSettingsFile);
}

}  // namespace

void LoadSettings()
{
    const uint32_t tick_interval = TickIntervalFromFile(ReadUnsigned(kPollingSection, kTickIntervalKey, kDefaultTickInterval));
    g_monitor.ticks_per_poll = TicksPerPoll(tick_interval);
    g_monitor.timer_period_ms = TimerPeriodFromFile(ReadUnsigned(kPollingSection, kTimerPeriodKey, kDefaultTimerPeriodMs));
    g_monitor.use_timer = ReadUnsigned(kPollingSection, kUseTimerKey, kDefaultUseTimer) != 0;
    GetPrivateProfileStringA(kHardwareSection, kDefaultDeviceKey, kDefaultDeviceName, g_monitor.device_name,
                             sizeof g_monitor.device_name, kSettingsFile);
    g_monitor.auto_arrange = ReadUnsigned(kOptionsSection, kAutoArrangeKey, kDefaultAutoArrange) != 0;
}

void SaveTickInterval(uint32_t tick_interval) { WriteUnsigned(kPollingSection, kTickIntervalKey, tick_interval); }

void SaveTimerPeriod(uint16_t period_ms) { WriteUnsigned(kPollingSection, kTimerPeriodKey, period_ms); }

void SaveUseTimer(bool use_timer)
{
    WritePrivateProfileStringA(kPollingSection, kUseTimerKey, FlagText(use_timer), kSettingsFile);
}

void SaveAutoArrange(bool auto_arrange) { WriteUnsigned(kOptionsSection, kAutoArrangeKey, auto_arrange ? 1 : 0); }

void SaveDefaultDevice(const char* device_name)
{
    WritePrivateProfileStringA(kHardwareSection, kDefaultDeviceKey, device_name, kSettingsFile);
}

void SaveCapturePath(const char* path)
{
    WritePrivateProfileStringA(kCaptureSection, kCapturePathKey, path, kSettingsFile);
}

void ReadCapturePath(std::span<char> path)
{
    GetPrivateProfileStringA(kCaptureSection, kCapturePathKey, "", path.data(), static_cast<DWORD>(path.size()),
                             kSettingsFile);
}

void ReadStoredDefaultDevice(char (&name)[kDeviceNameMax + 1])
{
    GetPrivateProfileStringA(kHardwareSection, kDefaultDeviceKey, "", name, sizeof name, kSettingsFile);
}

}  // namespace qz6::mon
