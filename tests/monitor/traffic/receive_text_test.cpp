// The receive monitor's texts: summary lines, dumps and the list bound.
#include "monitor/traffic/receive_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace qz6::mon {
namespace {

std::vector<uint8_t> Counting(size_t count)
{
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    return bytes;
}

std::string Summary(uint8_t bits, uint16_t length, const std::vector<uint8_t>& bytes)
{
    char line[kReceiveLineSize];
    return std::string(FormatSummaryLine(bits, length, bytes, line));
}

std::string Dump(const std::vector<uint8_t>& bytes)
{
    static char dump[kDumpTextSize];
    return std::string(FormatFrameDump(bytes, dump));
}

TEST(SummaryLine, ColumnsSitUnderTheirHeads)
{
    const struct {
        uint8_t bits;
        uint16_t length;
        std::vector<uint8_t> bytes;
        const char* expected;
    } cases[] = {
        {0x00, 3, {0x7E, 0x01, 0xFF}, "0x00     3  7E 01 FF "},
        {0x41, 0, {}, "0x41     0  "},
        {0x0A, 1, {0xAB}, "0x0A     1  AB "},
        {0xFF, 15, Counting(15), "0xFF    15  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "},
        // Longer frames: the full length, the first 15 bytes.
        {0x10, 16, Counting(16), "0x10    16  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "},
        {0x04, 4001, Counting(4001), "0x04  4001  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "},
        {0x00, 65535, Counting(20), "0x00 65535  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "},
        // A length beyond the bytes at hand shows as reported; no byte
        // beyond them is read.
        {0x02, 300, {0x11, 0x22}, "0x02   300  11 22 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Summary(c.bits, c.length, c.bytes), c.expected) << c.expected;
}

TEST(SummaryLine, IsNeverLongerThan57Characters)
{
    EXPECT_EQ(Summary(0xFF, 65535, Counting(100)).size(), kSummaryLineMax);
    EXPECT_EQ(Summary(0x41, 0, {}).size(), 12u);
    EXPECT_EQ(Summary(0x00, 3, {0x7E, 0x01, 0xFF}).size(), 21u);
}

TEST(FrameDump, LinesOfSixteenWithAHyphenAfterTheEighth)
{
    const struct {
        size_t count;
        const char* expected;
    } cases[] = {
        {0, "\r\n"},
        {1, "0000  00 \r\n"},
        {7, "0000  00 01 02 03 04 05 06 \r\n"},
        {8, "0000  00 01 02 03 04 05 06 07 - \r\n"},
        {9, "0000  00 01 02 03 04 05 06 07 - 08 \r\n"},
        {16, "0000  00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F \r\n"},
        {20,
         "0000  00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F \r\n"
         "0010  10 11 12 13 \r\n"},
        {24,
         "0000  00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F \r\n"
         "0010  10 11 12 13 14 15 16 17 - \r\n"},
        {32,
         "0000  00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F \r\n"
         "0010  10 11 12 13 14 15 16 17 - 18 19 1A 1B 1C 1D 1E 1F \r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Dump(Counting(c.count)), c.expected) << c.count << " bytes";
}

TEST(FrameDump, StopsAfter4000BytesAt250Lines)
{
    for (size_t count : {4000u, 4001u, 8000u, static_cast<unsigned>(kMaxReceivedFrame)}) {
        const std::string dump = Dump(Counting(count));
        EXPECT_EQ(dump.size(), 250 * kDumpLineLength) << count;
        const size_t last_line = dump.rfind("\r\n", dump.size() - 3) + 2;
        EXPECT_EQ(dump.substr(last_line, 6), "0F90  ") << count;
        // Every line is a full line.
        for (size_t at = 0; at < dump.size(); at += kDumpLineLength)
            EXPECT_EQ(dump.substr(at + kDumpLineLength - 2, 2), "\r\n") << count << " at " << at;
    }
}

TEST(ReceiveRecordText, ALengthBeyondTheRecordReadsOnlyTheRecord)
{
    // On the heap at its exact size, so that reading past it is caught.
    auto record = std::make_unique<ReceiveRecord>();
    record->status = RECEIVE_FRAME_PRESENT;
    record->frame_bits = 0x08;
    for (size_t i = 0; i < kMaxReceivedFrame; ++i)
        record->frame_data[i] = static_cast<uint8_t>(i * 7);

    record->frame_length = 65535;
    EXPECT_EQ(RecordedFrameBytes(*record, SIZE_MAX).size(), kMaxReceivedFrame);
    char line[kReceiveLineSize];
    EXPECT_EQ(std::string(FormatSummaryLine(*record, line)).substr(0, 12), "0x08 65535  ");
    static char dump[kDumpTextSize];
    EXPECT_EQ(FormatFrameDump(*record, dump).size(), 250 * kDumpLineLength);

    record->frame_length = 2;
    EXPECT_EQ(std::string(FormatSummaryLine(*record, line)), "0x08     2  00 07 ");
    EXPECT_EQ(std::string(FormatFrameDump(*record, dump)), "0000  00 07 \r\n");
}

TEST(ReceiveList, HoldsAtMost49LinesTheNewestSelected)
{
    int32_t count = 0;
    for (int line = 1; line <= 49; ++line) {
        const ReceiveListStep step = CountReceiveLine(count);
        EXPECT_FALSE(step.delete_oldest) << line;
        EXPECT_EQ(step.select, line - 1);
    }
    for (int line = 50; line < 200; ++line) {
        const ReceiveListStep step = CountReceiveLine(count);
        EXPECT_TRUE(step.delete_oldest) << line;
        EXPECT_EQ(step.select, 48);
        EXPECT_EQ(count, 49);
    }
}

// Taking over what the receive thread handed across: in order, at most the
// 49 newest lines however far behind the taker fell, each taken once, the
// dump of the newest displayed frame, the counter as "Count:" allowed it.
TEST(ReceiveHandoff, TheTakerGetsTheNewestLinesOnceAndTheLatestDumpAndCounter)
{
    auto handoff = std::make_unique<ReceiveHandoff>();
    auto update = std::make_unique<ReceiveUpdate>();
    ReceiveShown shown{};
    auto record = std::make_unique<ReceiveRecord>();
    record->frame_length = 1;
    for (uint16_t frame = 1; frame <= 130; ++frame) {
        record->frame_data[0] = static_cast<uint8_t>(frame);
        HandOverFrame(*handoff, *record, frame <= 120, frame <= 125, frame);
    }
    TakeReceiveUpdate(*handoff, shown, *update);
    ASSERT_EQ(update->line_count, 49);
    EXPECT_STREQ(update->lines[0], "0x00     1  48 ");  // frame 72
    EXPECT_STREQ(update->lines[48], "0x00     1  78 ");  // frame 120, the last displayed
    ASSERT_TRUE(update->new_dump);
    ASSERT_EQ(update->dump_length, 1);
    EXPECT_EQ(update->dump_frame[0], 120);
    ASSERT_TRUE(update->new_counter);
    EXPECT_EQ(update->counter, 125);

    TakeReceiveUpdate(*handoff, shown, *update);
    EXPECT_EQ(update->line_count, 0);
    EXPECT_FALSE(update->new_dump);
    EXPECT_FALSE(update->new_counter);

    HandOverLine(*handoff, "Unable to open device for reading!");
    TakeReceiveUpdate(*handoff, shown, *update);
    ASSERT_EQ(update->line_count, 1);
    EXPECT_STREQ(update->lines[0], "Unable to open device for reading!");
}

}  // namespace
}  // namespace qz6::mon
