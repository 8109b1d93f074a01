// Bytes typed as hexadecimal text: the one digit table, the one token
// splitter, and the two readings the programs use; and numbers typed on the
// console tools' command lines. The monitor's Send
// Frames window reads a Data box leniently (every space-separated token is
// one byte, whatever it holds); qz6sim's `inject --hex` reads its argument
// strictly and refuses what is not plainly hex. No Windows header, no
// allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace qz6 {

// 0 to 15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for every other character.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// ---- Tokens ---------------------------------------------------------------------
// The tokens of a text are the runs of characters between separators; a run
// of separators is one break, so a token is never empty.
struct TokenCursor {
    std::string_view text;
    std::string_view separators;
    size_t position;  // where the search for the next token starts
};

inline constexpr std::string_view kSpaceSeparator = " ";
inline constexpr std::string_view kBlankOrCommaSeparators = " \t,";

// The next token, or an empty view when none is left.
std::string_view NextToken(TokenCursor& cursor);

// ---- The Send Frames window's reading -------------------------------------------
// One token as the conversion "%2lx" reads it: white space skipped, then at
// most two characters (a sign among them) converted as a hexadecimal
// number; the low 8 bits. A token without a hexadecimal digit gives 0.
uint8_t ParseHexToken(std::string_view token);

// One byte per space-separated token (a tab is part of a token), each read
// by ParseHexToken. Never fails; returns the number of bytes stored, never
// more than `data` holds: tokens beyond it are dropped.
size_t ParseSpacedHexTokens(std::string_view text, std::span<uint8_t> data);

// ---- qz6sim's reading -------------------------------------------------------------
// "7E 01 FF", "7e,01,ff", "7E01FF", "0x7E 0x1": tokens separated by blanks,
// tabs or commas; a token is one byte of one or two digits (0x before it
// allowed) or an even run of digits read in pairs.
enum class HexRunsError : uint8_t {
    None,
    NotHex,          // `token` holds a character that is not a hex digit
    NotByteOrPairs,  // `token` is 0x and more than two digits, or an odd run
    TooMany,         // more bytes than `data` holds; `token` is where they ran out
};

struct HexRunsResult {
    HexRunsError error;
    size_t length;           // bytes stored in `data`
    std::string_view token;  // the token refused, when error is not None
};

HexRunsResult ParseHexRuns(std::string_view text, std::span<uint8_t> data);

// ---- Numbers ------------------------------------------------------------------------
// A number typed on a command line: decimal or 0x hex, no sign, no
// trailing characters, at most `max`.
bool ParseNumber(std::string_view text, uint32_t max, uint32_t* value);

}  // namespace qz6
