// The configurator's choices and lines: any text through the reading of the
// chosen texts (checked against a plain reading of the same rules), any
// numbers through the device lines and key names.
//
// Input: io port index (4), irq index (4), adapter (1), io base (4), shared
// memory (4), interrupt (4), then the memory text (the rest).
#include <stdio.h>
#include <string.h>

#include "configurator/config_lines.h"
#include "fuzz/fuzz_support.h"

using namespace qz6;
using namespace qz6::conf;
using namespace qz6::fuzz;

namespace {

// The rules read plainly: digits of the base only, at least one, the whole
// text, a value that fits 32 bits.
std::optional<uint32_t> ReadDigits(std::string_view digits, unsigned base)
{
    if (digits.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        if (digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > UINT32_MAX)
            return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<uint32_t> ReadHex(std::string_view text)
{
    if (!text.starts_with("0x"))
        return std::nullopt;
    return ReadDigits(text.substr(2), 16);
}

void CheckLine(const char* line, size_t size)
{
    FUZZ_CHECK(memchr(line, 0, size) != nullptr);  // terminated inside the array
}

void CheckParsing(std::string_view text)
{
    FUZZ_CHECK(ParseHexChoice(text) == ReadHex(text));
    FUZZ_CHECK(ParseDecimalChoice(text) == ReadDigits(text, 10));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const int io_index = static_cast<int>(in.U32());
    const int irq_index = static_cast<int>(in.U32());
    const uint8_t adapter = in.U8();
    DeviceParameters parameters{in.U32(), in.U32(), in.U32()};
    const std::span<const uint8_t> rest = in.Rest();
    const std::string_view memory_text(reinterpret_cast<const char*>(rest.data()), rest.size());

    CheckParsing(memory_text);
    // The tables' own entries, small indexes folded into range.
    CheckParsing(kIoPortTable[static_cast<unsigned>(io_index) % kIoPortTable.size()]);
    CheckParsing(kMemoryList[static_cast<unsigned>(irq_index) % kMemoryList.size()].data());

    const std::optional<DeviceParameters> chosen = ChosenParameters(io_index, memory_text, irq_index);
    const bool in_tables = io_index >= 0 && static_cast<size_t>(io_index) < kIoPortTable.size() && irq_index >= 0 &&
                           static_cast<size_t>(irq_index) < kIrqTable.size();
    const std::optional<uint32_t> memory = ReadHex(memory_text);
    FUZZ_CHECK(chosen.has_value() == (in_tables && memory.has_value()));
    if (chosen) {
        FUZZ_CHECK(chosen->shared_memory == *memory);
        FUZZ_CHECK(chosen->io_base == *ReadHex(kIoPortTable[static_cast<size_t>(io_index)]));
        FUZZ_CHECK(chosen->interrupt_number == *ReadDigits(kIrqTable[static_cast<size_t>(irq_index)], 10));
        FUZZ_CHECK(chosen->interrupt_number != 0);  // a chosen line is a configured one
    }

    const std::optional<uint8_t> line = AdapterOfLine(io_index);
    FUZZ_CHECK(line.has_value() == (io_index >= 0 && io_index < static_cast<int>(kAdapterCount)));
    if (line)
        FUZZ_CHECK(*line == io_index);

    // The device line reads back as the numbers it was made from.
    const DeviceLine text = FormatDeviceLine(adapter, parameters);
    CheckLine(text.data(), text.size());
    if (adapter >= kAdapterCount) {
        FUZZ_CHECK(text[0] == 0);
    } else {
        const std::string_view shown(text.data());
        const std::string_view name(kAdapterDeviceNames[adapter]);
        FUZZ_CHECK(shown.starts_with(name) && shown[name.size()] == '\t');
        const std::string_view rest_of_line = shown.substr(name.size() + 1);
        if (parameters.interrupt_number == 0) {
            FUZZ_CHECK(rest_of_line == "<Not Configured>");
        } else {
            unsigned io = 0;
            unsigned mem = 0;
            unsigned irq = 0;
            int used = 0;
            FUZZ_CHECK(sscanf(rest_of_line.data(), "0x%x\t0x%x\t%u%n", &io, &mem, &irq, &used) == 3);
            FUZZ_CHECK(static_cast<size_t>(used) == rest_of_line.size());
            FUZZ_CHECK(io == parameters.io_base && mem == parameters.shared_memory &&
                       irq == parameters.interrupt_number);
        }
    }

    const KeyPath path = DeviceKeyPath(adapter);
    const KeyPath name = DeviceKeyName(adapter);
    CheckLine(path.data(), path.size());
    CheckLine(name.data(), name.size());
    if (adapter >= kAdapterCount) {
        FUZZ_CHECK(path[0] == 0 && name[0] == 0);
    } else {
        char expected[16];
        snprintf(expected, sizeof(expected), "Zurezi6c%u", static_cast<unsigned>(adapter));
        FUZZ_CHECK(std::string_view(name.data()) == expected);
        const std::string_view full(path.data());
        const std::string_view parent(kParametersKeyPath);
        FUZZ_CHECK(full.size() == parent.size() + 1 + strlen(expected));
        FUZZ_CHECK(full.starts_with(parent) && full[parent.size()] == '\\' && full.ends_with(expected));
    }
    return 0;
}
