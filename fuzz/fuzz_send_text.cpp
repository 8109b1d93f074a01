// What the Send Frames window makes of its texts: any Data box text as hex
// tokens against the rule written anew here (a digit table, a character by
// character reading), the ring of the last ten frames against a plain list,
// any Length box text, and the Send Many stream with its status line.
//
// Input: a selector byte, then per operation its fields; texts are a
// length byte and their bytes.
#include <stdio.h>
#include <string.h>

#include <deque>
#include <string>
#include <vector>

#include "common/hex_text.h"
#include "fuzz/fuzz_support.h"
#include "monitor/traffic/send_text.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::mon;

namespace {

FrameHistory g_history;
uint8_t g_data[kCommandDataSize];

// A longer text: two length bytes.
std::string_view LongText(Input& in)
{
    const size_t wanted = in.U16() % 1200;
    const std::span<const uint8_t> bytes = in.Bytes(wanted);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// ---- The Data box's hex rule, stated again here ----------------------------------
// Every digit with its value, written out rather than computed.
constexpr struct {
    char digit;
    uint8_t value;
} kDigitValues[] = {
    {'0', 0},   {'1', 1},   {'2', 2},   {'3', 3},   {'4', 4},   {'5', 5},   {'6', 6},   {'7', 7},
    {'8', 8},   {'9', 9},   {'a', 10},  {'b', 11},  {'c', 12},  {'d', 13},  {'e', 14},  {'f', 15},
    {'A', 10},  {'B', 11},  {'C', 12},  {'D', 13},  {'E', 14},  {'F', 15},
};

int ReferenceDigit(char c)
{
    for (const auto& entry : kDigitValues) {
        if (entry.digit == c)
            return entry.value;
    }
    return -1;
}

// A token as "%2lx" reads it: leading white space skipped, then a field of
// two characters: a sign if one comes first, then the digits up to the
// first character that is none; a minus negates, modulo 256.
uint8_t ReferenceToken(const std::string& token)
{
    const size_t first = token.find_first_not_of(" \t\n\v\f\r");
    if (first == std::string::npos)
        return 0;
    std::string field = token.substr(first, 2);
    int sign = 1;
    if (!field.empty() && (field[0] == '+' || field[0] == '-')) {
        sign = field[0] == '-' ? -1 : 1;
        field.erase(0, 1);
    }
    int value = 0;
    for (char c : field) {
        const int digit = ReferenceDigit(c);
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return static_cast<uint8_t>(sign * value);
}

// The whole text, read character by character: a space ends a token; one
// byte per token while the block has room.
std::vector<uint8_t> ReferenceHexText(std::string_view text)
{
    std::vector<uint8_t> bytes;
    std::string token;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != ' ') {
            token += text[i];
            continue;
        }
        if (!token.empty() && bytes.size() < kCommandDataSize) {
            bytes.push_back(ReferenceToken(token));
            // The statement above and the C library's conversion agree (up
            // to a zero byte, where the library's string ends).
            if (token.find('\0') == std::string::npos) {
                unsigned long scanned = 0;
                const uint8_t library = sscanf(token.c_str(), "%2lx", &scanned) == 1 ? static_cast<uint8_t>(scanned) : 0;
                FUZZ_CHECK(bytes.back() == library);
            }
        }
        token.clear();
    }
    return bytes;
}

void CheckHexText(std::string_view text)
{
    const size_t count = ParseSpacedHexTokens(text, g_data);
    const std::vector<uint8_t> expected = ReferenceHexText(text);
    FUZZ_CHECK(std::vector<uint8_t>(g_data, g_data + count) == expected);

    // A token of one or two hex digits is that byte, whatever blank leads it.
    for (size_t t = 0; t + 1 < text.size(); ++t) {
        if (IsHexDigit(text[t]) && IsHexDigit(text[t + 1])) {
            unsigned value = 0;
            sscanf(std::string(text.substr(t, 2)).c_str(), "%2x", &value);
            FUZZ_CHECK(ParseHexToken(text.substr(t, 2)) == value);
            FUZZ_CHECK(ParseHexToken(std::string(" \t") + std::string(text.substr(t, 2))) == value);
            break;
        }
    }
}

// Bytes formatted as the window shows them read back as the same bytes.
void CheckRoundTrip(Input& in)
{
    const std::span<const uint8_t> bytes = in.Bytes(in.U16() % (kCommandDataSize + 8));
    std::string text;
    char token[8];
    for (uint8_t byte : bytes) {
        snprintf(token, sizeof(token), (byte & 1) ? "%02X " : "%x ", byte);
        text += token;
    }
    const size_t count = ParseSpacedHexTokens(text, g_data);
    FUZZ_CHECK(count == std::min<size_t>(bytes.size(), kCommandDataSize));
    FUZZ_CHECK(memcmp(g_data, bytes.data(), count) == 0);
}

void CheckHistory(Input& in, std::deque<std::string>& shadow)
{
    if (in.Flag()) {
        const std::string_view text = LongText(in);
        RememberFrame(g_history, text);
        shadow.emplace_front(text.substr(0, std::min(text.size(), kFrameTextSize - 1)));
        if (shadow.size() > static_cast<size_t>(kFrameHistorySlots))
            shadow.pop_back();
    }
    FUZZ_CHECK(g_history.count == static_cast<int32_t>(shadow.size()));
    for (int32_t k = -2; k < kFrameHistorySlots + 2; ++k) {
        const std::string_view entry = HistoryEntry(g_history, k);
        if (k < 0 || k >= static_cast<int32_t>(shadow.size())) {
            FUZZ_CHECK(entry.empty());
            continue;
        }
        // A text with a zero byte is kept up to that byte.
        const std::string& expected = shadow[static_cast<size_t>(k)];
        FUZZ_CHECK(entry == std::string_view(expected.c_str()));
    }
}

std::string ReferenceLengthText(std::string_view text, bool* limited)
{
    *limited = false;
    size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos)
        return "0";
    size_t end = text.find_last_not_of(' ') + 1;
    const std::string_view digits = text.substr(begin, end - begin);
    for (char c : digits) {
        if (c < '0' || c > '9')
            return "0";
    }
    const size_t first = digits.find_first_not_of('0');
    const std::string_view significant = first == std::string_view::npos ? "0" : digits.substr(first);
    if (significant.size() > 3 || std::stoul(std::string(significant)) > kSendManyMaxLength) {
        *limited = true;
        return std::to_string(kSendManyMaxLength);
    }
    return std::string(significant);
}

