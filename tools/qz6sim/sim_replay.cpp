// qz6sim replay: the loop over a capture file's frames (see sim_replay.h).
#include "tools/qz6sim/sim_replay.h"

#include <stdarg.h>
#include <string.h>

#include <iterator>

namespace qz6::simtool {
namespace {

const char* FormatName(capture::FileFormat format)
{
    switch (format) {
    case capture::FileFormat::Pcapng:
        return "pcapng";
    case capture::FileFormat::Pcap:
        return "pcap";
    case capture::FileFormat::PcapNanos:
        return "pcap, nanoseconds";
    default:
        return "not a capture file";
    }
}

void AppendSpacing(const ReplaySettings& settings, TextBuffer* out)
{
    if (settings.rate != 0)
        Append(out, "at %u frame%s a second", settings.rate, settings.rate == 1 ? "" : "s");
    else if (settings.speed_milli == 1000)
        Append(out, "with the recorded spacing");
    else if (settings.speed_milli % 1000 == 0)
        Append(out, "at %u times the recorded speed", settings.speed_milli / 1000);
    else
        Append(out, "at %u.%03u times the recorded speed", settings.speed_milli / 1000, settings.speed_milli % 1000);
}

// When the `index`th replayed frame (from 0) is due, after the first.
uint64_t DueOffsetUs(const ReplaySettings& settings, uint32_t index, uint64_t first_ns, uint64_t timestamp_ns)
{
    if (settings.rate != 0)
        return static_cast<uint64_t>(index) * 1000000u / settings.rate;
    if (timestamp_ns <= first_ns)
        return 0;  // no time, or out of order: at once
    return (timestamp_ns - first_ns) / 1000u * 1000u / settings.speed_milli;
}

void Problem(ReplayTally* tally, TextBuffer* out, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
void Problem(ReplayTally* tally, TextBuffer* out, const char* format, ...)
{
    const uint32_t problems = tally->too_long + tally->other_errors + tally->delivered - tally->outcomes[INJECT_QUEUED];
    if (problems >= kMaxReplayProblemLines)
        return;
    va_list arguments;
    va_start(arguments, format);
    AppendV(out, format, arguments);
    va_end(arguments);
    if (problems + 1 == kMaxReplayProblemLines)
        Append(out, "(further frames like these are only counted below)\n");
}

void AppendSummary(const ReplayTally& tally, TextBuffer* out)
{
    Append(out, "%u frame%s read, %u delivered", tally.frames_read, tally.frames_read == 1 ? "" : "s", tally.delivered);
    const char* separator = ": ";
    for (uint8_t outcome = 0; outcome < std::size(tally.outcomes); ++outcome) {
        if (tally.outcomes[outcome] != 0) {
            Append(out, "%s%u %s", separator, tally.outcomes[outcome], InjectOutcomeName(outcome));
            separator = ", ";
        }
    }
    if (tally.other_outcomes != 0)
        Append(out, "%s%u with other outcomes", separator, tally.other_outcomes);
    Append(out, "\n");
    if (tally.left_out != 0)
        Append(out, "%u outbound frame%s left out (--all replays them)\n", tally.left_out,
               tally.left_out == 1 ? "" : "s");
    if (tally.too_long != 0)
        Append(out, "%u frame%s too long to inject, not delivered\n", tally.too_long, tally.too_long == 1 ? "" : "s");
    if (tally.bad_crc != 0)
        Append(out, "%u frame%s recorded with a bad CRC, injected with a bad CRC\n", tally.bad_crc,
               tally.bad_crc == 1 ? "" : "s");
    if (tally.other_errors != 0)
        Append(out, "%u frame%s recorded with other receive errors, not delivered\n", tally.other_errors,
               tally.other_errors == 1 ? "" : "s");
}

}  // namespace

ReplayEnd RunReplay(const SimRequest& request, std::span<const uint8_t> file, ReplayPort& port,
                    std::span<uint8_t, kSimInjectMaxSize> scratch, ReplayTally* tally, TextBuffer* out,
                    TextBuffer* error)
{
    *tally = ReplayTally{};
    const ReplaySettings& settings = request.replay;
    capture::CaptureReader reader(file);
    Append(out, "replaying %s (%s) into %s ", settings.path, FormatName(reader.Format()),
           kAdapterDeviceNames[request.adapter % kAdapterCount]);
    AppendSpacing(settings, out);
    Append(out, "%s\n", settings.all ? ", every frame" : ", inbound frames");

    const uint64_t start_us = port.NowUs();
    uint64_t first_ns = 0;
    uint32_t replayed = 0;
    capture::CaptureFrame frame{};
    while (reader.Next(frame)) {
        const uint32_t number = ++tally->frames_read;
        const unsigned length = static_cast<unsigned>(frame.data.size());
        if (frame.direction == capture::Direction::Outbound && !settings.all) {
            ++tally->left_out;
            continue;
        }
        if (length > kMaxReceivedFrame) {
            Problem(tally, out, "frame %u (%u bytes): longer than an injected frame can be (%u bytes), not delivered\n",
                    number, length, kMaxReceivedFrame);
            ++tally->too_long;
            continue;
        }
        if ((frame.errors & ~capture::kFrameCrcError) != 0) {
            Problem(tally, out,
                    "frame %u (%u byte%s): recorded with receive errors (epb_flags 0x%08X) no inject makes, "
                    "not delivered\n",
                    number, length, length == 1 ? "" : "s", static_cast<unsigned>(frame.errors));
            ++tally->other_errors;
            continue;
        }
        if (replayed == 0)
            first_ns = frame.timestamp_ns;
        port.WaitUntilUs(start_us + DueOffsetUs(settings, replayed, first_ns, frame.timestamp_ns));
        ++replayed;

        const bool bad_crc = (frame.errors & capture::kFrameCrcError) != 0;
        const SimInjectHeader header{request.adapter, 0, bad_crc ? INJECT_BAD_CRC : uint8_t{0}, 0,
                                     static_cast<uint16_t>(length)};
        memcpy(scratch.data(), &header, sizeof(header));
        if (length != 0)
            memcpy(scratch.data() + sizeof(header), frame.data.data(), length);
        SimInjectResult result{};
        uint32_t call_error = 0;
        if (!port.Inject(scratch.first(sizeof(header) + length), &result, &call_error)) {
            AppendSummary(*tally, out);
            Append(error, "qz6sim: replay: injecting frame %u failed (error %u); nothing after it was delivered\n",
                   number, call_error);
            return ReplayEnd::CallFailed;
        }
        if (result.outcome != INJECT_QUEUED)
            Problem(tally, out, "frame %u (%u byte%s): %s\n", number, length, length == 1 ? "" : "s",
                    InjectOutcomeName(result.outcome) != nullptr ? InjectOutcomeName(result.outcome) : "unknown outcome");
        ++tally->delivered;
        tally->bad_crc += bad_crc ? 1 : 0;
        if (result.outcome < std::size(tally->outcomes))
            ++tally->outcomes[result.outcome];
        else
            ++tally->other_outcomes;
    }
    AppendSummary(*tally, out);
    if (reader.Failed()) {
        char text[256];
        capture::FormatReadError(reader.Error(), text);
        Append(error, "qz6sim: %s: %s; nothing after it was replayed\n", settings.path, text);
        return ReplayEnd::FileDamaged;
    }
    const uint32_t chosen = tally->frames_read - tally->left_out;
    const uint32_t queued = tally->outcomes[INJECT_QUEUED];
    if (queued < chosen) {
        Append(error, "qz6sim: replay: %u of the %u frame%s chosen did not queue\n", chosen - queued, chosen,
               chosen == 1 ? "" : "s");
        return ReplayEnd::NotAllQueued;
    }
    return ReplayEnd::Done;
}

}  // namespace qz6::simtool
