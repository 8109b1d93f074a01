// Many random and edge inputs through the traffic texts, under the
// sanitizers: any frame length over any bytes, random hex texts checked
// against the C library's own "%2lx", random histories and streams against
// plain models. Records and frames sit on the heap at their exact sizes so
// that a read past them is caught.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/hex_text.h"
#include "monitor/traffic/receive_text.h"
#include "monitor/traffic/send_text.h"

namespace qz6::mon {
namespace {

constexpr int kRounds = 3000;

uint16_t AnyLength(std::mt19937& random)
{
    // Edges first-class: around the display limits and the record's end.
    static constexpr uint16_t kEdges[] = {0, 1, 7, 8, 15, 16, 17, 3999, 4000, 4001, 13983, 13984, 13985, 65535};
    if (random() % 3 == 0)
        return kEdges[random() % std::size(kEdges)];
    return static_cast<uint16_t>(random());
}

void CheckSummary(std::string_view line, uint8_t bits, uint16_t length, size_t bytes_at_hand)
{
    const size_t shown = std::min({static_cast<size_t>(length), bytes_at_hand, kSummaryBytes});
    ASSERT_EQ(line.size(), 12 + 3 * shown);
    ASSERT_LE(line.size(), kSummaryLineMax);
    char head[16];
    std::snprintf(head, sizeof head, "0x%02X %5u  ", bits, length);
    ASSERT_EQ(line.substr(0, 12), head);
    ASSERT_EQ(line.data()[line.size()], '\0');
}

void CheckDump(std::string_view dump, size_t bytes_at_hand)
{
    const size_t shown = std::min(bytes_at_hand, kDumpBytes);
    const size_t lines = shown == 0 ? 0 : (shown + 15) / 16;
    ASSERT_LT(dump.size(), kDumpTextSize);
    ASSERT_EQ(dump.data()[dump.size()], '\0');
    if (shown == 0) {
        ASSERT_EQ(dump, "\r\n");
        return;
    }
    const size_t last = shown % 16 == 0 ? 16 : shown % 16;
    ASSERT_EQ(dump.size(), (lines - 1) * kDumpLineLength + 6 + 3 * last + (last >= 8 ? 2 : 0) + 2);
}

TEST(TrafficTextFuzz, ReceivedFramesOfAnyLengthOverAnyBytes)
{
    std::mt19937 random(20240605);
    static char dump[kDumpTextSize];
    char line[kReceiveLineSize];
    for (int round = 0; round < kRounds; ++round) {
        auto record = std::make_unique<ReceiveRecord>();
        record->status = static_cast<uint8_t>(random());
        record->frame_bits = static_cast<uint8_t>(random());
        record->frame_length = AnyLength(random);
        const size_t filled = random() % (kMaxReceivedFrame + 1);
        for (size_t i = 0; i < filled; ++i)
            record->frame_data[i] = static_cast<uint8_t>(random());
        const size_t at_hand = std::min<size_t>(record->frame_length, kMaxReceivedFrame);
        CheckSummary(FormatSummaryLine(*record, line), record->frame_bits, record->frame_length, at_hand);
        CheckDump(FormatFrameDump(*record, dump), at_hand);

        // A frame of a few bytes with a length that may claim many more.
        std::vector<uint8_t> frame(random() % 40);
        for (uint8_t& byte : frame)
            byte = static_cast<uint8_t>(random());
        const uint16_t claimed = AnyLength(random);
        CheckSummary(FormatSummaryLine(record->frame_bits, claimed, frame, line), record->frame_bits, claimed,
                     frame.size());
        CheckDump(FormatFrameDump(frame, dump), frame.size());
        if (HasFatalFailure())
            return;
    }
}

std::string AnyHexText(std::mt19937& random)
{
    static constexpr char kAlphabet[] = "0123456789abcdefABCDEFxX+-  \t\r\nzg\x80\xff";
    const size_t length = random() % 4 == 0 ? 999 : random() % 60;
    std::string text(length, ' ');
    for (char& c : text)
        c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    return text;
}

TEST(TrafficTextFuzz, HexTextsAgreeWithTheLibraryConversion)
{
    std::mt19937 random(7);
    for (int round = 0; round < kRounds; ++round) {
        const std::string text = AnyHexText(random);
        std::array<uint8_t, kCommandDataSize> data{};
        const size_t count = ParseSpacedHexTokens(text, data);

        // The same split, and each token through sscanf itself.
        std::vector<uint8_t> expected;
        size_t i = 0;
        while (expected.size() < kCommandDataSize) {
            while (i < text.size() && text[i] == ' ')
                ++i;
            if (i == text.size())
                break;
            const size_t start = i;
            while (i < text.size() && text[i] != ' ')
                ++i;
            const std::string token = text.substr(start, i - start);
            unsigned long value = 0;
            expected.push_back(std::sscanf(token.c_str(), "%2lx", &value) == 1 ? static_cast<uint8_t>(value) : 0);
        }
        ASSERT_EQ(count, expected.size()) << text;
        for (size_t k = 0; k < expected.size(); ++k)
            ASSERT_EQ(data[k], expected[k]) << "token " << k << " of \"" << text << '"';
    }
}

TEST(TrafficTextFuzz, HistoryMatchesAPlainRingOfTen)
{
    std::mt19937 random(99);
    auto history = std::make_unique<FrameHistory>();
    std::deque<std::string> model;
    for (int round = 0; round < kRounds; ++round) {
        std::string text(random() % 3 == 0 ? 999 + random() % 50 : random() % 30, 'a');
        for (char& c : text)
            c = static_cast<char>('!' + random() % 90);
        RememberFrame(*history, text);
        model.push_front(text.substr(0, 999));
        if (model.size() > 10)
            model.pop_back();
        ASSERT_EQ(history->count, static_cast<int32_t>(model.size()));
        for (int32_t k = 0; k < history->count; ++k)
            ASSERT_EQ(HistoryEntry(*history, k), model[k]) << round << ' ' << k;
        ASSERT_EQ(HistoryEntry(*history, history->count), "");
    }
}

TEST(TrafficTextFuzz, StreamsMatchAPlainCounter)
{
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        SendManyState state = {};
        char length_text[32];
        std::snprintf(length_text, sizeof length_text, "%u", static_cast<unsigned>(random() % 2000));
        const SendManyLength length = ParseSendManyLength(length_text);
        ASSERT_LE(length.length, kSendManyMaxLength);
        StartSendMany(state, length.length);
        unsigned accepted = 0;
        for (int frame = 0; frame < 600; ++frame) {
            std::array<uint8_t, kCommandDataSize> data{};
            ASSERT_EQ(FillStreamFrame(state, data), length.length);
            for (uint16_t i = 0; i < length.length; ++i)
                ASSERT_EQ(data[i], static_cast<uint8_t>(accepted));
            const uint8_t return_code = random() % 4 == 0 ? static_cast<uint8_t>(random()) : 0;
            char status[kSendManyStatusSize];
            const std::string_view text = FormatSendManyStatus(state, return_code, status);
            ASSERT_LE(text.size(), 35u);
            char expected[64];
            std::snprintf(expected, sizeof expected, "Sent # %u: %02X %02X %02X... - RC 0x%02X", accepted % 65536,
                          accepted % 256, accepted % 256, accepted % 256, return_code);
            ASSERT_EQ(text, expected);
            AfterStreamFrame(state, return_code);
            if (return_code == 0)
                ++accepted;
        }
    }
}

}  // namespace
}  // namespace qz6::mon
