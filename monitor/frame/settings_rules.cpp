#include "monitor/frame/settings_rules.h"

#include <cstdio>

namespace qz6::mon {

std::string_view FormatSettingValue(uint32_t value, std::span<char, 12> out)
{
    const int n = std::snprintf(out.data(), out.size(), "%lu", static_cast<unsigned long>(value));
    return {out.data(), static_cast<size_t>(n)};
}

}  // namespace qz6::mon
