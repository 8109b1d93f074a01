#include "monitor/channel/command_block.h"

#include <cstring>

#include "common/formatted_text.h"

namespace qz6::mon {

std::string_view CommandDisplayName(uint8_t code, std::span<char, 8> spare)
{
    if (CommandInSet(code))
        return CommandNameTable[code];
    return FormatInto(spare, "0x%02x:", static_cast<unsigned>(code));
}

std::string_view FormatReturnCode(uint8_t code, std::span<char, 8> out)
{
    return FormatInto(out, "0x%02X", static_cast<unsigned>(code));
}

std::string_view ActiveResultText(uint8_t code, std::span<char, 8> out)
{
    if (code == RETURN_SUCCESS)
        return "Success";
    return FormatReturnCode(code, out);
}

void CopyCommandBlock(CommandBlock& destination, const CommandBlock& source)
{
    std::memcpy(&destination, &source, sizeof(CommandBlock));
}

bool SameCommandBlock(const CommandBlock& a, const CommandBlock& b)
{
    return std::memcmp(&a, &b, sizeof(CommandBlock)) == 0;
}

void ClearCommandBlock(CommandBlock& block)
{
    std::memset(&block, 0, sizeof(CommandBlock));
}

}  // namespace qz6::mon
