#include "tests/configurator/service_key.h"

#include <cstring>

#include <gtest/gtest.h>

namespace qz6::conf::test {

const std::string kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\Zurezi6";
const std::string kParametersKey = kServiceKey + "\\Parameters";

namespace {

// A handle closed at scope end.
struct OpenKey {
    HKEY key = nullptr;
    OpenKey(const std::string& path, REGSAM access)
    {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~OpenKey()
    {
        if (key != nullptr)
            RegCloseKey(key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
};

HKEY CreateKey(const std::string& path)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << path;
    return status == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

ServiceKeySnapshot::ServiceKeySnapshot()
{
    if (KeyExists(kServiceKey))
        Save(kServiceKey);
}

ServiceKeySnapshot::~ServiceKeySnapshot()
{
    Restore();
}

void ServiceKeySnapshot::Save(const std::string& path)
{
    OpenKey open(path, KEY_READ);
    if (open.key == nullptr)
        return;
    Key key{path, {}};
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD name_size = sizeof(name);
        BYTE data[4096];
        DWORD data_size = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueA(open.key, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS)
            break;
        key.values.push_back({std::string(name, name_size), type, std::vector<BYTE>(data, data + data_size)});
    }
    keys_.push_back(key);
    for (const std::string& child : SubkeyNames(path))
        Save(path + "\\" + child);
}

void ServiceKeySnapshot::Restore() const
{
    DeleteServiceKey();
    for (const Key& saved : keys_) {
        HKEY key = CreateKey(saved.path);
        if (key == nullptr)
            continue;
        for (const Value& value : saved.values)
            RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
        RegCloseKey(key);
    }
}

void DeleteServiceKey()
{
    LONG status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, kServiceKey.c_str());
    EXPECT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
    EXPECT_FALSE(KeyExists(kServiceKey));
}

bool KeyExists(const std::string& path)
{
    OpenKey open(path, KEY_READ);
    return open.key != nullptr;
}

std::string DescribeTree(const std::string& path)
{
    std::string text = path + "\n";
    OpenKey open(path, KEY_READ);
    for (DWORD i = 0; open.key != nullptr; ++i) {
        char name[256];
        DWORD name_size = sizeof(name);
        BYTE data[256];
        DWORD data_size = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueA(open.key, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS)
            break;
        text += "  " + std::string(name, name_size) + " type " + std::to_string(type) + ":";
        for (DWORD b = 0; b < data_size; ++b)
            text += " " + std::to_string(data[b]);
        text += "\n";
    }
    for (const std::string& child : SubkeyNames(path))
        text += DescribeTree(path + "\\" + child);
    return text;
}

std::vector<std::string> SubkeyNames(const std::string& path)
{
    std::vector<std::string> names;
    OpenKey open(path, KEY_READ);
    for (DWORD i = 0; open.key != nullptr; ++i) {
        char name[256];
        DWORD name_size = sizeof(name);
        if (RegEnumKeyExA(open.key, i, name, &name_size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, name_size);
    }
    return names;
}

std::vector<std::string> ValueNames(const std::string& path)
{
    std::vector<std::string> names;
    OpenKey open(path, KEY_READ);
    for (DWORD i = 0; open.key != nullptr; ++i) {
        char name[256];
        DWORD name_size = sizeof(name);
        if (RegEnumValueA(open.key, i, name, &name_size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, name_size);
    }
    return names;
}

std::optional<uint32_t> DwordValue(const std::string& path, const char* name)
{
    OpenKey open(path, KEY_READ);
    if (open.key == nullptr)
        return std::nullopt;
    BYTE data[16];
    DWORD size = sizeof(data);
    DWORD type = 0;
    if (RegQueryValueExA(open.key, name, nullptr, &type, data, &size) != ERROR_SUCCESS || type != REG_DWORD || size != 4)
        return std::nullopt;
    uint32_t value;
    memcpy(&value, data, sizeof(value));
    return value;
}

void SetRawValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = CreateKey(path);
    if (key == nullptr)
        return;
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetDwordValue(const std::string& path, const char* name, uint32_t value)
{
    SetRawValue(path, name, REG_DWORD, &value, sizeof(value));
}

void DeleteValue(const std::string& path, const char* name)
{
    OpenKey open(path, KEY_SET_VALUE);
    if (open.key != nullptr)
        RegDeleteValueA(open.key, name);
}

void DeleteKey(const std::string& path)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
}

std::string DeviceKey(unsigned adapter)
{
    return kParametersKey + "\\Zurezi6c" + std::to_string(adapter);
}

void WriteAdapter(unsigned adapter, uint32_t io_base, uint32_t shared_memory, uint32_t interrupt_number)
{
    SetDwordValue(DeviceKey(adapter), "IoBaseAddress", io_base);
    SetDwordValue(DeviceKey(adapter), "SharedMemoryAddress", shared_memory);
    SetDwordValue(DeviceKey(adapter), "InterruptNumber", interrupt_number);
}

}  // namespace qz6::conf::test
