#include "monitor/frame/settings_rules.h"

#include "common/formatted_text.h"

namespace qz6::mon {

std::string_view FormatSettingValue(uint32_t value, std::span<char, 12> out)
{
    return FormatInto(out, "%lu", static_cast<unsigned long>(value));
}

}  // namespace qz6::mon
