// printf into a fixed buffer, as the traffic texts do it. No Windows header.
#pragma once

#include <cstdio>
#include <span>
#include <string_view>

namespace qz6::mon {

// Formats into `out` (at least one byte), always terminated, cut short
// when it does not fit; returns what was written.
template <typename... Args>
std::string_view PrintText(std::span<char> out, const char* format, Args... args)
{
    const int n = std::snprintf(out.data(), out.size(), format, args...);
    if (n < 0) {
        out[0] = '\0';
        return {out.data(), 0};
    }
    return {out.data(), static_cast<size_t>(n) < out.size() ? static_cast<size_t>(n) : out.size() - 1};
}

}  // namespace qz6::mon
