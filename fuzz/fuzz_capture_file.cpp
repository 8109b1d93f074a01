// Capture files: the reader on any bytes, the writer on any script, and
// qz6sim's replay loop over the same files.
//
// Input: one mode byte. Even: the rest is a file. The reader must hand out
// frames that lie inside it, stop for good at the first fault with an error
// inside the file, and tell it in a bounded text; replay must deliver
// exactly the frames the reader gives (but those with errors no inject
// makes), a bad CRC as a bad CRC, and stop where it stops. Odd: a writer
// script into a buffer of a chosen capacity (2 bytes), a section header
// (text) and an interface (name, encoding 2: below 5 the link-type
// choice's, else that link type alone, snap length, FCS bits), then ops (1
// byte each): packet (timestamp 8, direction and marks 1: the low 6 bits
// % 3 the direction, 0x80 a bad CRC, 0x40 a symbol error, length 2,
// pattern seed 1),
// statistics (3 x 8), flush part of the buffer (2). Blocks must never pass
// the buffer, and the file written must read back frame for frame, marks
// and all, behind any exported-PDU tags.
#include <string.h>

#include <iterator>

#include "common/capture/capture_reader.h"
#include "common/capture/pcapng_writer.h"
#include "fuzz/fuzz_support.h"
#include "tools/qz6sim/sim_replay.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::capture;

