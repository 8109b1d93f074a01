#include "monitor/line_test/line_test_text.h"

#include <cstring>

#include "common/formatted_text.h"

namespace qz6::mon {
namespace {

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Plain decimal digits, white space around them, from `low` to `high`.
bool ReadNumber(std::string_view text, uint32_t low, uint32_t high, uint32_t& value)
{
    text = Trimmed(text);
    if (text.empty())
        return false;
    uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
        if (number > high)
            return false;
    }
    value = static_cast<uint32_t>(number);
    return value >= low;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

}  // namespace

std::string_view ReadLineTestEntries(const LineTestEntries& entries, std::string_view device_name,
                                     uint16_t max_frame_size, LineTestPlan& plan,
                                     std::span<char, kLineTestMessageSize> message)
{
    plan = LineTestPlan{};
    if (!ReadNumber(entries.frames, 1, kLineTestMaxFrames, plan.frames))
        return FormatInto(message, "Frames: enter a number from 1 to %u.", static_cast<unsigned>(kLineTestMaxFrames));
    uint32_t length = 0;
    if (!ReadNumber(entries.length, kTestFrameMinLength, kTestFrameMaxLength, length))
        return FormatInto(message, "Length: enter a number from %u to %u.", static_cast<unsigned>(kTestFrameMinLength),
                          static_cast<unsigned>(kTestFrameMaxLength));
    if (length > max_frame_size)
        return FormatInto(message, "Length: the adapter is configured for frames of at most %u bytes.",
                          static_cast<unsigned>(max_frame_size));
    plan.length = static_cast<uint16_t>(length);

    const std::string_view partner = Trimmed(entries.partner);
    if (partner.size() > kDeviceNameMax || partner.find_first_of(" \t\\") != std::string_view::npos)
        return FormatInto(message, "Partner device: enter an adapter name such as %s, or nothing for the loopback plug.",
                          kAdapterDeviceNames[1]);
    if (SameNameIgnoringCase(partner, device_name))
        return FormatInto(message, "Partner device: %.*s is this adapter; leave it empty for the loopback plug.",
                          static_cast<int>(partner.size()), partner.data());
    std::memcpy(plan.partner, partner.data(), partner.size());
    plan.partner[partner.size()] = '\0';

    if (!ReadNumber(entries.rate, 0, kLineTestMaxRate, plan.rate))
        return FormatInto(message, "Frames per second: enter a number from 0 (as fast as the line takes them) to %u.",
                          static_cast<unsigned>(kLineTestMaxRate));
    message[0] = '\0';
    return {message.data(), 0};
}

uint32_t LineTestDrainMs(uint16_t length, uint32_t baud_rate, uint16_t transmit_buffers)
{
    constexpr uint32_t kHostMs = 1000;
    constexpr uint64_t kFrameOverheadBytes = 4;
    if (baud_rate == 0)
        return 10 * kHostMs;
    const uint64_t bits = 2 * (static_cast<uint64_t>(transmit_buffers) + 1) * (length + kFrameOverheadBytes) * 8;
    const uint64_t ms = (bits * 1000 + baud_rate - 1) / baud_rate;
    return kHostMs + static_cast<uint32_t>(ms < 600000 ? ms : 600000);
}

LineTestRates ComputeLineTestRates(uint32_t received, uint16_t length, uint64_t elapsed_us, uint32_t baud_rate)
{
    LineTestRates rates{};
    if (received == 0 || elapsed_us == 0)
        return rates;
    rates.frames_per_second = static_cast<double>(received) * 1e6 / static_cast<double>(elapsed_us);
    rates.bits_per_second = rates.frames_per_second * length * 8.0;
    if (baud_rate != 0)
        rates.percent_of_bit_rate = rates.bits_per_second * 100.0 / baud_rate;
    return rates;
}

std::string_view FormatFramesPerSecond(double value, std::span<char, kLineTestFieldSize> out)
{
    return FormatInto(out, "%.1f", value);
}

std::string_view FormatBitsPerSecond(double value, std::span<char, kLineTestFieldSize> out)
{
    return FormatInto(out, "%.0f", value);
}

std::string_view FormatPercent(double value, std::span<char, kLineTestFieldSize> out)
{
    return FormatInto(out, "%.1f %%", value);
}

std::string_view LineTestVerdict(const LineTestTally& tally, LineTestEnding ending, std::string_view failure,
                                 std::span<char, kLineTestVerdictSize> out)
{
    size_t used = 0;
    if (ending == LineTestEnding::Failed) {
        used = FormatInto(out, "FAIL: %.*s", static_cast<int>(failure.size()), failure.data()).size();
    } else if (ending == LineTestEnding::Stopped) {
        used = FormatInto(out, "FAIL: stopped after %u of %u frames", static_cast<unsigned>(tally.sent),
                          static_cast<unsigned>(tally.frames))
                   .size();
    } else {
        if (tally.sent > 0 && tally.received == 0)
            used = FormatInto(out, "FAIL: nothing came back").size();
        else if (ending == LineTestEnding::FellSilent)
            used = FormatInto(out, "FAIL: nothing came back after %u frames", static_cast<unsigned>(tally.received))
                       .size();
        const struct {
            uint32_t count;
            const char* what;
        } faults[] = {
            {LostFrames(tally), "lost"},
            {tally.corrupted, "corrupted"},
            {tally.out_of_order, "out of order"},
        };
        for (const auto& fault : faults) {
            if (fault.count == 0)
                continue;
            used += FormatInto(out.subspan(used), used == 0 ? "FAIL: %u %s" : ", %u %s",
                               static_cast<unsigned>(fault.count), fault.what)
                        .size();
        }
        if (used == 0)
            used = FormatInto(out, "PASS").size();
    }
    // Strangers fail nothing, and hide nothing: they are shown apart.
    if (tally.strangers != 0)
        used += FormatInto(out.subspan(used), "; %u %s not of this run", static_cast<unsigned>(tally.strangers),
                           tally.strangers == 1 ? "frame" : "frames")
                    .size();
    return {out.data(), used};
}

}  // namespace qz6::mon
