// The line test's pure parts: its frames and their check, the tally of a
// run, the entries, the rates and the verdict.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/stream_protocol.h"
#include "monitor/line_test/line_test_frames.h"
#include "monitor/line_test/line_test_text.h"

namespace qz6::mon {
namespace {

constexpr uint16_t kRun = 0x4321;

std::vector<uint8_t> Frame(uint32_t sequence, size_t length, uint16_t run = kRun)
{
    std::vector<uint8_t> frame(length);
    FillTestFrame(run, sequence, frame);
    return frame;
}

TEST(TestFrames, CarryTheirNumberAndLengthAndEveryChangedByteIsSeen)
{
    const std::vector<uint8_t> frame = Frame(0x01020304, 300);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 8),
              (std::vector<uint8_t>{4, 3, 2, 1, 44, 1, 0x21, 0x43}));
    for (size_t length : {size_t{12}, size_t{13}, size_t{64}, size_t{512}}) {
        for (uint32_t sequence : {0u, 1u, 255u, 256u, 999999u, 0xFFFFFFFFu}) {
            std::vector<uint8_t> bytes = Frame(sequence, length);
            const CheckedFrame checked = CheckTestFrame(bytes);
            EXPECT_EQ(checked.check, FrameCheck::Good) << length << " " << sequence;
            EXPECT_EQ(checked.sequence, sequence);
            EXPECT_EQ(checked.run, kRun);
            // Any byte changed in any bit: the frame is no longer good,
            // unless (for the sequence or run number) it became exactly
            // another frame, which a change in a 12- or 64-byte frame never
            // does.
            for (size_t at = 0; (length == 12 || length == 64) && at < length; ++at) {
                for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
                    bytes[at] ^= flip;
                    EXPECT_NE(CheckTestFrame(bytes).check, FrameCheck::Good) << "byte " << at << " ^ " << int{flip};
                    bytes[at] ^= flip;
                }
            }
        }
    }
    // Consecutive frames, and the same frame of consecutive runs, differ in
    // most of their pattern bytes.
    for (const std::vector<uint8_t>& other : {Frame(0x01020305, 300), Frame(0x01020304, 300, kRun + 1)}) {
        size_t same = 0;
        for (size_t i = 8; i < 300; ++i)
            same += frame[i] == other[i];
        EXPECT_LT(same, 10u);
    }
}

TEST(TestFrames, CutOrLengthenedFramesAndStrangersFailTheCheck)
{
    std::vector<uint8_t> bytes = Frame(7, 64);
    EXPECT_EQ(CheckTestFrame(std::span(bytes).first(63)).check, FrameCheck::LengthMismatch);
    bytes.push_back(0);
    EXPECT_EQ(CheckTestFrame(bytes).check, FrameCheck::LengthMismatch);
    EXPECT_EQ(CheckTestFrame(std::span(bytes).first(11)).check, FrameCheck::TooShort);
    EXPECT_EQ(CheckTestFrame({}).check, FrameCheck::TooShort);
    const std::vector<uint8_t> zeros = {0, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CheckTestFrame(zeros).check, FrameCheck::PatternMismatch);
}

TEST(TestFrames, ArrivedBytesLeaveOutTheCrcTheAdapterAppended)
{
    static ReceiveRecord record;
    const std::vector<uint8_t> frame = Frame(3, 20);
    std::memcpy(record.frame_data, frame.data(), frame.size());
    record.frame_data[20] = 0xAB;
    record.frame_data[21] = 0xCD;
    record.frame_length = 22;
    record.frame_bits = FRAME_BITS_CRC_INCLUDED;
    EXPECT_EQ(ArrivedFrameBytes(record).size(), 20u);
    EXPECT_EQ(CheckTestFrame(ArrivedFrameBytes(record)).check, FrameCheck::Good);
    record.frame_bits = 0;
    EXPECT_EQ(ArrivedFrameBytes(record).size(), 22u);
    record.frame_length = 0xFFFF;  // never past the record
    EXPECT_EQ(ArrivedFrameBytes(record).size(), kMaxReceivedFrame);
}

