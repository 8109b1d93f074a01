#include "support/monitor_settings.h"

#include <windows.h>

#include <cstring>

namespace qz6::test {

std::string SettingsFilePath()
{
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, sizeof directory);
    return std::string(directory) + "\\qz6mon.ini";
}

void DeleteSettingsFile()
{
    DeleteFileA(SettingsFilePath().c_str());
}

bool WriteMonitorSettings(const char* text)
{
    HANDLE file = CreateFileA(SettingsFilePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    const bool whole = WriteFile(file, text, length, &written, nullptr) && written == length;
    CloseHandle(file);
    return whole;
}

std::string StoredSetting(const char* section, const char* key)
{
    char value[128] = {};
    GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, SettingsFilePath().c_str());
    return value;
}

}  // namespace qz6::test
