#include "monitor/channel/session_rules.h"

#include <cstdio>
#include <cstring>

namespace qz6::mon {
namespace {

template <size_t N>
std::string_view Formatted(int length, std::span<char, N> out)
{
    if (length < 0) {
        out[0] = '\0';
        return {};
    }
    return {out.data(), static_cast<size_t>(length) < N ? static_cast<size_t>(length) : N - 1};
}

}  // namespace

std::string_view BuildDevicePath(const char* device_name, std::span<char, kDevicePathMax + 1> out)
{
    return Formatted(std::snprintf(out.data(), out.size(), "\\\\.\\%s", device_name), out);
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
    return Formatted(std::snprintf(out.data(), out.size(), "Cannot open device! Error code %d.",
                                   static_cast<int>(static_cast<int32_t>(error))),
                     out);
}

std::string_view RetryStatusText(unsigned retry, std::span<char, kSessionTextSize> out)
{
    return Formatted(std::snprintf(out.data(), out.size(), "Retry %u/3...", retry), out);
}

std::string_view SetConfigurationErrorText(uint8_t code, std::span<char, kSessionTextSize> out)
{
    return Formatted(std::snprintf(out.data(), out.size(), "Error code 0x%02X returned on SET_CONFIGURATION. Retry? ",
                                   static_cast<unsigned>(code)),
                     out);
}

}  // namespace qz6::mon
