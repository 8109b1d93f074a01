// The capture spool of two buffers, the clock that stamps frames and the
// adapter's drop count.
#include "common/capture/capture_spool.h"

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "common/capture/capture_reader.h"

namespace qz6::capture {
namespace {

TEST(CaptureSpools, KeepEveryFrameInOrderWithItsTagsAndMarksAcrossSwapsAndCountWhatDoesNotFit)
{
    // Room for two 40-byte frames in each buffer, with their LAPB tags.
    const size_t tagged = PacketBlockSize(40) + ExportedPduTagsSize("lapb", Direction::Inbound);
    std::vector<uint8_t> first(2 * tagged), second(2 * tagged);
    CaptureSpool spool(first, second);
    std::vector<uint8_t> file;
    auto write_out = [&] {
        const std::span<const uint8_t> taken = spool.TakeFilled();
        file.insert(file.end(), taken.begin(), taken.end());
        spool.Written();
    };
    ASSERT_TRUE(spool.Filling().AppendSectionHeader("test"));
    write_out();
    ASSERT_TRUE(spool.Filling().AppendInterface({"ROZAR6O0", kLapbEncoding}));
    write_out();

    // As the adapter hands them up, with their CRC bytes; every other one bad.
    ReceiveRecord record{};
    uint8_t number = 0;
    auto append = [&] {
        record.frame_length = 42;
        record.frame_bits = FRAME_BITS_CRC_INCLUDED | (number % 2 == 1 ? FRAME_BITS_CRC_ERROR : 0);
        memset(record.frame_data, number++, 42);
        return spool.AppendFrame(ReceivedPacket(record, 1000u * number));
    };
    EXPECT_TRUE(append());
    EXPECT_TRUE(append());
    EXPECT_FALSE(append());  // the filling buffer is full
    write_out();
    EXPECT_TRUE(append());   // into the other, now empty buffer
    EXPECT_TRUE(append());
    write_out();
    EXPECT_TRUE(append());
    write_out();
    EXPECT_EQ(spool.frames(), 5u);
    EXPECT_EQ(spool.overflowed(), 1u);

    CaptureReader reader(file);
    std::vector<uint8_t> firsts;
    for (CaptureFrame read; reader.Next(read);) {
        firsts.push_back(read.data[0]);
        EXPECT_EQ(read.errors, read.data[0] % 2 == 1 ? kFrameCrcError : 0u) << int{read.data[0]};
    }
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(firsts, (std::vector<uint8_t>{0, 1, 3, 4, 5}));
}

TEST(CaptureClocks, StampInTimeOrderFromTheHostOrTheAdaptersClockThroughItsWrap)
{
    CaptureClock clock{};
    EXPECT_EQ(StampFromHost(clock, 5000), 5000u);
    EXPECT_EQ(StampFromHost(clock, 4000), 5000u);  // never earlier than the one before
    // The adapter's millisecond 100 is met at host time 1 000 000 us.
    EXPECT_EQ(StampFromAdapter(clock, 100, 1000000), 1000000u);
    EXPECT_EQ(StampFromAdapter(clock, 103, 1009999), 1003000u);  // the adapter's time, not the host's
    EXPECT_EQ(StampFromAdapter(clock, 102, 1010000), 1003000u);
    EXPECT_EQ(StampFromHost(clock, 1004500), 1004500u);

    CaptureClock wrapping{};
    constexpr uint64_t kLate = 5000000000000ull;  // after the adapter's 2^32 ms
    EXPECT_EQ(StampFromAdapter(wrapping, 0xFFFFFFF0u, kLate), kLate);
    EXPECT_EQ(StampFromAdapter(wrapping, 0x10u, 0), kLate + 0x20u * 1000u);
    // Started again: set against the host's clock anew, still in order.
    constexpr uint64_t k2026 = 1780000000000000ull;
    CaptureClock restarted{};
    StampFromAdapter(restarted, 7, k2026);
    EXPECT_EQ(StampFromAdapter(restarted, 0xFFFFFFFFu, k2026 + 1000000), k2026 + 1000000);
    EXPECT_EQ(StampFromAdapter(restarted, 9, 0), k2026 + 1010000);
}

TEST(CaptureDrops, AreTheOverrunsAndFullBuffersSinceTheStart)
{
    CommErrorsReply start{}, end{};
    start.rx_overruns = 2;
    start.rx_disabled_bfrs_full = 250;
    end.rx_overruns = 5;
    end.rx_disabled_bfrs_full = 255;
    end.rx_crc_errors = 9;  // spoiled, not dropped
    EXPECT_EQ(FramesDroppedBetween(start, end), 8u);
    EXPECT_EQ(FramesDroppedBetween(end, start), 0u);  // zeroed meanwhile: nothing known
}

}  // namespace
}  // namespace qz6::capture
