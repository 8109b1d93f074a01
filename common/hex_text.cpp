#include "common/hex_text.h"

#include <algorithm>

namespace qz6 {
namespace {

// The white space the formatted-input conversions skip.
constexpr bool IsFormatSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool AllHexDigits(std::string_view digits)
{
    return std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

}  // namespace

std::string_view NextToken(TokenCursor& cursor)
{
    const std::string_view text = cursor.text;
    size_t start = std::min(cursor.position, text.size());
    while (start < text.size() && cursor.separators.find(text[start]) != std::string_view::npos)
        ++start;
    size_t end = start;
    while (end < text.size() && cursor.separators.find(text[end]) == std::string_view::npos)
        ++end;
    cursor.position = end;
    return text.substr(start, end - start);
}

uint8_t ParseHexToken(std::string_view token)
{
    size_t i = 0;
    while (i < token.size() && IsFormatSpace(token[i]))
        ++i;
    // Two characters at most, a sign included.
    const size_t end = std::min(token.size(), i + 2);
    bool negative = false;
    if (i < end && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    unsigned value = 0;
    for (; i < end && HexDigitValue(token[i]) >= 0; ++i)
        value = value * 16 + static_cast<unsigned>(HexDigitValue(token[i]));
    if (negative)
        value = 0u - value;
    return static_cast<uint8_t>(value);
}

size_t ParseSpacedHexTokens(std::string_view text, std::span<uint8_t> data)
{
    TokenCursor cursor{text, kSpaceSeparator, 0};
    size_t count = 0;
    while (count < data.size()) {
        const std::string_view token = NextToken(cursor);
        if (token.empty())
            break;
        data[count++] = ParseHexToken(token);
    }
    return count;
}

HexRunsResult ParseHexRuns(std::string_view text, std::span<uint8_t> data)
{
    TokenCursor cursor{text, kBlankOrCommaSeparators, 0};
    size_t count = 0;
    for (std::string_view token = NextToken(cursor); !token.empty(); token = NextToken(cursor)) {
        std::string_view digits = token;
        const bool prefixed = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        if (prefixed)
            digits.remove_prefix(2);
        if (!AllHexDigits(digits))
            return {HexRunsError::NotHex, count, token};
        if (digits.size() > 2 && (prefixed || digits.size() % 2 != 0))
            return {HexRunsError::NotByteOrPairs, count, token};
        const size_t step = std::min<size_t>(digits.size(), 2);
        for (size_t k = 0; k < digits.size(); k += step) {
            if (count == data.size())
                return {HexRunsError::TooMany, count, token};
            unsigned value = 0;
            for (size_t d = k; d < k + step; ++d)
                value = value * 16 + static_cast<unsigned>(HexDigitValue(digits[d]));
            data[count++] = static_cast<uint8_t>(value);
        }
    }
    return {HexRunsError::None, count, {}};
}

bool ParseNumber(std::string_view text, uint32_t max, uint32_t* value)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    uint64_t result = 0;
    for (char c : text) {
        int digit = HexDigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return false;
        result = result * base + static_cast<unsigned>(digit);
        if (result > max)
            return false;
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

}  // namespace qz6
