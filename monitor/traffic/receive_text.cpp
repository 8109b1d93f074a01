#include "monitor/traffic/receive_text.h"

#include <algorithm>
#include <cstring>

namespace qz6::mon {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends into a buffer that the caller has sized for the worst case; the
// checks keep a wrong size from ever writing past the end.
class TextWriter {
public:
    explicit TextWriter(std::span<char> out) : out_(out) {}

    void Put(char c)
    {
        if (used_ + 1 < out_.size())
            out_[used_++] = c;
    }
    void Put(std::string_view text)
    {
        for (char c : text)
            Put(c);
    }
    // "%02X"
    void Hex2(uint8_t value)
    {
        Put(kHexDigits[value >> 4]);
        Put(kHexDigits[value & 0x0F]);
    }
    // "%04X"
    void Hex4(uint16_t value)
    {
        Hex2(static_cast<uint8_t>(value >> 8));
        Hex2(static_cast<uint8_t>(value));
    }
    // "%5u" of a 16-bit number: right-aligned in five columns.
    void Decimal5(uint16_t value)
    {
        char digits[5];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value = static_cast<uint16_t>(value / 10);
        } while (value != 0);
        for (int pad = count; pad < 5; ++pad)
            Put(' ');
        while (count > 0)
            Put(digits[--count]);
    }
    std::string_view Finish()
    {
        if (out_.empty())
            return {};
        out_[used_] = '\0';
        return {out_.data(), used_};
    }

private:
    std::span<char> out_;
    size_t used_ = 0;
};

}  // namespace

std::span<const uint8_t> RecordedFrameBytes(const ReceiveRecord& record, size_t limit)
{
    const size_t reported = record.frame_length;
    const size_t count = std::min({reported, limit, sizeof record.frame_data});
    return {record.frame_data, count};
}

std::string_view FormatSummaryLine(uint8_t frame_bits, uint16_t frame_length, std::span<const uint8_t> frame,
                                   std::span<char, kReceiveLineSize> line)
{
    TextWriter out(line);
    out.Put("0x");
    out.Hex2(frame_bits);
    out.Put(' ');
    out.Decimal5(frame_length);
    out.Put("  ");
    const size_t count = std::min({frame.size(), static_cast<size_t>(frame_length), kSummaryBytes});
    for (size_t i = 0; i < count; ++i) {
        out.Hex2(frame[i]);
        out.Put(' ');
    }
    return out.Finish();
}

std::string_view FormatSummaryLine(const ReceiveRecord& record, std::span<char, kReceiveLineSize> line)
{
    return FormatSummaryLine(record.frame_bits, record.frame_length, RecordedFrameBytes(record, kSummaryBytes), line);
}

std::string_view FormatFrameDump(std::span<const uint8_t> frame, std::span<char, kDumpTextSize> dump)
{
    TextWriter out(dump);
    const size_t count = std::min(frame.size(), kDumpBytes);
    for (size_t i = 0; i < count; ++i) {
        if (i % 16 == 0) {
            if (i > 0)
                out.Put("\r\n");
            out.Hex4(static_cast<uint16_t>(i));
            out.Put("  ");
        }
        out.Hex2(frame[i]);
        out.Put(' ');
        if ((i + 1) % 8 == 0 && (i + 1) % 16 != 0)
            out.Put("- ");
    }
    out.Put("\r\n");
    return out.Finish();
}

std::string_view FormatFrameDump(const ReceiveRecord& record, std::span<char, kDumpTextSize> dump)
{
    return FormatFrameDump(RecordedFrameBytes(record, kDumpBytes), dump);
}

void HandOverLine(ReceiveHandoff& handoff, std::string_view line)
{
    char* slot = handoff.lines[handoff.lines_written % kReceiveListLimit];
    const size_t length = std::min(line.size(), kReceiveLineSize - 1);
    std::memcpy(slot, line.data(), length);
    slot[length] = '\0';
    ++handoff.lines_written;
}

void HandOverFrame(ReceiveHandoff& handoff, const ReceiveRecord& record, bool display, bool count, uint16_t counter)
{
    if (display) {
        char line[kReceiveLineSize];
        HandOverLine(handoff, FormatSummaryLine(record, line));
        const std::span<const uint8_t> bytes = RecordedFrameBytes(record, kDumpBytes);
        std::memcpy(handoff.dump_frame, bytes.data(), bytes.size());
        handoff.dump_length = static_cast<uint16_t>(bytes.size());
        ++handoff.dump_serial;
    }
    if (count) {
        handoff.counter_to_show = counter;
        handoff.counter_pending = true;
    }
}

void TakeReceiveUpdate(ReceiveHandoff& handoff, ReceiveShown& shown, ReceiveUpdate& update)
{
    const uint64_t unseen = handoff.lines_written - shown.lines_shown;
    const uint32_t taken = static_cast<uint32_t>(std::min<uint64_t>(unseen, kReceiveListLimit));
    for (uint32_t i = 0; i < taken; ++i) {
        const uint64_t line = handoff.lines_written - taken + i;
        std::memcpy(update.lines[i], handoff.lines[line % kReceiveListLimit], kReceiveLineSize);
    }
    update.line_count = static_cast<int32_t>(taken);
    shown.lines_shown = handoff.lines_written;

    update.new_dump = handoff.dump_serial != shown.dump_serial;
    if (update.new_dump) {
        update.dump_length = std::min<uint16_t>(handoff.dump_length, kDumpBytes);
        std::memcpy(update.dump_frame, handoff.dump_frame, update.dump_length);
        shown.dump_serial = handoff.dump_serial;
    }
    update.new_counter = handoff.counter_pending;
    update.counter = handoff.counter_to_show;
    handoff.counter_pending = false;
}

ReceiveListStep CountReceiveLine(int32_t& line_count)
{
    ++line_count;
    bool delete_oldest = false;
    if (line_count > kReceiveListLimit) {
        delete_oldest = true;
        line_count = kReceiveListLimit;
    }
    return {delete_oldest, line_count - 1};
}

}  // namespace qz6::mon
