// The permutation trend test over the whole bins: the counts are exchangeable among bins of
// equal length when the rate has no trend, whatever their dispersion. The statistic
// sum c_k y_k orders permutations as the whole number sum k y_k does (c_k = c_0 + kW), so
// that ties are found exactly.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "zorvi/clustering/clustering_impl.hpp"

namespace zorvi {
namespace {

// A bin with events and its count.
struct Occupied {
    std::uint64_t bin = 0;
    std::uint64_t count = 0;
};

// The whole numbers a permutation is judged by: sum k y_k (one-sided), and its distance from
// its mean under permutation, |2 sum k y_k - (K_w - 1) n| (two-sided), n the events counted.
struct Sums {
    std::uint64_t index_sum = 0;
    std::uint64_t spread = 0;
};

Sums sums_of(std::uint64_t index_sum, std::uint64_t events, std::uint64_t whole_bins) {
    const std::uint64_t twice = 2 * index_sum;
    const std::uint64_t centre = (whole_bins - 1) * events;
    return {index_sum, twice >= centre ? twice - centre : centre - twice};
}

}  // namespace

ClusteredTrendTest permutation_test(const BinnedCounts& counts, std::size_t permutations,
                                    std::int64_t seed, const PermutationLook& look) {
    ClusteredTrendTest test;
    test.reason = detail::unavailable_reason(counts.layout.bins, counts.events);
    if (!test.reason.empty()) return test;
    const std::uint64_t whole = counts.layout.whole_bins;
    std::vector<Occupied> occupied;
    std::uint64_t events = 0;
    std::uint64_t index_sum = 0;
    double statistic = 0.0;
    for (std::uint64_t k = 0; k < whole; ++k) {
        const std::uint64_t y = counts.counts[k];
        if (y == 0) continue;
        occupied.push_back({k, y});
        events += y;
        index_sum += k * y;
        statistic += counts.centre[k] * static_cast<double>(y);
    }
    if (events == 0) {
        test.reason = "no event in a whole bin";
        return test;
    }
    const Sums observed = sums_of(index_sum, events, whole);

    // Each permutation places the bins with events in distinct random bins: a partial
    // Fisher-Yates shuffle of the bins, undone afterwards.
    std::mt19937_64 engine(static_cast<std::uint64_t>(seed));
    std::vector<std::uint32_t> slots(whole);
    for (std::uint64_t k = 0; k < whole; ++k)
        slots[k] = static_cast<std::uint32_t>(k);
    std::vector<std::uint64_t> swapped(occupied.size());
    std::size_t as_large = 0;
    std::size_t as_far = 0;
    const std::size_t block = std::max<std::size_t>(1, 65536 / occupied.size());
    for (std::size_t p = 0; p < permutations; ++p) {
        if (look && p > 0 && p % block == 0 && !look(p, permutations)) {
            test.reason = "stopped after " + std::to_string(p) + " of " +
                          std::to_string(permutations) + " permutations";
            return test;
        }
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < occupied.size(); ++i) {
            const std::uint64_t j = i + draw_below(engine, whole - i);
            std::swap(slots[i], slots[j]);
            swapped[i] = j;
            sum += slots[i] * occupied[i].count;
        }
        for (std::size_t i = occupied.size(); i-- > 0;)
            std::swap(slots[i], slots[swapped[i]]);
        const Sums drawn = sums_of(sum, events, whole);
        as_large += drawn.index_sum >= observed.index_sum ? 1u : 0u;
        as_far += drawn.spread >= observed.spread ? 1u : 0u;
    }
    const auto draws = static_cast<double>(permutations) + 1.0;
    test.statistic = statistic;
    test.p_value = (1.0 + static_cast<double>(as_large)) / draws;
    test.p_value_two_sided = (1.0 + static_cast<double>(as_far)) / draws;
    test.permutations = permutations;
    return test;
}

}  // namespace zorvi
