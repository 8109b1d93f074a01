// The lossless climbs of the bench (process_bench lossless, traffic_bench
// bare-lossless): each receiver's rates are steps of its own unthrottled
// rate, measured first in the same run.
#pragma once

#include <cstdint>

namespace qz6::bench {

// Frames a second a receiver here takes from the unthrottled generator,
// roughly: what sizes the run that measures it (frames = this x seconds).
constexpr uint32_t kUnthrottledGuessFps = 3000;

// The rate of a step given in tenths of a per cent (900: 90 %) of
// `unthrottled` frames a second; within what the generator takes.
inline uint32_t RateOfStep(double unthrottled, uint32_t step)
{
    const double rate = unthrottled * step / 1000.0 + 0.5;
    return rate < 1 ? 1 : rate > 100000 ? 100000 : static_cast<uint32_t>(rate);
}

// A receiver kept up with a run when, as the generator made the run's last
// frame, no more than a tenth of the run's frames still waited for it: it
// took them at 90 % of the rate or more. The driver's queue rides out
// pauses, but it would also hide a receiver slower than the rate for as
// long as the queue lasts (a run of 10 s at 3000 frames/s hides one 13 %
// too slow), so a run that ends far behind does not count as lossless,
// whether or not the queue overflowed. The margin is wide because a busy
// host's speed swings by more than a few per cent from one run to the next.
inline bool KeptUp(uint32_t frames, uint32_t waiting_at_the_end)
{
    return waiting_at_the_end <= frames / 10;
}

}  // namespace qz6::bench
