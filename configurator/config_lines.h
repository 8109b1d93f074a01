// The configurator's fixed choices, its device lines and the reading of the
// chosen texts back into the numbers stored for an adapter.
//
// No OS header: this file is compiled and tested natively as well.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/adapter_names.h"

namespace qz6::conf {

// The three registry values of one adapter's device key.
struct DeviceParameters {
    uint32_t io_base;
    uint32_t shared_memory;
    uint32_t interrupt_number;  // 0: the adapter is not configured
};

// ---------------------------------------------------------------------------
// Choice tables. The combo boxes are unsorted, so item i is entry i.

constexpr std::array<std::string_view, 8> kIoPortTable = {
    "0x250", "0x270", "0x280", "0x300", "0x350", "0x360", "0x380", "0x390",
};
constexpr int kDefaultIoPort = 5;  // "0x360"

constexpr std::array<std::string_view, 4> kMemoryPrefixTable = {"0xA", "0xC", "0xD", "0xE"};
constexpr std::array<std::string_view, 8> kMemorySuffixTable = {
    "0000", "2000", "4000", "6000", "8000", "A000", "C000", "E000",
};

constexpr std::array<std::string_view, 7> kIrqTable = {"3", "4", "5", "7", "10", "11", "12"};
constexpr int kDefaultIrq = 2;  // "5"

// The memory list: every prefix joined with every suffix, prefixes outermost.
constexpr std::size_t kChoiceTextSize = 8;  // "0xA0000" and its terminator
using ChoiceText = std::array<char, kChoiceTextSize>;
constexpr std::size_t kMemoryChoiceCount = kMemoryPrefixTable.size() * kMemorySuffixTable.size();
constexpr int kDefaultMemory = 16;  // "0xD0000"

constexpr ChoiceText MemoryChoice(std::size_t index)
{
    ChoiceText text{};
    std::size_t at = 0;
    for (char c : kMemoryPrefixTable[index / kMemorySuffixTable.size()])
        text[at++] = c;
    for (char c : kMemorySuffixTable[index % kMemorySuffixTable.size()])
        text[at++] = c;
    return text;
}

constexpr std::array<ChoiceText, kMemoryChoiceCount> BuildMemoryList()
{
    std::array<ChoiceText, kMemoryChoiceCount> list{};
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i] = MemoryChoice(i);
    return list;
}
constexpr std::array<ChoiceText, kMemoryChoiceCount> kMemoryList = BuildMemoryList();

static_assert(kDefaultIoPort >= 0 && kDefaultIoPort < static_cast<int>(kIoPortTable.size()));
static_assert(kDefaultIrq >= 0 && kDefaultIrq < static_cast<int>(kIrqTable.size()));
static_assert(kDefaultMemory >= 0 && kDefaultMemory < static_cast<int>(kMemoryChoiceCount));
static_assert(std::string_view(kMemoryList[kDefaultMemory].data()) == "0xD0000");

// ---------------------------------------------------------------------------
// Reading the chosen texts.

// "0x" followed by hexadecimal digits, the whole text, into 32 bits.
std::optional<uint32_t> ParseHexChoice(std::string_view text);

// Decimal digits, the whole text, into 32 bits.
std::optional<uint32_t> ParseDecimalChoice(std::string_view text);

// The values that "Set" stores: the port and interrupt line come from their
// tables by item index, the memory address from the text the combo box shows.
// Nothing when an index lies outside its table or a text does not read.
std::optional<DeviceParameters> ChosenParameters(int io_port_index, std::string_view memory_text, int irq_index);

// The adapter of a device-list line, or nothing for "no selection" (-1) and
// for any line that is not one of the eight adapters.
std::optional<uint8_t> AdapterOfLine(int line_index);

// ---------------------------------------------------------------------------
// Texts built from an adapter number.

constexpr std::size_t kDeviceLineSize = 64;
using DeviceLine = std::array<char, kDeviceLineSize>;

// "ROZAR6O0\t0x360\t0xD0000\t 5", or "KORQZ6C1\t<Not Configured>" when the
// interrupt line is 0. An empty text for a number that is no adapter.
DeviceLine FormatDeviceLine(uint8_t adapter, const DeviceParameters& parameters);

constexpr std::size_t kKeyPathSize = 80;
using KeyPath = std::array<char, kKeyPathSize>;

// The device key of an adapter below HKEY_LOCAL_MACHINE, and its name inside
// the Parameters key. An empty text for a number that is no adapter, so that
// no key outside the eight can be named.
KeyPath DeviceKeyPath(uint8_t adapter);
KeyPath DeviceKeyName(uint8_t adapter);

}  // namespace qz6::conf
