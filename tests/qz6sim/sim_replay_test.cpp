// qz6sim replay's loop with a fake device and clock: which frames go, when,
// with which bytes and marks, from files of every encoding written now and
// before, what is reported, and where a damaged file or a failed call stops
// it.
#include "tools/qz6sim/sim_replay.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/capture/pcapng_writer.h"

namespace qz6::simtool {
namespace {

using capture::Direction;

struct Injected {
    uint64_t at_us;
    std::vector<uint8_t> input;
};

class FakePort final : public ReplayPort {
public:
    uint64_t NowUs() override { return now_us; }
    void WaitUntilUs(uint64_t time_us) override
    {
        if (time_us > now_us)
            now_us = time_us;
    }
    bool Inject(std::span<const uint8_t> input, SimInjectResult* result, uint32_t* error) override
    {
        if (injected.size() == fail_at) {
            *error = 31;
            return false;
        }
        injected.push_back({now_us, {input.begin(), input.end()}});
        result->outcome = injected.size() <= outcomes.size() ? outcomes[injected.size() - 1] : uint8_t{INJECT_QUEUED};
        return true;
    }

    uint64_t now_us = 1'000'000;
    size_t fail_at = SIZE_MAX;
    std::vector<uint8_t> outcomes;  // of the first calls; then queued
    std::vector<Injected> injected;
};

struct Frame {
    uint64_t timestamp_us;
    Direction direction;
    std::vector<uint8_t> data;
    uint32_t errors = 0;
};

std::vector<uint8_t> CaptureOf(const std::vector<Frame>& frames,
                               const capture::FrameEncoding& encoding = capture::kRawHdlcEncoding)
{
    std::vector<uint8_t> buffer(64 * 1024);
    capture::CaptureWriter writer(buffer);
    writer.AppendSectionHeader("test");
    EXPECT_TRUE(writer.AppendInterface({"ROZAR6O0", encoding}));
    for (const Frame& frame : frames)
        EXPECT_TRUE(writer.AppendPacket({frame.timestamp_us, frame.direction, frame.data, 0, frame.errors}));
    return {writer.Pending().begin(), writer.Pending().end()};
}

struct Replayed {
    ReplayEnd end;
    ReplayTally tally;
    std::string out;
    std::string error;
};

Replayed Replay(const std::vector<const char*>& args, const std::vector<uint8_t>& file, FakePort& port)
{
    auto request = std::make_unique<SimRequest>();
    std::vector<char> text(16 * 1024);
    std::vector<char> error_text(1024);
    TextBuffer out = MakeTextBuffer(text);
    TextBuffer error = MakeTextBuffer(error_text);
    EXPECT_EQ(ParseArguments(args, request.get(), &error), ParseOutcome::Request) << error.data;
    auto scratch = std::make_unique<std::array<uint8_t, kSimInjectMaxSize>>();
    Replayed run{};
    run.end = RunReplay(*request, file, port, *scratch, &run.tally, &out, &error);
    run.out.assign(out.data, out.length);
    run.error.assign(error.data, error.length);
    return run;
}

const std::vector<Frame> kFrames = {
    {5'000'000, Direction::Inbound, {1, 2, 3}},
    {5'100'000, Direction::Inbound, {4}},
    {5'150'000, Direction::Outbound, {5, 6}},
    {5'300'000, Direction::Unknown, {}},
};

TEST(RunReplay, SpacesTheChosenFramesAsAskedWithTheirBytes)
{
    struct Row {
        std::vector<const char*> args;
        std::vector<uint64_t> offsets_us;  // after the start, per delivered frame
        std::vector<size_t> frames;        // indices into kFrames
        const char* first_line;
    };
    const Row rows[] = {
        {{"replay", "1", "f.pcapng"}, {0, 100'000, 300'000}, {0, 1, 3},
         "replaying f.pcapng (pcapng) into KORQZ6C1 with the recorded spacing, inbound frames\n"},
        {{"replay", "1", "f.pcapng", "--speed", "2", "--all"}, {0, 50'000, 75'000, 150'000}, {0, 1, 2, 3},
         "replaying f.pcapng (pcapng) into KORQZ6C1 at 2 times the recorded speed, every frame\n"},
        {{"replay", "1", "f.pcapng", "--speed", "0.5"}, {0, 200'000, 600'000}, {0, 1, 3},
         "replaying f.pcapng (pcapng) into KORQZ6C1 at 0.500 times the recorded speed, inbound frames\n"},
        {{"replay", "1", "f.pcapng", "--rate", "4"}, {0, 250'000, 500'000}, {0, 1, 3},
         "replaying f.pcapng (pcapng) into KORQZ6C1 at 4 frames a second, inbound frames\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.first_line);
        FakePort port;
        const Replayed run = Replay(row.args, CaptureOf(kFrames), port);
        EXPECT_EQ(run.end, ReplayEnd::Done);
        EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1), row.first_line);
        ASSERT_EQ(port.injected.size(), row.frames.size());
        for (size_t i = 0; i < row.frames.size(); ++i) {
            const std::vector<uint8_t>& data = kFrames[row.frames[i]].data;
            std::vector<uint8_t> expected = {1, 0, 0, 0, static_cast<uint8_t>(data.size()), 0};
            expected.insert(expected.end(), data.begin(), data.end());
            EXPECT_EQ(port.injected[i].input, expected) << i;
            EXPECT_EQ(port.injected[i].at_us, 1'000'000 + row.offsets_us[i]) << i;
        }
        EXPECT_EQ(run.tally.left_out, 4 - row.frames.size());
    }
}

TEST(RunReplay, ReportsFramesThatDidNotQueueAndSumsUp)
{
    std::vector<Frame> frames;
    for (uint64_t i = 0; i < 25; ++i)
        frames.push_back({i, Direction::Inbound, {uint8_t(i)}});
    frames.push_back({30, Direction::Inbound, std::vector<uint8_t>(kMaxReceivedFrame + 1, 7)});
    frames.push_back({40, Direction::Outbound, {9}});
    FakePort port;
    port.outcomes.assign(25, INJECT_DROPPED_QUEUE_FULL);
    port.outcomes[0] = INJECT_QUEUED;
    port.outcomes[2] = INJECT_DROPPED_DISABLED;
    port.outcomes[3] = 99;
    const Replayed run = Replay({"replay", "0", "x.pcapng"}, CaptureOf(frames), port);
    // Of the 26 inbound frames, the one too long and 24 refused did not queue: a failure.
    EXPECT_EQ(run.end, ReplayEnd::NotAllQueued);
    EXPECT_EQ(run.error, "qz6sim: replay: 25 of the 26 frames chosen did not queue\n");
    EXPECT_NE(run.out.find("\nframe 2 (1 byte): dropped-queue-full\nframe 3 (1 byte): dropped-disabled\n"
                           "frame 4 (1 byte): unknown outcome\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("frame 21 (1 byte): dropped-queue-full\n(further frames like these are only counted below)\n"
                           "27 frames read, 25 delivered: 1 queued, 1 dropped-disabled, 22 dropped-queue-full, "
                           "1 with other outcomes\n1 outbound frame left out (--all replays them)\n"
                           "1 frame too long to inject, not delivered\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("frame 22 "), std::string::npos) << run.out;
}

// Files written now and before (user link types): a bad CRC goes as one, an
// error no inject makes is left out, each counted.
TEST(RunReplay, ReplaysTheFramesOfEveryEncodingWithTheirMarks)
{
    const std::vector<Frame> frames = {{1, Direction::Inbound, {0x03, 0x3F}, capture::kFrameCrcError},
                                       {2, Direction::Inbound, {0x7E}, capture::kFrameCrcError | 0x80000000}};
    for (const capture::FrameEncoding& encoding : {capture::kLapbEncoding, capture::FrameEncoding{capture::kLinkTypeUser1}}) {
        FakePort port;
        const Replayed run = Replay({"replay", "2", "m.pcapng"}, CaptureOf(frames, encoding), port);
        ASSERT_EQ(port.injected.size(), 1u);
        EXPECT_EQ(port.injected[0].input, (std::vector<uint8_t>{2, 0, INJECT_BAD_CRC, 0, 2, 0, 0x03, 0x3F}));
        EXPECT_NE(run.out.find("\nframe 2 (1 byte): recorded with receive errors (epb_flags 0x81000000) no inject makes, "
                               "not delivered\n2 frames read, 1 delivered: 1 queued\n1 frame recorded with a bad CRC, "
                               "injected with a bad CRC\n1 frame recorded with other receive errors, not delivered\n"),
                  std::string::npos)
            << run.out;
    }
}

TEST(RunReplay, StopsAtADamagedBlockOrAFailedCall)
{
    const std::vector<uint8_t> whole = CaptureOf(kFrames);
    const std::vector<uint8_t> cut(whole.begin(), whole.end() - 10);  // into the last frame's block
    FakePort damaged_port;
    const Replayed damaged = Replay({"replay", "0", "cut.pcapng", "--all"}, cut, damaged_port);
    EXPECT_EQ(damaged.end, ReplayEnd::FileDamaged);
    EXPECT_EQ(damaged_port.injected.size(), 3u);
    EXPECT_NE(damaged.error.find("qz6sim: cut.pcapng: block 6 (enhanced packet block) at offset"), std::string::npos)
        << damaged.error;
    EXPECT_NE(damaged.error.find(": the file ends inside this block; nothing after it was replayed\n"), std::string::npos)
        << damaged.error;
    EXPECT_NE(damaged.out.find("3 frames read, 3 delivered: 3 queued\n"), std::string::npos) << damaged.out;


    FakePort failing_port;
    failing_port.fail_at = 1;
    const Replayed failed = Replay({"replay", "0", "f.pcapng"}, CaptureOf(kFrames), failing_port);
    EXPECT_EQ(failed.end, ReplayEnd::CallFailed);
    EXPECT_EQ(failing_port.injected.size(), 1u);
    EXPECT_EQ(failed.error, "qz6sim: replay: injecting frame 2 failed (error 31); nothing after it was delivered\n");
}

}  // namespace
}  // namespace qz6::simtool
