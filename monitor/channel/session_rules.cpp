#include "monitor/channel/session_rules.h"

#include <cstring>

#include "common/formatted_text.h"

namespace qz6::mon {
namespace {

}  // namespace

std::string_view BuildDevicePath(const char* device_name, std::span<char, kDevicePathMax + 1> out)
{
    return FormatInto(out, "\\\\.\\%s", device_name);
}

void ExtractVersionText(CommandBlock& reply, std::span<char, kVersionTextSize> version)
{
    size_t end = kCommandDataSize;
    if (reply.data_length < kCommandDataSize) {
        reply.data[reply.data_length] = 0;
        end = reply.data_length;
    }
    size_t length = 0;
    while (length < end && length < kVersionTextSize - 1 && reply.data[length] != 0)
        ++length;
    std::memcpy(version.data(), reply.data, length);
    version[length] = '\0';
}

std::string_view OpenErrorText(uint32_t error, std::span<char, kSessionTextSize> out)
{
    return FormatInto(out, "Cannot open device! Error code %d.", static_cast<int>(static_cast<int32_t>(error)));
}

std::string_view RetryStatusText(unsigned retry, std::span<char, kSessionTextSize> out)
{
    return FormatInto(out, "Retry %u/3...", retry);
}

std::string_view SetConfigurationErrorText(uint8_t code, std::span<char, kSessionTextSize> out)
{
    return FormatInto(out, "Error code 0x%02X returned on SET_CONFIGURATION. Retry? ", static_cast<unsigned>(code));
}

}  // namespace qz6::mon
