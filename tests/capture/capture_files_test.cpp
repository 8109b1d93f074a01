// The files of a capture: their names, when a ring moves on or a capture
// ends, and the whole blocks of a write that stopped short.
#include "common/capture/capture_files.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/capture/pcapng_writer.h"

namespace qz6::capture {
namespace {

constexpr FileTime kTime = {2026, 12, 7, 14, 30, 5};

TEST(CaptureFiles, NamesOfOneFileAndOfARing)
{
    char name[kCaptureFileNameSize];
    EXPECT_EQ(DefaultCaptureFileName("ROZAR6O0", kTime, name), "ROZAR6O0_20261207143005.pcapng");
    const struct {
        const char* path;
        uint32_t number;
        const char* name;
    } cases[] = {
        {"line.pcapng", 3, "line_00003_20261207143005.pcapng"},
        {"C:\\caps.d\\line", 12, "C:\\caps.d\\line_00012_20261207143005"},
        {"Z:/tmp/v1.2/rig.cap.pcapng", 123456, "Z:/tmp/v1.2/rig.cap_123456_20261207143005.pcapng"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RingFileName(c.path, c.number, kTime, name), c.name);
}

TEST(CaptureFiles, ARingMovesOnBeforeAFileWouldGrowPastItsLimitAndTheCaptureEndsWhenAsked)
{
    const FileLimits ring_of_1000 = {1000, 0, 3, 0, 0};
    const FileLimits ring_of_two_files = {1000, 60000000, 0, 0, 2};
    const FileLimits stop_at_1000 = {0, 0, 0, 1000, 0};
    const struct {
        FileLimits limits;
        FileProgress file;
        size_t block;
        FileStep step;
    } cases[] = {
        {ring_of_1000, {900, 1, 0, 1}, 100, FileStep::Write},
        {ring_of_1000, {900, 1, 0, 1}, 101, FileStep::NextFile},
        {ring_of_1000, {200, 0, 0, 1}, 5000, FileStep::Write},  // a file takes at least one frame
        {ring_of_two_files, {900, 1, 0, 1}, 200, FileStep::NextFile},
        {ring_of_two_files, {900, 1, 0, 2}, 200, FileStep::Stop},
        {stop_at_1000, {900, 1, 0, 1}, 101, FileStep::Stop},
        {FileLimits{}, {1ull << 40, 9, 0, 1}, 1ull << 20, FileStep::Write},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StepBeforeFrame(c.limits, c.file, c.block), c.step) << c.file.bytes << "+" << c.block;
    EXPECT_EQ(StepOnTick(ring_of_two_files, {100, 0, 5000000, 1}, 64999999), FileStep::Write);
    EXPECT_EQ(StepOnTick(ring_of_two_files, {100, 0, 5000000, 1}, 65000000), FileStep::NextFile);
    EXPECT_EQ(StepOnTick(ring_of_two_files, {100, 0, 5000000, 2}, 65000000), FileStep::Stop);
    EXPECT_EQ(RingFileToRemove(ring_of_1000, 3), 0u);
    EXPECT_EQ(RingFileToRemove(ring_of_1000, 4), 1u);
    EXPECT_EQ(RingFileToRemove(ring_of_two_files, 400), 0u);  // keeps all
}

TEST(CaptureFiles, AShortWriteKeepsTheWholeBlocksWithinIt)
{
    std::vector<uint8_t> buffer(1024);
    CaptureWriter writer(buffer);
    ASSERT_TRUE(writer.AppendInterface({"ROZAR6O0", 104}));
    const size_t head = writer.Pending().size();
    const std::vector<uint8_t> frame(10, 0x55);
    ASSERT_TRUE(writer.AppendPacket({1, Direction::Inbound, frame}));
    ASSERT_TRUE(writer.AppendPacket({2, Direction::Inbound, frame}));
    const std::span<const uint8_t> blocks = writer.Pending();
    const size_t packet = PacketBlockSize(frame.size());
    const struct {
        size_t written;
        size_t length;
        uint64_t frames;
    } cases[] = {
        {0, 0, 0}, {head - 1, 0, 0}, {head, head, 0}, {head + packet - 4, head, 0},
        {head + packet, head + packet, 1}, {blocks.size() - 1, head + packet, 1}, {blocks.size(), blocks.size(), 2},
    };
    for (const auto& c : cases) {
        const BlockRun run = WholeBlocks(blocks, c.written);
        EXPECT_EQ(run.length, c.length) << c.written;
        EXPECT_EQ(run.frames, c.frames) << c.written;
    }
}

}  // namespace
}  // namespace qz6::capture
