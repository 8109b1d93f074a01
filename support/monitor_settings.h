// qz6mon.ini, the monitor's settings file in the Windows directory of the
// prefix: written before a monitor starts, read back after it has saved.
#pragma once

#include <string>

namespace qz6::test {

std::string SettingsFilePath();
void DeleteSettingsFile();
// Replaces the file with `text`; false when it could not be written whole.
bool WriteMonitorSettings(const char* text);
// The stored value, or "<absent>".
std::string StoredSetting(const char* section, const char* key);

}  // namespace qz6::test
