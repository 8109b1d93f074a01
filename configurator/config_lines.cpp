#include "configurator/config_lines.h"

#include <charconv>
#include <cstdio>

namespace qz6::conf {

namespace {

std::optional<uint32_t> ParseDigits(std::string_view digits, int base)
{
    uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

template <std::size_t N>
bool InTable(int index, const std::array<std::string_view, N>&)
{
    return index >= 0 && static_cast<std::size_t>(index) < N;
}

}  // namespace

std::optional<uint32_t> ParseHexChoice(std::string_view text)
{
    constexpr std::string_view prefix = "0x";
    if (!text.starts_with(prefix))
        return std::nullopt;
    return ParseDigits(text.substr(prefix.size()), 16);
}

std::optional<uint32_t> ParseDecimalChoice(std::string_view text)
{
    return ParseDigits(text, 10);
}

std::optional<DeviceParameters> ChosenParameters(int io_port_index, std::string_view memory_text, int irq_index)
{
    if (!InTable(io_port_index, kIoPortTable) || !InTable(irq_index, kIrqTable))
        return std::nullopt;
    std::optional<uint32_t> port = ParseHexChoice(kIoPortTable[static_cast<std::size_t>(io_port_index)]);
    std::optional<uint32_t> memory = ParseHexChoice(memory_text);
    std::optional<uint32_t> irq = ParseDecimalChoice(kIrqTable[static_cast<std::size_t>(irq_index)]);
    if (!port || !memory || !irq)
        return std::nullopt;
    return DeviceParameters{*port, *memory, *irq};
}

std::optional<uint8_t> AdapterOfLine(int line_index)
{
    if (line_index < 0 || static_cast<unsigned>(line_index) >= kAdapterCount)
        return std::nullopt;
    return static_cast<uint8_t>(line_index);
}

DeviceLine FormatDeviceLine(uint8_t adapter, const DeviceParameters& parameters)
{
    DeviceLine line{};
    if (adapter >= kAdapterCount)
        return line;
    int used = std::snprintf(line.data(), line.size(), "%s\t", kAdapterDeviceNames[adapter]);
    if (used < 0 || static_cast<std::size_t>(used) >= line.size())
        return DeviceLine{};
    char* rest = line.data() + used;
    std::size_t room = line.size() - static_cast<std::size_t>(used);
    if (parameters.interrupt_number == 0)
        std::snprintf(rest, room, "<Not Configured>");
    else
        std::snprintf(rest, room, "0x%03X\t0x%05X\t%2u", static_cast<unsigned>(parameters.io_base),
                      static_cast<unsigned>(parameters.shared_memory), static_cast<unsigned>(parameters.interrupt_number));
    return line;
}

KeyPath DeviceKeyPath(uint8_t adapter)
{
    KeyPath path{};
    if (adapter < kAdapterCount)
        std::snprintf(path.data(), path.size(), kDeviceKeyFormat, static_cast<unsigned>(adapter));
    return path;
}

KeyPath DeviceKeyName(uint8_t adapter)
{
    KeyPath name{};
    if (adapter < kAdapterCount)
        std::snprintf(name.data(), name.size(), kDeviceKeyNameFormat, static_cast<unsigned>(adapter));
    return name;
}

}  // namespace qz6::conf
