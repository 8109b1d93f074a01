// The Send Frames window's texts: hex tokens (read by common/hex_text), the
// history ring and the Send Many stream with its status line.
#include "monitor/traffic/send_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "common/hex_text.h"

namespace qz6::mon {
namespace {

std::vector<uint8_t> Hex(const std::string& text)
{
    std::array<uint8_t, kCommandDataSize> data{};
    const size_t count = ParseSpacedHexTokens(text, data);
    return std::vector<uint8_t>(data.begin(), data.begin() + count);
}

TEST(HexToken, ReadLikeTwoCharacterHexConversion)
{
    const struct {
        const char* token;
        uint8_t value;
    } cases[] = {
        {"3", 0x03},   {"cc", 0xCC},  {"CC", 0xCC},  {"123", 0x12}, {"7f", 0x7F},  {"Ff", 0xFF},
        {"1g", 0x01},  {"\t5", 0x05}, {"\r\n9", 0x09}, {"+f", 0x0F}, {"-1", 0xFF}, {"-f", 0xF1},
        {"0x", 0x00},  {"0x5", 0x00}, {"-0x", 0x00},
        // No hexadecimal digit at all: the byte 0.
        {"zz", 0x00},  {"", 0x00},    {"-", 0x00},   {"+", 0x00},   {"x5", 0x00},  {"\t", 0x00},
        {"\x80" "1", 0x00},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseHexToken(c.token), c.value) << '"' << c.token << '"';
}

TEST(HexBytes, OneBytePerSpaceSeparatedToken)
{
    const struct {
        const char* text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"03 CC 45 01", {0x03, 0xCC, 0x45, 0x01}},
        {"3 cc", {0x03, 0xCC}},
        {"123 4", {0x12, 0x04}},
        {"   03  CC    45 01   ", {0x03, 0xCC, 0x45, 0x01}},
        {"zz 1", {0x00, 0x01}},
        {"", {}},
        {"     ", {}},
        {"1\t2", {0x01}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(c.text), c.bytes) << '"' << c.text << '"';
}

TEST(HexBytes, TheLongestTextFitsAndMoreTokensAreDropped)
{
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += i == 0 ? "a" : " a";
    ASSERT_EQ(text.size(), 999u);
    EXPECT_EQ(Hex(text), std::vector<uint8_t>(500, 0x0A));

    std::string many;
    for (int i = 0; i < 600; ++i)
        many += "5 ";
    EXPECT_EQ(Hex(many).size(), kCommandDataSize);
}

class History : public ::testing::Test {
protected:
    std::vector<std::string> NewestFirst() const
    {
        std::vector<std::string> texts;
        for (int32_t k = 0; k < history_.count; ++k)
            texts.emplace_back(HistoryEntry(history_, k));
        return texts;
    }
    FrameHistory history_ = {};
};

TEST_F(History, ShowsTheNewestFirst)
{
    RememberFrame(history_, "one");
    RememberFrame(history_, "");
    RememberFrame(history_, "03 CC");
    EXPECT_EQ(NewestFirst(), (std::vector<std::string>{"03 CC", "", "one"}));
}

TEST_F(History, TheEleventhDropsTheOldest)
{
    for (int i = 1; i <= 11; ++i)
        RememberFrame(history_, std::to_string(i));
    EXPECT_EQ(history_.count, 10);
    EXPECT_EQ(NewestFirst(), (std::vector<std::string>{"11", "10", "9", "8", "7", "6", "5", "4", "3", "2"}));
    RememberFrame(history_, "12");
    EXPECT_EQ(NewestFirst().front(), "12");
    EXPECT_EQ(NewestFirst().back(), "3");
}

TEST_F(History, KeepsAt999CharactersAndNothingOutsideTheRing)
{
    RememberFrame(history_, std::string(1500, 'x'));
    EXPECT_EQ(HistoryEntry(history_, 0), std::string(999, 'x'));
    EXPECT_EQ(HistoryEntry(history_, 1), "");
    EXPECT_EQ(HistoryEntry(history_, -1), "");
}

TEST(SendManyLength, ReadAsAnUnsignedNumberLimitedTo512)
{
    const struct {
        const char* text;
        uint16_t length;
        bool limited;
    } cases[] = {
        {"100", 100, false}, {"0", 0, false},     {"512", 512, false},   {"513", 512, true},
        {"600", 512, true},  {" 7 ", 7, false},   {"0100", 100, false},
        {"99999999999999999999999", 512, true},
        // No number: frames of no data.
        {"", 0, false},      {"abc", 0, false},   {"12a", 0, false},     {"-5", 0, false},
        {"+5", 0, false},    {"1 2", 0, false},
    };
    for (const auto& c : cases) {
        const SendManyLength parsed = ParseSendManyLength(c.text);
        EXPECT_EQ(parsed.length, c.length) << '"' << c.text << '"';
        EXPECT_EQ(parsed.limited, c.limited) << '"' << c.text << '"';
    }
}

std::string Status(const SendManyState& state, uint8_t return_code)
{
    char text[kSendManyStatusSize];
    return std::string(FormatSendManyStatus(state, return_code, text));
}

TEST(SendMany, NumbersAndBytesStepOnlyForAcceptedFrames)
{
    SendManyState state = {};
    StartSendMany(state, 100);
    std::array<uint8_t, kCommandDataSize> data{};
    data.fill(0x77);
    EXPECT_EQ(FillStreamFrame(state, data), 100);
    EXPECT_EQ(data[0], 0x00);
    EXPECT_EQ(data[99], 0x00);
    EXPECT_EQ(data[100], 0x77);
    EXPECT_EQ(Status(state, 0), "Sent # 0: 00 00 00... - RC 0x00");
    AfterStreamFrame(state, 0);

    // Refused, including the preset left standing: the same frame again.
    for (uint8_t refused : {RETURN_NO_TX_BUFFER, NO_RESPONSE_CODE}) {
        EXPECT_EQ(Status(state, refused), std::string("Sent # 1: 01 01 01... - RC 0x") + (refused == 4 ? "04" : "AA"));
        AfterStreamFrame(state, refused);
    }
    EXPECT_EQ(state.sent_count, 1);
    EXPECT_EQ(state.fill_byte, 0x01);

    for (int i = 0; i < 255; ++i)
        AfterStreamFrame(state, 0);
    EXPECT_EQ(state.fill_byte, 0x00);  // FF wrapped
    EXPECT_EQ(state.sent_count, 256);
}

TEST(SendMany, EmptyFramesStillShowTheByteAndTheLongestStatusFits)
{
    SendManyState state = {};
    StartSendMany(state, 0);
    std::array<uint8_t, kCommandDataSize> data{};
    data.fill(0x55);
    EXPECT_EQ(FillStreamFrame(state, data), 0);
    EXPECT_EQ(data[0], 0x55);
    EXPECT_EQ(Status(state, 0), "Sent # 0: 00 00 00... - RC 0x00");

    state = {true, 0xFF, 512, 65535};
    EXPECT_EQ(Status(state, 0xAA), "Sent # 65535: FF FF FF... - RC 0xAA");
    EXPECT_EQ(Status(state, 0xAA).size(), 35u);
    AfterStreamFrame(state, 0);
    EXPECT_EQ(state.sent_count, 0);
    EXPECT_EQ(state.fill_byte, 0);
    EXPECT_EQ(FillStreamFrame(state, data), 512);
    EXPECT_EQ(data[511], 0x00);
}

TEST(SendMany, StartBeginsAgainAtNumberZero)
{
    SendManyState state = {false, 0x42, 7, 9};
    StartSendMany(state, 600);
    EXPECT_TRUE(state.running);
    EXPECT_EQ(state.fill_byte, 0);
    EXPECT_EQ(state.sent_count, 0);
    EXPECT_EQ(state.length, 512);
}

}  // namespace
}  // namespace qz6::mon
