// Reply decoding and the display decisions of the four data windows.
#include "monitor/channel/replies.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "monitor/channel/command_block.h"

namespace qz6::mon {
namespace {

CommandBlock ReplyWith(std::initializer_list<uint8_t> data, uint8_t command = 0, uint8_t return_code = 0)
{
    CommandBlock block = {};
    block.command = command;
    block.return_code = return_code;
    block.data_length = static_cast<uint16_t>(data.size());
    size_t i = 0;
    for (uint8_t byte : data)
        block.data[i++] = byte;
    return block;
}

TEST(StatusReplyDecoding, FieldsAtTheirOffsetsLittleEndian)
{
    const StatusReply reply = DecodeStatusReply(ReplyWith({0x01, 0x01, 0x02, 0xEE, 0xEE, 0x0A}));
    EXPECT_EQ(reply.channel_status, 1);
    EXPECT_EQ(+reply.rx_frames_queued, 513);
    EXPECT_EQ(reply.interrupt_pending, 0x0A);
}

TEST(StatisticsReplyDecoding, EveryCounterGoesToItsControl)
{
    CommandBlock block = ReplyWith({0xFF, 0xFF, 9, 9, 9, 9});
    // tx_frames 70000 at offset 6, then counter i at offset 6 + 4 i holds i + 1,
    // the last one 4294967295.
    block.data[6] = 0x70;
    block.data[7] = 0x11;
    block.data[8] = 0x01;
    block.data[9] = 0x00;
    for (unsigned i = 1; i < 8; ++i)
        block.data[6 + 4 * i] = static_cast<uint8_t>(i + 1);
    for (unsigned b = 0; b < 4; ++b)
        block.data[38 + b] = 0xFF;
    const CounterDisplayList shown = OperationalCounterDisplay(block);
    ASSERT_EQ(shown.count, 10u);
    const uint32_t expected[] = {65535, 70000, 2, 3, 4, 5, 6, 7, 8, 4294967295u};
    for (unsigned i = 0; i < 10; ++i) {
        EXPECT_EQ(shown.items[i].control, 200 + i);
        EXPECT_EQ(shown.items[i].value, expected[i]) << "control " << 200 + i;
    }
}

TEST(CommErrorsReplyDecoding, MapShowsSevenBytesAndSkipsTheOthers)
{
    const CommErrorsReply reply = DecodeCommErrorsReply(ReplyWith({10, 11, 12, 13, 14, 15, 16, 17, 18, 255}));
    EXPECT_EQ(reply.rx_overruns, 10);
    EXPECT_EQ(reply.cts_drops, 255);

    const CounterDisplayList shown = CommErrorCounterDisplay(ReplyWith({10, 11, 12, 13, 14, 15, 16, 17, 18, 255}));
    ASSERT_EQ(shown.count, 7u);
    const struct {
        uint16_t control;
        uint32_t value;
    } expected[] = {{200, 10}, {201, 11}, {202, 12}, {203, 13}, {204, 15}, {207, 18}, {208, 255}};
    for (unsigned i = 0; i < 7; ++i) {
        EXPECT_EQ(shown.items[i].control, expected[i].control) << i;
        EXPECT_EQ(shown.items[i].value, expected[i].value) << i;
    }
}

TEST(ReplyTexts, NumbersLinesAndChannel)
{
    NumberText text;
    EXPECT_EQ(FormatDecimal(4294967295u, text), "4294967295");
    EXPECT_EQ(FormatHexByte(10, text), "0x0A");
    EXPECT_EQ(ChannelStatusText(2), "ENABLED");
    EXPECT_EQ(LineLevelText(0xD7, MODEM_LINE_DCD), "Low");
    EXPECT_EQ(LineLevelText(0x20, MODEM_LINE_CTS), "High");
}

// A run of replies after the window opened; each row the controls it
// rewrites (C channel, F frames queued, I interrupt byte).
TEST(LinkStatusDisplay, RewritesOnlyWhatChangedAndKeepsQuestionMarksForStartValues)
{
    const struct {
        uint8_t channel_status;
        uint16_t frames_queued;
        uint8_t interrupt_byte;
        const char* rewritten;
    } rows[] = {
        {255, 65535, 255, ""},   // the start values: every control stays "?"
        {255, 3, 255, "F"},      // each is written once it differs
        {0, 3, 255, "C"},
        {0, 3, 10, "I"},
        {0, 3, 10, ""},          // identical reply
        {1, 3, 10, "C"},
        {2, 3, 10, "C"},         // same text "ENABLED", rewritten all the same
        {0, 0, 0, "CFI"},
    };
    LinkStatusShown shown;
    for (const auto& row : rows) {
        StatusReply reply = {};
        reply.channel_status = row.channel_status;
        reply.rx_frames_queued = row.frames_queued;
        reply.interrupt_pending = row.interrupt_byte;
        const uint8_t changed = UpdateLinkStatusShown(shown, reply);
        std::string rewritten;
        if (changed & kChannelStatusChanged)
            rewritten += 'C';
        if (changed & kFramesQueuedChanged)
            rewritten += 'F';
        if (changed & kInterruptByteChanged)
            rewritten += 'I';
        EXPECT_EQ(rewritten, row.rewritten) << int(row.channel_status) << " " << row.frames_queued << " "
                                            << int(row.interrupt_byte);
    }
}

TEST(ModemStatusDisplay, AnyBitRewritesBothLinesButTheStartValueNone)
{
    const struct {
        uint8_t lines;
        bool rewritten;
    } rows[] = {{255, false}, {0x28, true}, {0x28, false}, {0x29, true}, {0x09, true}, {0x09, false}};
    uint8_t shown = kModemLinesStart;
    for (const auto& row : rows)
        EXPECT_EQ(UpdateModemLinesShown(shown, ModemLinesReply{row.lines}), row.rewritten) << int(row.lines);
}

TEST(StatisticsDisplay, WholeBlockDecidesAndFailuresKeepTheDisplay)
{
    CommandBlock saved = {};
    MarkSavedBlockStale(saved);
    CommandBlock read = ReplyWith({1, 0, 0, 0, 0, 0, 5}, READ_STATISTICS);
    // The first read after opening redraws even when it equals what was
    // shown before the window was closed.
    CommandBlock shown_before = read;
    MarkSavedBlockStale(shown_before);
    EXPECT_EQ(JudgeStatisticsPoll(read, shown_before), StatisticsPoll::Redraw);

    saved = read;
    EXPECT_EQ(JudgeStatisticsPoll(read, saved), StatisticsPoll::Unchanged);

    // A byte nobody shows, in data or in the header, redraws all the same.
    for (size_t offset : {size_t{2}, size_t{5}, size_t{42}, size_t{511}}) {
        CommandBlock changed = read;
        changed.data[offset] = 0x5A;
        EXPECT_EQ(JudgeStatisticsPoll(changed, saved), StatisticsPoll::Redraw) << "data byte " << offset;
    }
    CommandBlock header_changed = read;
    header_changed.data_length = 0;
    EXPECT_EQ(JudgeStatisticsPoll(header_changed, saved), StatisticsPoll::Redraw);

    CommandBlock failed = read;
    failed.return_code = NO_RESPONSE_CODE;
    EXPECT_EQ(JudgeStatisticsPoll(failed, saved), StatisticsPoll::Failed);
    failed.return_code = 0x05;
    EXPECT_EQ(JudgeStatisticsPoll(failed, saved), StatisticsPoll::Failed);
}

}  // namespace
}  // namespace qz6::mon
