// Formatting into a fixed buffer, the one way the programs do it. No
// Windows header.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <span>
#include <string_view>

namespace qz6 {

// printf into `out`, always terminated. The result is the text as far as it
// fits; a format that fails leaves the buffer empty and gives an empty text.
[[gnu::format(printf, 2, 3)]] inline std::string_view FormatInto(std::span<char> out, const char* format, ...)
{
    if (out.empty())
        return {};
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(out.data(), out.size(), format, arguments);
    va_end(arguments);
    if (length < 0) {
        out[0] = '\0';
        return {};
    }
    const size_t shown = static_cast<size_t>(length) < out.size() ? static_cast<size_t>(length) : out.size() - 1;
    return {out.data(), shown};
}

}  // namespace qz6
