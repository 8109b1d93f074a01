// Rounds measured in pairs (a receiver with and without something, taking
// turns): the host's speed swings from one round to the next by more than
// the difference the pair is there to show, so the pair is judged within
// its round, and the round reported is the one whose ratio is the median.
#pragma once

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace qz6::bench {

// The round whose measured / baseline is the median of all rounds' (the
// lower middle of an even count); 0 when there are none.
inline size_t MedianRatioRound(const std::vector<double>& measured, const std::vector<double>& baseline)
{
    const size_t rounds = std::min(measured.size(), baseline.size());
    std::vector<size_t> order(rounds);
    std::iota(order.begin(), order.end(), size_t{0});
    const auto ratio = [&](size_t i) { return baseline[i] > 0 ? measured[i] / baseline[i] : 0.0; };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ratio(a) < ratio(b); });
    return rounds == 0 ? 0 : order[(rounds - 1) / 2];
}

}  // namespace qz6::bench
