// What the receive monitor shows of a received record: the summary line and
// the hex dump of any record (any frame_length, any bytes, the record cut
// short), checked against the same texts built with the C library, and the
// bound on the Receive Detail list.
//
// Input: the record's header (16 bytes), the frame bytes (up to the record's
// size), zero-filled; the last byte also gives how far the list counts.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "fuzz/fuzz_support.h"
#include "monitor/traffic/receive_text.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::mon;

namespace {

ReceiveRecord g_record;
GuardedBuffer<kReceiveLineSize> g_line;
GuardedBuffer<kDumpTextSize> g_dump;

std::string ReferenceSummary(uint8_t bits, uint16_t length, std::span<const uint8_t> frame)
{
    char text[32];
    snprintf(text, sizeof(text), "0x%02X %5u  ", bits, static_cast<unsigned>(length));
    std::string line = text;
    const size_t count = std::min({frame.size(), static_cast<size_t>(length), kSummaryBytes});
    for (size_t i = 0; i < count; ++i) {
        snprintf(text, sizeof(text), "%02X ", frame[i]);
        line += text;
    }
    return line;
}

std::string ReferenceDump(std::span<const uint8_t> frame)
{
    std::string dump;
    char text[16];
    const size_t count = std::min(frame.size(), kDumpBytes);
    for (size_t line = 0; line * 16 < count; ++line) {
        snprintf(text, sizeof(text), "%04X  ", static_cast<unsigned>(line * 16));
        dump += text;
        for (size_t i = line * 16; i < std::min(count, line * 16 + 16); ++i) {
            snprintf(text, sizeof(text), "%02X ", frame[i]);
            dump += text;
            if (i % 16 == 7)
                dump += "- ";
        }
        if ((line + 1) * 16 < count)
            dump += "\r\n";
    }
    dump += "\r\n";
    return dump;
}

template <size_t N, typename Format>
std::string TextOf(GuardedBuffer<N>& buffer, Format format)
{
    char* text = reinterpret_cast<char*>(buffer.Claim(N));
    const std::string_view shown = format(std::span<char, N>(text, N));
    buffer.Release();
    FUZZ_CHECK(shown.data() == text && shown.size() < N && text[shown.size()] == 0);
    return std::string(shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    FillFrom(reinterpret_cast<uint8_t*>(&g_record), sizeof(g_record), in.Rest(), 0);
    const uint16_t frame_length = g_record.frame_length;

    // The bytes the record holds: never past its end, whatever the length says.
    const std::span<const uint8_t> held = RecordedFrameBytes(g_record, SIZE_MAX);
    FUZZ_CHECK(held.data() == g_record.frame_data);
    FUZZ_CHECK(held.size() == std::min<size_t>(frame_length, kMaxReceivedFrame));
    FUZZ_CHECK(RecordedFrameBytes(g_record, 7).size() == std::min<size_t>(held.size(), 7));

    // The summary line.
    const std::string line = TextOf(g_line, [&](auto out) { return FormatSummaryLine(g_record, out); });
    FUZZ_CHECK(line.size() <= kSummaryLineMax);
    FUZZ_CHECK(line == ReferenceSummary(g_record.frame_bits, frame_length, held));

    // A frame cut shorter than its reported length, from the end of the input.
    const size_t cut = size > 0 ? data[size - 1] % (kSummaryBytes + 2) : 0;
    const std::span<const uint8_t> short_frame(g_record.frame_data, cut);
    const std::string short_line = TextOf(g_line, [&](auto out) {
        return FormatSummaryLine(g_record.frame_bits, frame_length, short_frame, out);
    });
    FUZZ_CHECK(short_line == ReferenceSummary(g_record.frame_bits, frame_length, short_frame));

    // The dump.
    const std::string dump = TextOf(g_dump, [&](auto out) { return FormatFrameDump(g_record, out); });
    FUZZ_CHECK(dump == ReferenceDump(held));
    const std::string short_dump = TextOf(g_dump, [&](auto out) { return FormatFrameDump(short_frame, out); });
    FUZZ_CHECK(short_dump == ReferenceDump(short_frame));

    // The list: lines counted up to the limit, then the oldest goes.
    int32_t count = static_cast<int32_t>(cut % (kReceiveListLimit + 1));
    const int32_t start = count;
    for (int32_t step = 1; step <= 60; ++step) {
        const ReceiveListStep next = CountReceiveLine(count);
        const int32_t expected = std::min(start + step, kReceiveListLimit);
        FUZZ_CHECK(count == expected && next.select == expected - 1);
        FUZZ_CHECK(next.delete_oldest == (start + step > kReceiveListLimit));
    }
    return 0;
}