namespace {

constexpr size_t kMaxFile = 1 << 20;
constexpr size_t kMaxFrames = 4096;

struct Expected {
    uint64_t timestamp_us;
    Direction direction;
    uint32_t errors;
    uint16_t length;
    uint8_t seed;
};

// Frames replay delivers: short enough to inject, with no error but a bad CRC.
bool Replayable(const CaptureFrame& frame)
{
    return frame.data.size() <= kMaxReceivedFrame && (frame.errors & ~kFrameCrcError) == 0;
}

struct Harness {
    GuardedBuffer<65536> buffer;
    uint8_t file[kMaxFile];
    size_t file_length;
    Expected frames[kMaxFrames];
    size_t frame_count;
    uint8_t data[65536];
    simtool::SimRequest request;
    uint8_t scratch[kSimInjectMaxSize];
    char out[8192];
    char error[1024];
};
Harness g;

uint8_t PatternByte(uint8_t seed, size_t i) { return static_cast<uint8_t>(seed + i * 31); }

// Every injected frame checked against the reader's next frame.
class CheckingPort final : public simtool::ReplayPort {
public:
    explicit CheckingPort(std::span<const uint8_t> file) : reader_(file) {}
    uint64_t NowUs() override { return now_; }
    void WaitUntilUs(uint64_t time_us) override { now_ = time_us > now_ ? time_us : now_; }
    bool Inject(std::span<const uint8_t> input, SimInjectResult* result, uint32_t*) override
    {
        CaptureFrame frame{};
        do {
            FUZZ_CHECK(reader_.Next(frame));
        } while (!Replayable(frame));
        SimInjectHeader header;
        FUZZ_CHECK(input.size() >= sizeof(header));
        memcpy(&header, input.data(), sizeof(header));
        FUZZ_CHECK(header.adapter == 3 && header.length == frame.data.size());
        FUZZ_CHECK(header.flags == (frame.errors != 0 ? INJECT_BAD_CRC : 0));
        FUZZ_CHECK(input.size() == sizeof(header) + header.length);
        FUZZ_CHECK(memcmp(input.data() + sizeof(header), frame.data.data(), header.length) == 0);
        result->outcome = static_cast<uint8_t>(now_ % 9);
        ++delivered;
        return true;
    }
    uint32_t delivered = 0;

private:
    CaptureReader reader_;
    uint64_t now_ = 0;
};

void CheckReader(std::span<const uint8_t> file)
{
    CaptureReader reader(file);
    CaptureFrame frame{};
    uint32_t frames = 0;
    uint32_t replayable = 0;
    uint32_t too_long = 0;
    uint32_t bad_crc = 0;
    while (reader.Next(frame)) {
        ++frames;
        replayable += Replayable(frame) ? 1 : 0;
        too_long += frame.data.size() > kMaxReceivedFrame ? 1 : 0;
        bad_crc += Replayable(frame) && frame.errors != 0 ? 1 : 0;
        FUZZ_CHECK(frame.data.data() >= file.data() && frame.data.size() <= file.size());
        FUZZ_CHECK(frame.data.data() + frame.data.size() <= file.data() + file.size());
        FUZZ_CHECK(static_cast<uint8_t>(frame.direction) <= 2);
        FUZZ_CHECK((frame.errors & ~kFrameErrorMask) == 0);
    }
    FUZZ_CHECK(!reader.Next(frame));  // nothing after the end or the fault
    const ReadError& error = reader.Error();
    if (reader.Failed())
        FUZZ_CHECK(error.offset <= file.size() && error.fault != ReadFault::None);
    const std::string small = GuardedText<24>([&](std::span<char, 24> text) {
        return std::string_view(text.data(), FormatReadError(error, text));
    });
    const std::string large = GuardedText<400>([&](std::span<char, 400> text) {
        return std::string_view(text.data(), FormatReadError(error, text));
    });
    FUZZ_CHECK(large.size() < 399 && large.compare(0, small.size(), small) == 0);

    // Replay takes every frame the reader gives, inbound or not, and stops
    // where the reader stops.
    static const char* const kArgs[] = {"replay", "3", "file", "--all", "--rate", "1000"};
    TextBuffer parse_error = MakeTextBuffer(g.error);
    FUZZ_CHECK(simtool::ParseArguments(kArgs, &g.request, &parse_error) == simtool::ParseOutcome::Request);
    CheckingPort port(file);
    simtool::ReplayTally tally{};
    TextBuffer out = MakeTextBuffer(g.out);
    TextBuffer text = MakeTextBuffer(g.error);
    const simtool::ReplayEnd end = simtool::RunReplay(g.request, file, port, g.scratch, &tally, &out, &text);
    FUZZ_CHECK((end == simtool::ReplayEnd::FileDamaged) == reader.Failed());
    FUZZ_CHECK(tally.frames_read == frames && tally.delivered == replayable && port.delivered == replayable);
    FUZZ_CHECK(tally.too_long == too_long && tally.other_errors == frames - replayable - too_long);
    FUZZ_CHECK(tally.bad_crc == bad_crc && tally.left_out == 0);
    CheckTerminatedText(out.data, out.capacity, out.length);
}

// The writer's pending bytes go to the file.
void Flush(CaptureWriter& writer, size_t count)
{
    const std::span<const uint8_t> pending = writer.Pending();
    count = count < pending.size() ? count : pending.size();
    if (g.file_length + count > kMaxFile)
        count = kMaxFile - g.file_length;
    memcpy(g.file + g.file_length, pending.data(), count);
    g.file_length += count;
    writer.Consume(count);
}

// Appends with a flush when the buffer is full, as the monitor does; false
// when the block does not fit even an empty buffer.
template <typename Append>
bool AppendOrFlush(CaptureWriter& writer, Append append)
{
    if (append())
        return true;
    Flush(writer, SIZE_MAX);
    return writer.Pending().empty() && append();
}

bool StartFile(CaptureWriter& writer, Input& in)
{
    const std::string_view application = in.Text(255);
    const std::string_view name = in.Text(255);
    char name_text[300];
    memcpy(name_text, name.data(), name.size());
    name_text[name.size()] = 0;
    const uint16_t code = in.U16();
    const FrameEncoding encoding = code < std::size(kLinkTypeChoices) ? kLinkTypeChoices[code].encoding : FrameEncoding{code};
    const InterfaceDescription description{name_text, encoding, in.U32(), in.U8()};
    return AppendOrFlush(writer, [&] { return writer.AppendSectionHeader(application); }) &&
           AppendOrFlush(writer, [&] { return writer.AppendInterface(description); });
}

void RunWriter(Input& in)
{
    const size_t capacity = in.U16();
    CaptureWriter writer(std::span<uint8_t>(g.buffer.Claim(capacity), capacity));
    g.file_length = 0;
    g.frame_count = 0;
    const bool open = StartFile(writer, in);
    StatisticsRecord last_statistics{};
    bool statistics_written = false;
    while (open && !in.Empty() && g.frame_count < kMaxFrames && g.file_length < kMaxFile / 2) {
        FUZZ_CHECK(writer.Pending().size() + writer.FreeSpace() == capacity);
        switch (in.U8() % 3) {
        case 0: {
            const uint64_t timestamp_us = in.U64();
            const uint8_t marks = in.U8();
            const uint32_t errors = ((marks & 0x80) != 0 ? kFrameCrcError : 0) | ((marks & 0x40) != 0 ? 0x80000000u : 0);
            const Direction direction = static_cast<Direction>((marks & 0x3F) % 3);
            Expected frame{timestamp_us, direction, errors, static_cast<uint16_t>(in.U16() % 3000), in.U8()};
            for (size_t i = 0; i < frame.length; ++i)
                g.data[i] = PatternByte(frame.seed, i);
            const PacketRecord packet{frame.timestamp_us, frame.direction, {g.data, frame.length}, 0, frame.errors};
            if (AppendOrFlush(writer, [&] { return writer.AppendPacket(packet); }))
                g.frames[g.frame_count++] = frame;
            else
                FUZZ_CHECK(writer.PacketSize(packet) > capacity);
            break;
        }
        case 1: {
            const StatisticsRecord statistics{in.U64(), in.U64(), in.U64()};
            if (AppendOrFlush(writer, [&] { return writer.AppendStatistics(statistics); })) {
                last_statistics = statistics;
                statistics_written = true;
            }
            break;
        }
        default:
            Flush(writer, in.U16());
            break;
        }
    }
    Flush(writer, SIZE_MAX);
    g.buffer.Release();
    if (!open)
        return;  // a section header or interface larger than the buffer

    CaptureReader reader({g.file, g.file_length});
    CaptureFrame frame{};
    for (size_t k = 0; k < g.frame_count; ++k) {
        FUZZ_CHECK(reader.Next(frame));
        const Expected& expected = g.frames[k];
        FUZZ_CHECK(frame.timestamp_ns == expected.timestamp_us * 1000u);
        FUZZ_CHECK(frame.direction == expected.direction && frame.data.size() == expected.length);
        FUZZ_CHECK(frame.errors == expected.errors && frame.original_length == expected.length);
        for (size_t i = 0; i < expected.length; ++i)
            FUZZ_CHECK(frame.data[i] == PatternByte(expected.seed, i));
    }
    FUZZ_CHECK(!reader.Next(frame) && !reader.Failed());
    FUZZ_CHECK(reader.Statistics().present == statistics_written);
    if (statistics_written)
        FUZZ_CHECK(reader.Statistics().frames_dropped == last_statistics.frames_dropped &&
                   reader.Statistics().end_ns == last_statistics.end_us * 1000u);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    if ((in.U8() & 1) == 0)
        CheckReader(in.Rest());
    else
        RunWriter(in);
    return 0;
}
