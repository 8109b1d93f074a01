// Test support: the Zurezi6 service key of the test prefix, saved whole and
// put back exactly, and direct looks at its values.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qz6::conf::test {

// Every key below (and including) the service key, with every value, in the
// registry's own order. Taken at construction, put back by Restore and at
// destruction; a service key that was absent is absent again.
class ServiceKeySnapshot {
public:
    ServiceKeySnapshot();
    ~ServiceKeySnapshot();
    ServiceKeySnapshot(const ServiceKeySnapshot&) = delete;
    ServiceKeySnapshot& operator=(const ServiceKeySnapshot&) = delete;

    void Restore() const;

private:
    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Key {
        std::string path;  // below HKEY_LOCAL_MACHINE
        std::vector<Value> values;
    };
    void Save(const std::string& path);

    std::vector<Key> keys_;  // parents before children; empty: no service key
};

// Removes the service key and everything below it.
void DeleteServiceKey();

bool KeyExists(const std::string& path);

// Every key below `path` with its values, as text, for comparisons.
std::string DescribeTree(const std::string& path);

// Names of the subkeys and values of a key, in the registry's order.
std::vector<std::string> SubkeyNames(const std::string& path);
std::vector<std::string> ValueNames(const std::string& path);

// A REG_DWORD of exactly four bytes; nothing for anything else.
std::optional<uint32_t> DwordValue(const std::string& path, const char* name);

void SetRawValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size);
void SetDwordValue(const std::string& path, const char* name, uint32_t value);
void DeleteValue(const std::string& path, const char* name);
void DeleteKey(const std::string& path);

// Adapter N's device key and values, as the driver reads them.
std::string DeviceKey(unsigned adapter);
void WriteAdapter(unsigned adapter, uint32_t io_base, uint32_t shared_memory, uint32_t interrupt_number);

extern const std::string kServiceKey;
extern const std::string kParametersKey;

}  // namespace qz6::conf::test
