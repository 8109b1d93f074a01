// qz6mon.ini: read once at start, each setting written when it changes.
#pragma once

#include <cstdint>
#include <span>

#include "common/adapter_names.h"

namespace qz6::mon {

// Fills the settings members of MonitorState from the file, defaults for
// whatever is missing.
void LoadSettings();

void SaveTickInterval(uint32_t tick_interval);
void SaveTimerPeriod(uint16_t period_ms);
void SaveUseTimer(bool use_timer);
void SaveAutoArrange(bool auto_arrange);
void SaveDefaultDevice(const char* device_name);

// The file of the last capture, "" when none was made.
void SaveCapturePath(const char* path);
void ReadCapturePath(std::span<char> path);

// The start-up default device as stored, "" when absent.
void ReadStoredDefaultDevice(char (&name)[kDeviceNameMax + 1]);

}  // namespace qz6::mon
