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

}  // namespace qz6::bench