std::vector<uint8_t> Changed(std::vector<uint8_t> frame, size_t at) { return frame[at] ^= 0xFF, frame; }

TEST(LineTestTallies, CountEachArrivalOnceByWhatItIsAndStrangersApart)
{
    LineTestTally tally{};
    tally.frames = 10;
    tally.run = kRun;
    tally.sent = 10;
    struct Arrival {
        std::vector<uint8_t> bytes;
        bool crc_error;
        bool own;
    };
    const Arrival arrivals[] = {
        {Frame(0, 16), false, true},  {Frame(1, 16), false, true},
        {Frame(3, 16), false, true},               // 2 is missing
        {Frame(2, 16), false, true},               // late: out of order
        {Frame(4, 16), true, true},                // marked by the adapter
        {Frame(6, 16, kRun - 1), false, false},    // an earlier run's
        {Frame(10, 16), false, false},             // a number the run never sends
        {{1, 2, 3}, false, false},                 // a stranger
        {std::vector<uint8_t>(16, 0), false, false},
        {Frame(5, 16), false, true},
        {Changed(Frame(6, 16), 1), false, true},   // damaged number: corrupted
        {Changed(Frame(7, 16), 6), false, true},   // damaged run number: corrupted
        {Changed(Frame(7, 16, kRun - 1), 9), false, false},  // an earlier run's, damaged
    };
    for (const Arrival& arrival : arrivals)
        EXPECT_EQ(TallyArrival(tally, arrival.bytes, arrival.crc_error), arrival.own) << arrival.bytes.size();
    EXPECT_EQ(tally.received, 8u);
    EXPECT_EQ(tally.corrupted, 3u);
    EXPECT_EQ(tally.out_of_order, 1u);
    EXPECT_EQ(tally.strangers, 5u);
    EXPECT_EQ(LostFrames(tally), 2u);
    EXPECT_EQ(FramesInFlight(tally), 2u);  // 8 and 9; 6 and 7 came back damaged
    tally.sent = 5;
    EXPECT_EQ(FramesInFlight(tally), 0u);
    tally.received = 12;  // never below zero
    EXPECT_EQ(LostFrames(tally), 0u);
}

TEST(LineTestEntries, MakeAPlanOrSayWhatIsWrong)
{
    const struct {
        LineTestEntries entries;
        uint16_t max_frame_size;
        const char* message;
    } cases[] = {
        {{"1000", "64", "", "0"}, 2000, ""},
        {{" 1 ", "\t12", "  ", "100000"}, 12, ""},
        {{"1000000", "512", "KORQZ6C1", "0"}, 2000, ""},
        {{"", "64", "", "0"}, 2000, "Frames: enter a number from 1 to 1000000."},
        {{"1000001", "64", "", "0"}, 2000, "Frames: enter a number from 1 to 1000000."},
        {{"99999999999999999999", "64", "", "0"}, 2000, "Frames: enter a number from 1 to 1000000."},
        {{"-5", "64", "", "0"}, 2000, "Frames: enter a number from 1 to 1000000."},
        {{"10x", "64", "", "0"}, 2000, "Frames: enter a number from 1 to 1000000."},
        {{"10", "11", "", "0"}, 2000, "Length: enter a number from 12 to 512."},
        {{"10", "513", "", "0"}, 2000, "Length: enter a number from 12 to 512."},
        {{"10", "100", "", "0"}, 99, "Length: the adapter is configured for frames of at most 99 bytes."},
        {{"10", "64", "rozar6o0", "0"}, 2000,
         "Partner device: rozar6o0 is this adapter; leave it empty for the loopback plug."},
        {{"10", "64", "KOR QZ", "0"}, 2000,
         "Partner device: enter an adapter name such as KORQZ6C1, or nothing for the loopback plug."},
        {{"10", "64", "", ""}, 2000,
         "Frames per second: enter a number from 0 (as fast as the line takes them) to 100000."},
        {{"10", "64", "", "100001"}, 2000,
         "Frames per second: enter a number from 0 (as fast as the line takes them) to 100000."},
    };
    for (const auto& c : cases) {
        LineTestPlan plan;
        char message[kLineTestMessageSize];
        EXPECT_EQ(ReadLineTestEntries(c.entries, "ROZAR6O0", c.max_frame_size, plan, message), c.message)
            << c.entries.frames << "/" << c.entries.length << "/" << c.entries.partner << "/" << c.entries.rate;
    }
    LineTestPlan plan;
    char message[kLineTestMessageSize];
    ASSERT_EQ(ReadLineTestEntries({" 250", "100 ", " KORQZ6C1 ", "30"}, "ROZAR6O0", 2000, plan, message), "");
    EXPECT_EQ(plan.frames, 250u);
    EXPECT_EQ(plan.length, 100u);
    EXPECT_STREQ(plan.partner, "KORQZ6C1");
    EXPECT_EQ(plan.rate, 30u);
}

