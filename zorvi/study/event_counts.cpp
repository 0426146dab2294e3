// The selected events against time: the observed and the simulated cumulative counts of the
// selected events at each event's time.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi {
namespace {

// The order statistic `k` (0-based) of the counts whose frequencies `histogram` holds in bins
// of `bin` counts: the bin's middle.
double order_statistic(std::span<const std::size_t> histogram, std::size_t bin, std::size_t k) {
    std::size_t below = 0;
    std::size_t place = histogram.size() - 1;
    for (std::size_t b = 0; b < histogram.size(); ++b) {
        below += histogram[b];
        if (below > k) {
            place = b;
            break;
        }
    }
    return static_cast<double>(place * bin) + 0.5 * static_cast<double>(bin - 1);
}

// Quantile by linear interpolation between order statistics (type 7), from frequencies.
double quantile_of_histogram(std::span<const std::size_t> histogram, std::size_t bin,
                             std::size_t total, double q) {
    const double h = static_cast<double>(total - 1) * q;
    const double below = std::floor(h);
    const auto k = static_cast<std::size_t>(below);
    const double low = order_statistic(histogram, bin, k);
    if (k + 1 >= total) return low;
    return low + (h - below) * (order_statistic(histogram, bin, k + 1) - low);
}

}  // namespace

EventCountAccumulator begin_event_counts(std::span<const double> times,
                                         std::span<const double> magnitudes, double threshold,
                                         double start) {
    assert(times.size() == magnitudes.size());
    EventCountAccumulator acc;
    acc.threshold = threshold;
    EventCounts& counts = acc.counts;
    for (std::size_t i = 0; i < times.size(); ++i)
        if (times[i] >= start) counts.order.push_back(i);
    std::stable_sort(counts.order.begin(), counts.order.end(),
                     [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });

    std::int32_t count = 0;
    for (std::size_t i : counts.order) {
        counts.times.push_back(times[i]);
        if (magnitudes[i] >= threshold) ++count;
        counts.observed.push_back(count);
    }
    // The band at every event, or at evenly spread events (the last among them) when there
    // are too many to keep a count histogram for each.
    const std::size_t n = counts.order.size();
    const std::size_t positions = std::min(n, max_band_positions);
    for (std::size_t j = 0; j < positions; ++j)
        counts.band_at.push_back(
            n - 1 - (positions - 1 - j) * (n - 1) / std::max<std::size_t>(positions - 1, 1));
    acc.count_bin = (n + max_count_bins) / max_count_bins;  // counts 0 to n in at most that many
    acc.width = n / acc.count_bin + 1;
    acc.histogram.assign(positions * acc.width, 0);
    return acc;
}

void add_series(EventCountAccumulator& acc, std::span<const double> magnitudes) {
    const EventCounts& counts = acc.counts;
    std::size_t count = 0;
    std::size_t next = 0;  // the next band position
    for (std::size_t k = 0; k < counts.order.size() && next < counts.band_at.size(); ++k) {
        if (magnitudes[counts.order[k]] >= acc.threshold) ++count;
        if (counts.band_at[next] != k) continue;
        ++acc.histogram[next * acc.width + count / acc.count_bin];
        ++next;
    }
    ++acc.series;
}

EventCounts finish_event_counts(EventCountAccumulator& acc) {
    EventCounts counts = std::move(acc.counts);
    const std::size_t bin = acc.count_bin;
    for (std::size_t j = 0; j < counts.band_at.size() && acc.series > 0; ++j) {
        const std::span<const std::size_t> row(acc.histogram.data() + j * acc.width, acc.width);
        counts.low.push_back(quantile_of_histogram(row, bin, acc.series, interval_tail));
        counts.median.push_back(quantile_of_histogram(row, bin, acc.series, 0.5));
        counts.high.push_back(quantile_of_histogram(row, bin, acc.series, 1.0 - interval_tail));
    }
    return counts;
}

}  // namespace zorvi
