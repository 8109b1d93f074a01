#include "monitor/traffic/send_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qz6::mon {

void RememberFrame(FrameHistory& history, std::string_view text)
{
    // A damaged index starts the ring again rather than writing elsewhere.
    if (history.next_index < 0 || history.next_index >= kFrameHistorySlots)
        history.next_index = 0;
    char* slot = history.entries[history.next_index];
    const size_t length = std::min(text.size(), kFrameTextSize - 1);
    std::memcpy(slot, text.data(), length);
    slot[length] = '\0';
    if (history.count < kFrameHistorySlots)
        ++history.count;
    history.next_index = (history.next_index + 1) % kFrameHistorySlots;
}

std::string_view HistoryEntry(const FrameHistory& history, int32_t newest_first)
{
    if (newest_first < 0 || newest_first >= std::clamp(history.count, 0, kFrameHistorySlots) ||
        history.next_index < 0 || history.next_index >= kFrameHistorySlots)
        return {};
    int32_t slot = history.next_index - 1 - newest_first;
    while (slot < 0)
        slot += kFrameHistorySlots;
    const char* text = history.entries[slot];
    return {text, strnlen(text, kFrameTextSize - 1)};
}

SendManyLength ParseSendManyLength(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    const size_t digits_start = i;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(text[i] - '0'), kSendManyMaxLength + 1u);
    const bool any_digit = i > digits_start;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (!any_digit || i != text.size())
        return {0, false};
    if (value > kSendManyMaxLength)
        return {kSendManyMaxLength, true};
    return {static_cast<uint16_t>(value), false};
}

void StartSendMany(SendManyState& state, uint16_t length)
{
    state.running = true;
    state.fill_byte = 0;
    state.length = std::min(length, kSendManyMaxLength);
    state.sent_count = 0;
}

uint16_t FillStreamFrame(const SendManyState& state, std::span<uint8_t, kCommandDataSize> data)
{
    const uint16_t length = std::min(state.length, kSendManyMaxLength);
    std::fill_n(data.begin(), length, state.fill_byte);
    return length;
}

std::string_view FormatSendManyStatus(const SendManyState& state, uint8_t return_code,
                                      std::span<char, kSendManyStatusSize> text)
{
    const int length = std::snprintf(text.data(), text.size(), "Sent # %u: %02X %02X %02X... - RC 0x%02X",
                                     static_cast<unsigned>(state.sent_count), state.fill_byte, state.fill_byte,
                                     state.fill_byte, return_code);
    return {text.data(), static_cast<size_t>(std::clamp(length, 0, static_cast<int>(text.size()) - 1))};
}

void AfterStreamFrame(SendManyState& state, uint8_t return_code)
{
    if (return_code != RETURN_SUCCESS)
        return;
    ++state.sent_count;
    ++state.fill_byte;
}

}  // namespace qz6::mon
