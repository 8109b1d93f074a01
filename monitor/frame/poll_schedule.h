// When the polling engine counts an idle pass and when a poll is due.
// No Windows header.
#pragma once

#include <cstdint>

namespace qz6::mon {

// An idle pass of the message loop is counted only while idle polling runs,
// no timer drives the polls and a device is open. At every other moment the
// loop may wait for its next message.
constexpr bool IdlePassCounts(bool idle_polling_stopped, bool timer_active, bool device_open)
{
    return !idle_polling_stopped && !timer_active && device_open;
}

// One call of the polling engine. With no device open nothing happens and
// the counter stays; otherwise the counter moves by one (wrapping) and the
// poll is due when forced, or when the counter reaches a multiple of
// ticks_per_poll and polling is not suspended.
constexpr bool AdvancePollClock(uint32_t& tick_counter, uint32_t ticks_per_poll, bool device_open,
                                bool suspended, bool forced)
{
    if (!device_open)
        return false;
    ++tick_counter;
    if (forced)
        return true;
    if (ticks_per_poll != 0 && tick_counter % ticks_per_poll != 0)
        return false;
    return !suspended;
}

}  // namespace qz6::mon
