// Pieces of text that several of qz6sim's replies and confirmations show.
#include "tools/qz6sim/sim_text_parts.h"

#include <stdio.h>

namespace qz6::simtool {

NameOrNumber AdapterLabel(unsigned index)
{
    NameOrNumber label{};
    if (index < kAdapterCount)
        snprintf(label.text, sizeof(label.text), "%s", kAdapterDeviceNames[index]);
    else
        snprintf(label.text, sizeof(label.text), "adapter %u", index);
    return label;
}

NameOrNumber CommandLabel(uint8_t code)
{
    NameOrNumber label{};
    const char* name = CommandName(code);
    if (name == nullptr)
        snprintf(label.text, sizeof(label.text), "0x%02X", code);
    else if (name[0] == '0')
        snprintf(label.text, sizeof(label.text), "%s", name);
    else
        snprintf(label.text, sizeof(label.text), "%s (0x%02X)", name, code);
    return label;
}

const char* OnOff(uint8_t value)
{
    return value != 0 ? "on" : "off";
}

void AppendImpairmentRates(const SimImpairmentRates& every, TextBuffer* out)
{
    const struct {
        uint32_t rate;
        const char* what;
    } rates[] = {
        {every.drop_every, "lost"},
        {every.corrupt_every, "changed"},
        {every.crc_error_every, "bad CRC"},
        {every.abort_every, "aborted"},
    };
    const char* separator = "";
    for (const auto& rate : rates) {
        if (rate.rate == 0)
            continue;
        Append(out, "%s1 in %u %s", separator, rate.rate, rate.what);
        separator = ", ";
    }
}

bool Impaired(const SimImpairmentRates& every)
{
    return (every.drop_every | every.corrupt_every | every.crc_error_every | every.abort_every) != 0;
}

bool StatusShows(const SimStatus& status, const SimRequest& request, unsigned index)
{
    if (request.one_adapter)
        return index == request.adapter;
    return status.adapters[index].present != 0 || request.include_absent;
}

void AppendGeneratorFrames(unsigned length, uint32_t rate, TextBuffer* out)
{
    Append(out, "%u-byte frames ", length);
    if (rate == 0)
        Append(out, "as fast as taken");
    else
        Append(out, "at %u a second", rate);
}

}  // namespace qz6::simtool
