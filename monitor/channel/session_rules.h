// Rules of the device session that need no Windows header: the device
// path, the retries of the configuration read, the version text and the
// texts the session shows.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "common/stream_protocol.h"

namespace qz6::mon {

// "\\.\" followed by the device name (at most 48 characters).
inline constexpr unsigned kDevicePathMax = 52;
std::string_view BuildDevicePath(const char* device_name, std::span<char, kDevicePathMax + 1> out);

// ---- Reading the configuration at open ----------------------------------------------
// Three retries after the first attempt, four attempts in all.
inline constexpr unsigned kConfigurationReadRetries = 3;

// A result that may pass with time: the operator is asked before a retry.
constexpr bool AnswerMayComeLater(uint8_t code)
{
    return code == NO_RESPONSE_CODE || code == TIMEOUT_CODE;
}

// Runs the configuration read: `execute()` makes one attempt and returns
// its code; after a failed attempt, while retries remain, a code that may
// pass later first asks `ask_retry()` (false ends the read), then
// `show_retry(n)` announces retry n (1 to 3) and the next attempt runs.
// Any other failure is retried without asking. True when an attempt
// succeeded.
template <typename Execute, typename AskRetry, typename ShowRetry>
bool ReadWithRetries(Execute execute, AskRetry ask_retry, ShowRetry show_retry)
{
    uint8_t code = execute();
    unsigned retry = 0;
    while (code != RETURN_SUCCESS) {
        if (++retry > kConfigurationReadRetries)
            return false;
        if (AnswerMayComeLater(code) && !ask_retry())
            return false;
        show_retry(retry);
        code = execute();
    }
    return true;
}

// ---- The code version -------------------------------------------------------------------
// Room for 15 characters and the terminator.
inline constexpr unsigned kVersionTextSize = 16;
inline constexpr const char* kUnknownVersion = "?.??";

// The version text of a successful READ_CODE_VERSION reply: the reply's
// data_length bytes of `data`, up to a zero byte, at most 15 characters.
// A terminator is written into `data` at data_length when that lies inside
// `data`; nothing is written anywhere else but `version`.
void ExtractVersionText(CommandBlock& reply, std::span<char, kVersionTextSize> version);

// ---- Texts ---------------------------------------------------------------------------------
inline constexpr unsigned kSessionTextSize = 64;
// "Cannot open device! Error code %d." with the platform's error code.
std::string_view OpenErrorText(uint32_t error, std::span<char, kSessionTextSize> out);
// "Retry %u/3..."
std::string_view RetryStatusText(unsigned retry, std::span<char, kSessionTextSize> out);
// "Error code 0x%02X returned on SET_CONFIGURATION. Retry? "
std::string_view SetConfigurationErrorText(uint8_t code, std::span<char, kSessionTextSize> out);

}  // namespace qz6::mon
