// What the tests that read capture files back with tshark share, natively
// and under Wine: its field output split up, and frame bytes written as it
// writes them. Header only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace qz6::test {

inline std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

// Lower-case hex digits, two a byte, as tshark prints data.data.
inline std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char byte[3];
    for (uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        text += byte;
    }
    return text;
}

}  // namespace qz6::test
