#include "configurator/registry_ops.h"

#include <windows.h>

#include "common/adapter_names.h"
#include "configurator/config_lines.h"

namespace qz6::conf {

namespace {

static_assert(KEY_READ == 0x20019 && KEY_WRITE == 0x20006 && KEY_QUERY_VALUE == 0x0001 && KEY_ALL_ACCESS == 0xF003F);

constexpr DWORD kServiceErrorControl = 1;  // SERVICE_ERROR_NORMAL
constexpr DWORD kServiceStart = 2;         // SERVICE_AUTO_START
constexpr DWORD kServiceType = 1;          // SERVICE_KERNEL_DRIVER

// Creates or opens a key with an empty class, as an ordinary persistent key
// with default security. Null on failure.
HKEY CreateOrOpenKey(const char* path, REGSAM access)
{
    char empty_class[] = "";
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, empty_class, REG_OPTION_NON_VOLATILE, access, nullptr,
                                  &key, &disposition);
    return status == ERROR_SUCCESS ? key : nullptr;
}

LONG SetDword(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace

bool ServiceKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool RegisterService()
{
    HKEY key = CreateOrOpenKey(kServiceKeyPath, KEY_WRITE);
    if (key == nullptr)
        return false;
    // Only the creation counts: the result says the key is there.
    SetDword(key, "ErrorControl", kServiceErrorControl);
    SetDword(key, "Start", kServiceStart);
    SetDword(key, "Type", kServiceType);
    RegCloseKey(key);
    return true;
}

uint32_t ReadDeviceValue(const char* value_name, uint8_t adapter)
{
    KeyPath path = DeviceKeyPath(adapter);
    if (path[0] == '\0')
        return 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.data(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    // The type is not tested; a shorter value fills the low bytes of the
    // preset 0. A longer one fails with ERROR_MORE_DATA and may have left a
    // part of itself in the buffer, so any failure yields 0.
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG status = RegQueryValueExA(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? value : 0;
}

void WriteDeviceValue(const char* value_name, uint32_t value, uint8_t adapter)
{
    KeyPath path = DeviceKeyPath(adapter);
    if (path[0] == '\0')
        return;
    HKEY key = CreateOrOpenKey(path.data(), KEY_WRITE);
    if (key == nullptr)
        return;
    SetDword(key, value_name, value);
    RegCloseKey(key);
}

void DeleteDeviceKey(uint8_t adapter)
{
    KeyPath name = DeviceKeyName(adapter);
    if (name[0] == '\0')
        return;
    HKEY parameters = CreateOrOpenKey(kParametersKeyPath, KEY_ALL_ACCESS);
    if (parameters == nullptr)
        return;
    RegDeleteKeyA(parameters, name.data());
    RegCloseKey(parameters);
}

}  // namespace qz6::conf
