#include "monitor/channel/command_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qz6::mon {
namespace {

// Codes without a command of their own are named by their value in
// lower-case hex, and so is any code beyond the set.
TEST(CommandNameTable, NamesOtherCodesByValue)
{
    char spare[8];
    for (unsigned code : {0x02u, 0x0Eu, 0x0Fu, 0x12u, 0x1Au, 0x1Fu, 0x23u, 0xFFu}) {
        char expected[8];
        std::snprintf(expected, sizeof expected, "0x%02x:", code);
        EXPECT_EQ(CommandDisplayName(static_cast<uint8_t>(code), spare), expected);
    }
    EXPECT_EQ(CommandDisplayName(READ_STATUS, spare), "Read Status:");
}

TEST(CommandNameTable, ActiveCommandsAreExactlyTheSixThatActOnTheLine)
{
    std::string active;
    for (unsigned code = 0; code < 256; ++code)
        if (IsActiveCommand(static_cast<uint8_t>(code)))
            active += std::to_string(code) + " ";
    EXPECT_EQ(active, "1 3 4 11 17 34 ");
}

TEST(CommandWire, OnlySendIFrameGoesOutWithDirectOutput)
{
    for (unsigned code = 0; code <= kHighestCommandCode; ++code)
        EXPECT_EQ(ControlCodeForCommand(static_cast<uint8_t>(code)),
                  code == SEND_I_FRAME ? 0x0022002Eu : 0x00220028u)
            << "code " << code;
}

TEST(CommandWire, InputLengthIsHeaderPlusPayload)
{
    CommandBlock block = {};
    block.data_length = 0;
    EXPECT_EQ(RequestInputLength(block), 16u);
    block.data_length = 512;
    EXPECT_EQ(RequestInputLength(block), 528u);
}

TEST(CommandWire, BlocksBeyondTheWireLimitsStayHome)
{
    const struct {
        uint8_t command;
        uint16_t data_length;
        bool fits;
    } rows[] = {
        {READ_STATUS, 0, true},      {SEND_I_FRAME, 512, true},  {SEND_I_FRAME, 513, false},
        {CRC_CONTROL, 1, true},      {0x23, 0, false},           {0xFF, 0, false},
        {READ_STATUS, 0xFFFF, false},
    };
    for (const auto& row : rows) {
        CommandBlock block = {};
        block.command = row.command;
        block.data_length = row.data_length;
        EXPECT_EQ(RequestFitsWire(block), row.fits) << int(row.command) << " " << row.data_length;
    }
}

TEST(ReturnCodeText, HexInUpperCaseAndSuccessForActiveCommands)
{
    char text[8];
    EXPECT_EQ(FormatReturnCode(0x00, text), "0x00");
    EXPECT_EQ(FormatReturnCode(0xAA, text), "0xAA");
    EXPECT_EQ(FormatReturnCode(0x7F, text), "0x7F");
    EXPECT_EQ(FormatReturnCode(0x0a, text), "0x0A");
    EXPECT_EQ(ActiveResultText(0x00, text), "Success");
    EXPECT_EQ(ActiveResultText(0x05, text), "0x05");
}

CommandBlock PatternBlock(uint8_t seed)
{
    CommandBlock block{};
    auto* bytes = reinterpret_cast<uint8_t*>(&block);
    for (size_t i = 0; i < sizeof block; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return block;
}

TEST(CommandBlockOperations, CopyTakesAllBytesHeaderIncluded)
{
    const CommandBlock source = PatternBlock(3);
    CommandBlock destination = PatternBlock(90);
    CopyCommandBlock(destination, source);
    EXPECT_EQ(std::memcmp(&destination, &source, sizeof source), 0);
}

TEST(CommandBlockOperations, SameSeesADifferenceInAnyByte)
{
    const CommandBlock a = PatternBlock(11);
    EXPECT_TRUE(SameCommandBlock(a, a));
    for (size_t i = 0; i < sizeof(CommandBlock); ++i) {
        CommandBlock b = a;
        reinterpret_cast<uint8_t*>(&b)[i] ^= 0x01;
        EXPECT_FALSE(SameCommandBlock(a, b)) << "byte " << i;
    }
}

TEST(CommandBlockOperations, ClearZeroesEveryByte)
{
    CommandBlock block = PatternBlock(200);
    ClearCommandBlock(block);
    const CommandBlock zero = {};
    EXPECT_TRUE(SameCommandBlock(block, zero));
}

}  // namespace
}  // namespace qz6::mon
