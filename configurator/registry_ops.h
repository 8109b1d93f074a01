// The configurator's five operations on the driver's registry keys below
// HKEY_LOCAL_MACHINE. Each opens its key, does its one job and closes it
// again; nothing is cached, and only RegisterService reports a failure.
#pragma once

#include <cstdint>

namespace qz6::conf {

// The service key can be opened for reading.
bool ServiceKeyExists();

// Creates (or opens) the service key and writes "ErrorControl" 1, "Start" 2
// and "Type" 1. True when the key could be created or opened.
bool RegisterService();

// One value of an adapter's device key; 0 when the key or value is absent,
// cannot be read, or holds more than four bytes.
uint32_t ReadDeviceValue(const char* value_name, uint8_t adapter);

// Writes one value as a REG_DWORD, creating the device key, and any key
// above it, when missing. Failures are silent.
void WriteDeviceValue(const char* value_name, uint32_t value, uint8_t adapter);

// Removes an adapter's device key (creating an absent Parameters key).
// Failures are silent; an absent device key is no failure.
void DeleteDeviceKey(uint8_t adapter);

}  // namespace qz6::conf
