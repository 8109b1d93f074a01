// The monitor's settings values, the poll clock they drive, and the command
// block rules: any numbers read from qz6mon.ini or typed into the polling
// dialog, any command block.
//
// Input: three 32-bit numbers (stored tick interval, stored timer period,
// a tick entry), a flag byte, a command code byte, then the bytes of two
// command blocks (zero-filled).
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.h"
#include "monitor/channel/command_block.h"
#include "monitor/frame/poll_schedule.h"
#include "monitor/frame/settings_rules.h"

using namespace qz6;
using namespace qz6::fuzz;
using namespace qz6::mon;

namespace {

CommandBlock g_a;
CommandBlock g_b;
CommandBlock g_copy;

// "%lu" of a setting reads back as the same number.
void CheckSettingText(uint32_t value)
{
    GuardedBuffer<12> buffer;
    char* text = reinterpret_cast<char*>(buffer.Claim(12));
    const std::string_view shown = FormatSettingValue(value, std::span<char, 12>(text, 12));
    buffer.Release();
    FUZZ_CHECK(shown.data() == text && shown.size() >= 1 && shown.size() <= 10);
    FUZZ_CHECK(text[shown.size()] == 0);
    char* end = nullptr;
    FUZZ_CHECK(strtoul(text, &end, 10) == value && end == text + shown.size());
}

// A text of a code: from a table, or written into an 8-character buffer
// (terminated, nothing past it).
template <typename Format>
std::string ShortText(Format format)
{
    GuardedBuffer<8> buffer;
    char* text = reinterpret_cast<char*>(buffer.Claim(8));
    memset(text, 0x7F, 8);
    const std::string_view shown = format(std::span<char, 8>(text, 8));
    buffer.Release();
    if (shown.data() >= text && shown.data() < text + 8) {
        FUZZ_CHECK(shown.data() == text && shown.size() < 8 && text[shown.size()] == 0);
    }
    return std::string(shown);
}

bool IsHexText(std::string_view text, bool upper)
{
    if (text.size() != 4 || !text.starts_with("0x"))
        return false;
    for (char c : text.substr(2)) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = upper ? (c >= 'A' && c <= 'F') : (c >= 'a' && c <= 'f');
        if (!digit && !letter)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint32_t stored_tick = in.U32();
    const uint32_t stored_period = in.U32();
    const uint32_t tick_entry = in.U32();
    const uint8_t flags = in.U8();
    const uint8_t code = in.U8();
    FillFrom(reinterpret_cast<uint8_t*>(&g_a), sizeof(g_a), in.Bytes(sizeof(g_a)), 0);
    FillFrom(reinterpret_cast<uint8_t*>(&g_b), sizeof(g_b), in.Bytes(sizeof(g_b)), 0);

    // ---- Settings.
    const uint32_t tick = TickIntervalFromFile(stored_tick);
    FUZZ_CHECK(tick >= 1 && tick <= kIntervalMax);
    FUZZ_CHECK(tick == stored_tick || tick == kDefaultTickInterval);
    const uint32_t ticks_per_poll = TicksPerPoll(tick);
    FUZZ_CHECK(ticks_per_poll != 0 && ticks_per_poll / kIdlePassesPerTick == tick);  // no wrap
    FUZZ_CHECK(TickFieldValue(ticks_per_poll) == tick);  // the dialog shows what the file said
    FUZZ_CHECK(PollingEntriesValid(TickFieldValue(ticks_per_poll), kDefaultTimerPeriodMs, true));

    const uint16_t period = TimerPeriodFromFile(stored_period);
    FUZZ_CHECK(stored_period > kIntervalMax ? period == kDefaultTimerPeriodMs : period == stored_period);

    const bool timer = flags & 1;
    const bool valid = PollingEntriesValid(tick_entry, stored_period, timer);
    const bool expected = tick_entry >= 1 && tick_entry <= kIntervalMax && stored_period <= kIntervalMax &&
                          (!timer || stored_period >= 1);
    FUZZ_CHECK(valid == expected);
    if (valid) {
        // What the dialog accepts survives the file and comes back the same.
        FUZZ_CHECK(TickIntervalFromFile(tick_entry) == tick_entry);
        FUZZ_CHECK(TimerPeriodFromFile(stored_period) == stored_period);
        FUZZ_CHECK(TickFieldValue(TicksPerPoll(tick_entry)) == tick_entry);
    }
    // The poll clock on the interval read from the file: a poll every
    // ticks_per_poll passes, through the counter's wrap, none while suspended.
    uint32_t counter = UINT32_MAX - (stored_period % 4096u);
    const bool suspended = flags & 2;
    for (unsigned pass = 0; pass < 8192; ++pass) {
        const uint32_t next = counter + 1;
        const bool due = AdvancePollClock(counter, ticks_per_poll, true, suspended, false);
        FUZZ_CHECK(counter == next && due == (!suspended && next % ticks_per_poll == 0));
    }
    const uint32_t held = counter;
    FUZZ_CHECK(!AdvancePollClock(counter, ticks_per_poll, false, false, true) && counter == held);
    FUZZ_CHECK(AdvancePollClock(counter, ticks_per_poll, true, true, true) && counter == held + 1);

    CheckSettingText(stored_tick);
    CheckSettingText(stored_period);
    CheckSettingText(tick_entry);
    FUZZ_CHECK(strcmp(FlagText(timer), timer ? "1" : "0") == 0);

    // ---- Command codes.
    const std::string name = ShortText([&](std::span<char, 8> spare) { return CommandDisplayName(code, spare); });
    FUZZ_CHECK(!name.empty() && name.back() == ':');
    if (CommandInSet(code)) {
        FUZZ_CHECK(name == CommandNameTable[code]);
    } else {
        char expected_name[8];
        snprintf(expected_name, sizeof(expected_name), "0x%02x:", code);
        FUZZ_CHECK(name == expected_name);
    }
    FUZZ_CHECK(IsActiveCommand(code) == (CommandInSet(code) && name.starts_with('!')));

    const std::string rc = ShortText([&](std::span<char, 8> out) { return FormatReturnCode(code, out); });
    FUZZ_CHECK(IsHexText(rc, true) && strtoul(rc.c_str(), nullptr, 16) == code);
    const std::string result = ShortText([&](std::span<char, 8> out) { return ActiveResultText(code, out); });
    FUZZ_CHECK(code == RETURN_SUCCESS ? result == "Success" : IsHexText(result, true));

    // ---- Blocks.
    const bool fits = RequestFitsWire(g_a);
    FUZZ_CHECK(fits == (g_a.command <= kHighestCommandCode && g_a.data_length <= kCommandDataSize));
    if (fits)
        FUZZ_CHECK(RequestInputLength(g_a) >= kCommandHeaderSize && RequestInputLength(g_a) <= kCommandBlockSize);
    const uint32_t control = ControlCodeForCommand(g_a.command);
    FUZZ_CHECK(control == (g_a.command == SEND_I_FRAME ? IOCTL_STREAM_SEND : IOCTL_STREAM_COMMAND));

    FUZZ_CHECK(SameCommandBlock(g_a, g_b) == (memcmp(&g_a, &g_b, sizeof(CommandBlock)) == 0));
    CopyCommandBlock(g_copy, g_a);
    FUZZ_CHECK(SameCommandBlock(g_copy, g_a) && memcmp(&g_copy, &g_a, sizeof(CommandBlock)) == 0);
    ClearCommandBlock(g_copy);
    static const CommandBlock kZero{};
    FUZZ_CHECK(memcmp(&g_copy, &kZero, sizeof(CommandBlock)) == 0);
    return 0;
}