void CheckSendMany(Input& in)
{
    const std::string_view text = in.Text(40);
    const SendManyLength length = ParseSendManyLength(text);
    bool limited = false;
    const std::string expected = ReferenceLengthText(text, &limited);
    FUZZ_CHECK(std::to_string(length.length) == expected && length.limited == limited);

    SendManyState state{};
    StartSendMany(state, in.U16());
    FUZZ_CHECK(state.running && state.fill_byte == 0 && state.sent_count == 0 && state.length <= kSendManyMaxLength);
    for (unsigned n = 0; n < 8 && !in.Empty(); ++n) {
        const uint8_t return_code = in.Flag() ? RETURN_SUCCESS : in.U8();
        if (in.Flag())
            state.sent_count = in.U16();  // far into a long run
        memset(g_data, 0xEE, sizeof(g_data));
        const uint16_t frame = FillStreamFrame(state, std::span<uint8_t, kCommandDataSize>(g_data, kCommandDataSize));
        FUZZ_CHECK(frame == state.length);
        for (size_t i = 0; i < kCommandDataSize; ++i)
            FUZZ_CHECK(g_data[i] == (i < frame ? state.fill_byte : 0xEE));

        GuardedBuffer<kSendManyStatusSize> buffer;
        char* line = reinterpret_cast<char*>(buffer.Claim(kSendManyStatusSize));
        const std::string_view status =
            FormatSendManyStatus(state, return_code, std::span<char, kSendManyStatusSize>(line, kSendManyStatusSize));
        buffer.Release();
        char reference[64];
        snprintf(reference, sizeof(reference), "Sent # %u: %02X %02X %02X... - RC 0x%02X", state.sent_count,
                 state.fill_byte, state.fill_byte, state.fill_byte, return_code);
        FUZZ_CHECK(status == reference && line[status.size()] == 0);  // it always fits

        const SendManyState before = state;
        AfterStreamFrame(state, return_code);
        if (return_code == RETURN_SUCCESS) {
            FUZZ_CHECK(state.sent_count == static_cast<uint16_t>(before.sent_count + 1));
            FUZZ_CHECK(state.fill_byte == static_cast<uint8_t>(before.fill_byte + 1));
        } else {
            FUZZ_CHECK(state.sent_count == before.sent_count && state.fill_byte == before.fill_byte);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    memset(&g_history, 0, sizeof(g_history));
    std::deque<std::string> shadow;
    while (!in.Empty()) {
        switch (in.U8() % 4) {
        case 0: CheckHexText(LongText(in)); break;
        case 1: CheckRoundTrip(in); break;
        case 2: CheckHistory(in, shadow); break;
        default: CheckSendMany(in); break;
        }
    }
    return 0;
}
