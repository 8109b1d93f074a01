// The device session's rules: the version text of any READ_CODE_VERSION
// reply, the device path of any name, the session's texts of any code, and
// the configuration read's retries against any sequence of answers.
//
// Input: a command block (528 bytes), an error code (4), a retry number (4),
// a return code (1), a device name (length byte and bytes), then the read's
// answers (a return code and an operator's answer per attempt).
#include <stdio.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "monitor/channel/session_rules.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::mon;

namespace {

CommandBlock g_block;
CommandBlock g_before;

// What a formatter should have written: the text cut to the buffer.
std::string Cut(const std::string& text, size_t capacity)
{
    return text.substr(0, capacity - 1);
}

void CheckVersionText()
{
    GuardedBuffer<kVersionTextSize> buffer;
    char* version = reinterpret_cast<char*>(buffer.Claim(kVersionTextSize));
    g_before = g_block;
    ExtractVersionText(g_block, std::span<char, kVersionTextSize>(version, kVersionTextSize));
    buffer.Release();

    // Only the terminator at data_length may have changed in the block.
    const size_t data_length = g_before.data_length;
    if (data_length < kCommandDataSize) {
        FUZZ_CHECK(g_block.data[data_length] == 0);
        g_before.data[data_length] = 0;
    }
    FUZZ_CHECK(memcmp(&g_block, &g_before, sizeof(CommandBlock)) == 0);

    // The version: the reply's bytes up to its length, a zero or 15 characters.
    const size_t end = data_length < kCommandDataSize ? data_length : kCommandDataSize;
    size_t length = 0;
    while (length < end && length < kVersionTextSize - 1 && g_block.data[length] != 0)
        ++length;
    FUZZ_CHECK(version[length] == 0 && memcmp(version, g_block.data, length) == 0);
}

// The read as the rules describe it, against the template's run.
void CheckReadWithRetries(Input& in)
{
    uint8_t codes[8];
    bool answers[8];
    for (unsigned i = 0; i < 8; ++i) {
        const uint8_t pick = in.U8();
        // Mostly the codes that matter: success, no answer, timeout, a failure.
        static constexpr uint8_t kCodes[] = {RETURN_SUCCESS, NO_RESPONSE_CODE, TIMEOUT_CODE, 0x02};
        codes[i] = pick < 0xC0 ? kCodes[pick % 4] : pick;
        answers[i] = in.Flag();
    }
    unsigned executed = 0;
    unsigned asked = 0;
    unsigned shown_retries = 0;
    bool order_ok = true;
    const bool succeeded = ReadWithRetries(
        [&]() {
            FUZZ_CHECK(executed < 8);
            return codes[executed++];
        },
        [&]() {
            // Asked only after an answer that may come later.
            order_ok = order_ok && executed > 0 && AnswerMayComeLater(codes[executed - 1]);
            return answers[asked++];
        },
        [&](unsigned retry) {
            order_ok = order_ok && retry == shown_retries + 1 && retry == executed;
            ++shown_retries;
        });
    FUZZ_CHECK(order_ok);

    // The same read, step by step.
    unsigned attempts = 0;
    unsigned questions = 0;
    bool expected = false;
    for (;;) {
        const uint8_t code = codes[attempts++];
        if (code == RETURN_SUCCESS) {
            expected = true;
            break;
        }
        if (attempts > kConfigurationReadRetries)
            break;
        if (AnswerMayComeLater(code) && !answers[questions++])
            break;
    }
    FUZZ_CHECK(succeeded == expected && executed == attempts && asked == questions);
    FUZZ_CHECK(executed <= kConfigurationReadRetries + 1 && shown_retries == executed - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    FillFrom(reinterpret_cast<uint8_t*>(&g_block), sizeof(g_block), in.Bytes(sizeof(g_block)), 0);
    const uint32_t error = in.U32();
    const uint32_t retry = in.U32();
    const uint8_t code = in.U8();
    char name[256];
    const std::string_view name_bytes = in.Text(200);
    memcpy(name, name_bytes.data(), name_bytes.size());
    name[name_bytes.size()] = 0;

    CheckVersionText();

    const std::string path = GuardedText<kDevicePathMax + 1>([&](auto out) { return BuildDevicePath(name, out); });
    FUZZ_CHECK(path == Cut(std::string("\\\\.\\") + name, kDevicePathMax + 1));

    char expected[128];
    snprintf(expected, sizeof(expected), "Cannot open device! Error code %d.", static_cast<int32_t>(error));
    FUZZ_CHECK(GuardedText<kSessionTextSize>([&](auto out) { return OpenErrorText(error, out); }) ==
               Cut(expected, kSessionTextSize));
    snprintf(expected, sizeof(expected), "Retry %u/3...", retry);
    FUZZ_CHECK(GuardedText<kSessionTextSize>([&](auto out) { return RetryStatusText(retry, out); }) ==
               Cut(expected, kSessionTextSize));
    snprintf(expected, sizeof(expected), "Error code 0x%02X returned on SET_CONFIGURATION. Retry? ", code);
    FUZZ_CHECK(GuardedText<kSessionTextSize>([&](auto out) { return SetConfigurationErrorText(code, out); }) ==
               Cut(expected, kSessionTextSize));

    CheckReadWithRetries(in);
    return 0;
}