TEST(LineTestResults, RatesWaitAndVerdict)
{
    // 1000 frames of 64 bytes in 0.5 s on a 2 048 000 bit/s line.
    const LineTestRates rates = ComputeLineTestRates(1000, 64, 500000, 2048000);
    EXPECT_DOUBLE_EQ(rates.frames_per_second, 2000.0);
    EXPECT_DOUBLE_EQ(rates.bits_per_second, 1024000.0);
    EXPECT_DOUBLE_EQ(rates.percent_of_bit_rate, 50.0);
    const LineTestRates none = ComputeLineTestRates(0, 64, 0, 0);
    EXPECT_EQ(none.frames_per_second, 0.0);
    char field[kLineTestFieldSize];
    EXPECT_EQ(FormatFramesPerSecond(3759.44, field), "3759.4");
    EXPECT_EQ(FormatBitsPerSecond(1924833.4, field), "1924833");
    EXPECT_EQ(FormatPercent(93.98, field), "94.0 %");

    // 16 transmit buffers and the frame on the wire, twice, at 68 bytes a
    // frame: 2 * 17 * 544 bits at 56 000 bit/s is 330.3 ms, then the host's second.
    EXPECT_EQ(LineTestDrainMs(64, 56000, 16), 1331u);
    EXPECT_EQ(LineTestDrainMs(64, 0, 16), 10000u);

    const struct {
        uint32_t sent, received, corrupted, out_of_order, strangers;
        LineTestEnding ending;
        const char* failure;
        const char* verdict;
    } cases[] = {
        {1000, 1000, 0, 0, 0, LineTestEnding::Finished, "", "PASS"},
        {1000, 900, 0, 0, 0, LineTestEnding::Finished, "", "FAIL: 100 lost"},
        {1000, 1000, 20, 0, 0, LineTestEnding::Finished, "", "FAIL: 20 corrupted"},
        {1000, 999, 3, 2, 0, LineTestEnding::Finished, "", "FAIL: 1 lost, 3 corrupted, 2 out of order"},
        {400, 400, 0, 0, 0, LineTestEnding::Stopped, "", "FAIL: stopped after 400 of 1000 frames"},
        {7, 5, 0, 0, 0, LineTestEnding::Failed, "ROZAR6O0 refused frame 7 (0x03)", "FAIL: ROZAR6O0 refused frame 7 (0x03)"},
        {516, 500, 2, 0, 1, LineTestEnding::FellSilent, "",
         "FAIL: nothing came back after 500 frames, 16 lost, 2 corrupted; 1 frame not of this run"},
    };
    for (const auto& c : cases) {
        LineTestTally tally{};
        tally.frames = 1000;
        tally.sent = c.sent;
        tally.received = c.received;
        tally.corrupted = c.corrupted;
        tally.out_of_order = c.out_of_order;
        tally.strangers = c.strangers;
        char verdict[kLineTestVerdictSize];
        EXPECT_EQ(LineTestVerdict(tally, c.ending, c.failure, verdict), c.verdict);
    }
}

}  // namespace
}  // namespace qz6::mon
