// The device session's rules: device path, configuration read retries,
// the version text and the session's texts.
#include "monitor/channel/session_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qz6::mon {
namespace {

TEST(DevicePath, BackslashesThenTheName)
{
    char path[kDevicePathMax + 1];
    EXPECT_EQ(BuildDevicePath("ROZAR6O0", path), "\\\\.\\ROZAR6O0");
    const std::string longest(48, 'N');
    EXPECT_EQ(BuildDevicePath(longest.c_str(), path), "\\\\.\\" + longest);
}

// A scripted device: the codes of successive attempts, the operator's
// answers to successive prompts; the trace records attempts (A), prompts
// (?) and retry numbers shown.
struct ReadScript {
    std::vector<uint8_t> codes;
    std::vector<bool> answers;
    bool result;
    const char* trace;
};

std::string RunRead(const ReadScript& script, bool& result)
{
    std::string trace;
    size_t attempt = 0;
    size_t prompt = 0;
    result = ReadWithRetries(
        [&] {
            trace += 'A';
            return attempt < script.codes.size() ? script.codes[attempt++] : RETURN_SUCCESS;
        },
        [&] {
            trace += '?';
            return prompt < script.answers.size() ? static_cast<bool>(script.answers[prompt++]) : true;
        },
        [&](unsigned retry) { trace += std::to_string(retry); });
    return trace;
}

TEST(ConfigurationRead, RetriesPromptsAndGivesUp)
{
    const ReadScript rows[] = {
        {{0x00}, {}, true, "A"},
        // No answer every time: three prompts, four attempts, no fourth prompt.
        {{0xAA, 0xAA, 0xAA, 0xAA}, {true, true, true}, false, "A?1A?2A?3A"},
        // A timeout is asked about too.
        {{0x7F, 0x00}, {true}, true, "A?1A"},
        // Any other code is retried without asking.
        {{0x01, 0x01, 0x01, 0x01}, {}, false, "A1A2A3A"},
        {{0x01, 0x05, 0x00}, {}, true, "A1A2A"},
        // Cancel at the first prompt ends it at once.
        {{0xAA}, {false}, false, "A?"},
        {{0x01, 0xAA, 0x01}, {false}, false, "A1A?"},
        // Success on the last attempt still counts.
        {{0xAA, 0x7F, 0x02, 0x00}, {true, true}, true, "A?1A?2A3A"},
    };
    for (const ReadScript& row : rows) {
        bool result = false;
        EXPECT_EQ(RunRead(row, result), row.trace) << row.trace;
        EXPECT_EQ(result, row.result) << row.trace;
    }
}

CommandBlock VersionReply(const char* text, uint16_t data_length)
{
    CommandBlock block = {};
    std::memset(block.data, 'x', sizeof block.data);
    std::memcpy(block.data, text, std::strlen(text));
    block.data_length = data_length;
    return block;
}

TEST(VersionText, UpToDataLengthOrAZeroAndNeverPastFifteen)
{
    const struct {
        const char* reply;
        uint16_t data_length;
        const char* version;
    } rows[] = {
        {"2.14", 4, "2.14"},
        {"2.14", 0, ""},
        {"2.14", 2, "2."},
        {"2.1\0" "4", 5, "2.1"},
        {"123456789012345", 15, "123456789012345"},
        {"1234567890123456789", 19, "123456789012345"},
        {"", 511, "xxxxxxxxxxxxxxx"},
        {"", 512, "xxxxxxxxxxxxxxx"},
        {"7.5", 0xFFFF, "7.5xxxxxxxxxxxx"},
    };
    for (const auto& row : rows) {
        CommandBlock reply = VersionReply(row.reply, row.data_length);
        if (row.data_length == 5)
            reply.data[3] = 0;
        char version[kVersionTextSize + 4];
        std::memset(version, '#', sizeof version);
        ExtractVersionText(reply, std::span<char, kVersionTextSize>(version, kVersionTextSize));
        EXPECT_STREQ(version, row.version) << row.reply << " " << row.data_length;
        EXPECT_EQ(version[kVersionTextSize], '#') << "nothing past the version text";
        if (row.data_length < 512) {
            EXPECT_EQ(reply.data[row.data_length], 0) << "terminator at data_length";
        }
    }
}

TEST(VersionText, ALengthBeyondDataWritesNothingIntoTheBlock)
{
    for (uint16_t data_length : {uint16_t{512}, uint16_t{600}, uint16_t{0xFFFF}}) {
        CommandBlock reply = VersionReply("9.99", data_length);
        const CommandBlock before = reply;
        char version[kVersionTextSize];
        ExtractVersionText(reply, version);
        EXPECT_EQ(std::memcmp(&reply, &before, sizeof reply), 0) << data_length;
    }
}

TEST(SessionTexts, ExactWording)
{
    char text[kSessionTextSize];
    EXPECT_EQ(OpenErrorText(2, text), "Cannot open device! Error code 2.");
    EXPECT_EQ(OpenErrorText(0xFFFFFFFFu, text), "Cannot open device! Error code -1.");
    EXPECT_EQ(RetryStatusText(3, text), "Retry 3/3...");
    EXPECT_EQ(SetConfigurationErrorText(0x02, text), "Error code 0x02 returned on SET_CONFIGURATION. Retry? ");
    EXPECT_EQ(SetConfigurationErrorText(0xAA, text), "Error code 0xAA returned on SET_CONFIGURATION. Retry? ");
}

}  // namespace
}  // namespace qz6::mon
