// Captures and the line's impairments under Wine, against the loaded driver:
// frames received from one adapter, written to a pcapng file, replayed by
// qz6sim.exe into another and received there come back the same, those
// with a bad CRC marked so again; damaged files are refused at the block
// that is damaged; impair loses and changes exactly the frames it says,
// replayed ones too.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/capture/capture_reader.h"
#include "common/capture/capture_spool.h"
#include "common/capture/pcapng_writer.h"
#include "support/device_support.h"
#include "tests/qz6sim/tool_runner.h"

namespace qz6::test {
namespace {

using Frames = std::vector<std::vector<uint8_t>>;

uint64_t UnixMicros()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t since_1601 = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (since_1601 - 116444736000000000ull) / 10u;
}

// A capture of inbound frames as the monitor writes it, stamped as they
// come, each with its errors (none where `errors` is empty).
std::vector<uint8_t> CaptureOf(const Frames& frames, const std::vector<uint32_t>& errors = {})
{
    static std::vector<uint8_t> buffer(256 * 1024);
    capture::CaptureWriter writer(buffer);
    EXPECT_TRUE(writer.AppendSectionHeader(capture::kMonitorApplication));
    EXPECT_TRUE(writer.AppendInterface({kAdapterDeviceNames[0], capture::kRawHdlcEncoding}));
    const uint64_t start_us = UnixMicros();
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_TRUE(writer.AppendPacket({UnixMicros(), capture::Direction::Inbound, frames[i], 0,
                                         i < errors.size() ? errors[i] : 0}));
    EXPECT_TRUE(writer.AppendStatistics({start_us, UnixMicros(), 0}));
    return {writer.Pending().begin(), writer.Pending().end()};
}

Frames FramesOf(const std::vector<uint8_t>& file)
{
    Frames frames;
    capture::CaptureReader reader(file);
    capture::CaptureFrame frame{};
    while (reader.Next(frame))
        frames.emplace_back(frame.data.begin(), frame.data.end());
    EXPECT_FALSE(reader.Failed());
    return frames;
}

// Every frame queued at the adapter now; with `errors`, the errors each is
// recorded with, as the capture turns its record into a packet.
Frames ReceiveQueued(HANDLE device, std::vector<uint32_t>* errors = nullptr)
{
    CommandBlock status{};
    EXPECT_EQ(RunCommand(device, READ_STATUS, {}, &status), RETURN_SUCCESS);
    const unsigned queued = status.data[1] | (status.data[2] << 8);
    Frames frames;
    static ReceiveRecord record;
    for (unsigned i = 0; i < queued; ++i) {
        EXPECT_TRUE(Receive(device, &record, sizeof(record)).ok);
        EXPECT_EQ(record.status, RECEIVE_FRAME_PRESENT);
        frames.emplace_back(record.frame_data, record.frame_data + record.frame_length);
        if (errors != nullptr)
            errors->push_back(capture::ReceivedPacket(record, 0).errors);
    }
    return frames;
}

class CaptureReplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SimReset());
        for (unsigned i = 0; i < 2; ++i) {
            devices_[i] = OpenAdapter(i);
            ASSERT_TRUE(devices_[i].Valid());
            ASSERT_EQ(Configure(devices_[i].Get(), DefaultConfiguration(2048000)), RETURN_SUCCESS);
            ASSERT_EQ(RunCommand(devices_[i].Get(), ENABLE_COMMS), RETURN_SUCCESS);
        }
    }
    void TearDown() override
    {
        for (const std::string& path : paths_)
            DeleteFileA(path.c_str());
        SimReset();
    }

    // A temporary file holding `bytes`, its name quoted for a command line.
    std::string NewFile(const std::vector<uint8_t>& bytes)
    {
        char dir[MAX_PATH];
        char name[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        GetTempFileNameA(dir, "qzc", 0, name);
        paths_.push_back(name);
        FILE* file = std::fopen(name, "wb");
        EXPECT_TRUE(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
        std::fclose(file);
        return "\"" + paths_.back() + "\"";
    }

    // Sends `count` frames from adapter 0 into its loopback plug, a few at
    // a time so that the receive queue never fills, and returns what was
    // sent and what arrived.
    void SendThroughLoopback(unsigned count, Frames* sent, Frames* received)
    {
        const uint32_t arrivals_before = SimAdapter(0).impairments.arrivals;
        for (unsigned k = 0; k < count; k += 8) {
            for (unsigned i = k; i < k + 8 && i < count; ++i) {
                std::vector<uint8_t> frame(10);
                for (size_t b = 0; b < frame.size(); ++b)
                    frame[b] = static_cast<uint8_t>(i * 13 + b * 7);
                ASSERT_EQ(RunCommand(devices_[0].Get(), SEND_I_FRAME, frame, nullptr), RETURN_SUCCESS) << i;
                sent->push_back(frame);
            }
            const uint32_t expected = arrivals_before + static_cast<uint32_t>(sent->size());
            ASSERT_TRUE(WaitUntil([&] { return SimAdapter(0).impairments.arrivals == expected; }));
            for (auto& frame : ReceiveQueued(devices_[0].Get()))
                received->push_back(frame);
        }
    }

    DeviceHandle devices_[2];
    std::vector<std::string> paths_;
};

TEST_F(CaptureReplay, FramesReceivedWrittenReplayedAndReceivedAgainAreTheSame)
{
    // Both pass bad-CRC frames up, marked; every third one arrives so.
    for (const DeviceHandle& device : devices_)
        ASSERT_EQ(RunCommand(device.Get(), CRC_CONTROL, {1}), RETURN_SUCCESS);
    const size_t lengths[] = {1, 2, 3, 7, 64, 100, 255, 256, 1000, 1999, 2000, 5};
    for (size_t i = 0; i < std::size(lengths); ++i) {
        std::vector<uint8_t> frame(lengths[i]);
        for (size_t k = 0; k < frame.size(); ++k)
            frame[k] = static_cast<uint8_t>(i * 31 + k * 7);
        ASSERT_EQ(SimInject(0, frame, 0, i % 3 == 2 ? INJECT_BAD_CRC : 0), INJECT_QUEUED) << i;
    }
    std::vector<uint32_t> marks;
    const Frames from_zero = ReceiveQueued(devices_[0].Get(), &marks);
    ASSERT_EQ(from_zero.size(), std::size(lengths));
    const std::string first = NewFile(CaptureOf(from_zero, marks));

    const RunResult replay = RunTool("replay KORQZ6C1 " + first + " --speed 4");
    EXPECT_EQ(replay.exit_code, 0u) << replay.out << replay.err;
    EXPECT_TRUE(Contains(replay.out, "12 frames read, 12 delivered: 12 queued\n"
                                     "4 frames recorded with a bad CRC, injected with a bad CRC\n")) << replay.out;
    EXPECT_EQ(replay.err, "");

    std::vector<uint32_t> marks_again;
    EXPECT_EQ(FramesOf(CaptureOf(ReceiveQueued(devices_[1].Get(), &marks_again))), from_zero);
    EXPECT_EQ(marks_again, marks);
}

TEST_F(CaptureReplay, DamagedOrForeignFilesAreRefusedAtTheDamage)
{
    const Frames frames = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const std::vector<uint8_t> whole = CaptureOf(frames);
    // Cut inside the third packet block, the file's fifth block.
    const std::vector<uint8_t> cut(whole.begin(), whole.end() - capture::kStatisticsBlockSize - 10);
    const RunResult damaged = RunTool("replay 1 " + NewFile(cut));
    EXPECT_EQ(damaged.exit_code, 4u) << damaged.out << damaged.err;
    EXPECT_TRUE(Contains(damaged.err, ": block 5 (enhanced packet block) at offset ")) << damaged.err;
    EXPECT_TRUE(Contains(damaged.err, ": the file ends inside this block; nothing after it was replayed\n")) << damaged.err;
    EXPECT_TRUE(Contains(damaged.out, "2 frames read, 2 delivered: 2 queued\n")) << damaged.out;
    EXPECT_EQ(ReceiveQueued(devices_[1].Get()), Frames(frames.begin(), frames.begin() + 2));

    // Every frame read, none queued (KORQZ6C2 is not configured): the replay fails.
    const RunResult refused = RunTool("replay 2 " + NewFile(whole));
    EXPECT_EQ(refused.exit_code, 6u) << refused.out << refused.err;
    EXPECT_EQ(refused.err, "qz6sim: replay: 3 of the 3 frames chosen did not queue\n");

    const std::string text = "not a capture file at all\n";
    const RunResult foreign = RunTool("replay 1 " + NewFile({text.begin(), text.end()}));
    EXPECT_EQ(foreign.exit_code, 4u);
    EXPECT_TRUE(Contains(foreign.err, ": offset 0: not a pcapng or pcap file")) << foreign.err;

    const RunResult missing = RunTool("replay 1 no-such-file.pcapng");
    EXPECT_EQ(missing.exit_code, 4u);
    EXPECT_TRUE(Contains(missing.err, "qz6sim: cannot read no-such-file.pcapng")) << missing.err;
    EXPECT_EQ(SimAdapter(1).rx_queued, 0);
}

TEST_F(CaptureReplay, ImpairLosesAndChangesExactlyTheFramesItSays)
{
    RunResult impair = RunTool("impair 0 --drop 10");
    ASSERT_EQ(impair.exit_code, 0u) << impair.err;
    EXPECT_EQ(impair.out, "ROZAR6O0: of the frames arriving, 1 in 10 lost\n");
    Frames sent;
    Frames received;
    SendThroughLoopback(100, &sent, &received);
    Frames expected;
    for (size_t i = 0; i < sent.size(); ++i) {
        if ((i + 1) % 10 != 0)
            expected.push_back(sent[i]);
    }
    EXPECT_EQ(received, expected);
    SimAdapterStatus status = SimAdapter(0);
    EXPECT_EQ(status.impairments.lost, 10u);
    EXPECT_EQ(status.comm_errors.rx_crc_errors, 0);

    impair = RunTool("impair 0 --corrupt 5");
    ASSERT_EQ(impair.exit_code, 0u) << impair.err;
    sent.clear();
    received.clear();
    SendThroughLoopback(100, &sent, &received);
    ASSERT_EQ(received.size(), 100u);
    unsigned changed = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        unsigned bytes = 0;
        for (size_t b = 0; b < sent[i].size(); ++b)
            bytes += sent[i][b] != received[i][b] ? 1 : 0;
        EXPECT_EQ(bytes, (i + 1) % 5 == 0 ? 1u : 0u) << i;
        changed += bytes != 0 ? 1 : 0;
    }
    EXPECT_EQ(changed, 20u);
    EXPECT_EQ(SimAdapter(0).comm_errors.rx_crc_errors, 0);
    EXPECT_TRUE(Contains(RunTool("status 0").out, "  impairments    1 in 5 changed\n                 since set: "
                                                   "100 arrived, 0 lost, 20 changed, 0 bad CRC, 0 aborted\n"));

    EXPECT_EQ(RunTool("impair 0 off").out, "ROZAR6O0: no impairments\n");
    EXPECT_TRUE(Contains(RunTool("status 0").out, "  impairments    none\n"));
    // A replayed capture goes through the same line.
    ASSERT_EQ(RunTool("impair 1 --drop 4").exit_code, 0u);
    Frames frames;
    for (uint8_t i = 1; i <= 12; ++i)
        frames.push_back({i, i});
    const RunResult replay = RunTool("replay 1 " + NewFile(CaptureOf(frames)) + " --rate 1000");
    EXPECT_TRUE(Contains(replay.out, "12 frames read, 12 delivered: 9 queued, 3 dropped-on-line\n")) << replay.out;
    Frames kept = frames;
    for (size_t lost : {11, 7, 3})
        kept.erase(kept.begin() + static_cast<long>(lost));
    EXPECT_EQ(ReceiveQueued(devices_[1].Get()), kept);
}

}  // namespace
}  // namespace qz6::test
