// The selected events against time: the observed and the simulated cumulative counts of the
// selected events, and each event's share of the series that select it.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "report/report.hpp"

namespace zorvi::report {
namespace {

// An event counts when it lies at or after the start and reaches the threshold; a NaN
// magnitude never does.
bool counts_at(double time, double magnitude, double threshold, double start) {
    return time >= start && magnitude >= threshold;
}

// The order statistic `k` (0-based) of the values whose frequencies `histogram` holds.
double order_statistic(std::span<const std::size_t> histogram, std::size_t k) {
    std::size_t below = 0;
    for (std::size_t value = 0; value < histogram.size(); ++value) {
        below += histogram[value];
        if (below > k) return static_cast<double>(value);
    }
    return static_cast<double>(histogram.size() - 1);
}

// Quantile by linear interpolation between order statistics (type 7), from frequencies.
double quantile_of_histogram(std::span<const std::size_t> histogram, std::size_t total, double q) {
    const double h = static_cast<double>(total - 1) * q;
    const double below = std::floor(h);
    const auto k = static_cast<std::size_t>(below);
    const double low = order_statistic(histogram, k);
    if (k + 1 >= total) return low;
    return low + (h - below) * (order_statistic(histogram, k + 1) - low);
}

}  // namespace

EventCountAccumulator begin_event_counts(std::span<const double> times,
                                         std::span<const double> magnitudes, double threshold,
                                         double start) {
    assert(times.size() == magnitudes.size());
    EventCountAccumulator acc;
    acc.threshold = threshold;
    acc.start = start;
    for (std::size_t i = 0; i < times.size(); ++i)
        if (times[i] >= start) acc.counts.order.push_back(i);
    std::stable_sort(acc.counts.order.begin(), acc.counts.order.end(),
                     [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
    acc.histogram.assign(acc.counts.order.size() * (acc.counts.order.size() + 1), 0);
    acc.selections.assign(times.size(), 0);

    EventCounts& counts = acc.counts;
    counts.selected.assign(times.size(), 0);
    std::int32_t count = 0;
    for (std::size_t i : acc.counts.order) {
        counts.times.push_back(times[i]);
        if (counts_at(times[i], magnitudes[i], threshold, start)) {
            counts.selected[i] = 1;
            ++count;
        }
        counts.observed.push_back(count);
    }
    return acc;
}

void add_series(EventCountAccumulator& acc, std::span<const double> magnitudes) {
    const std::size_t width = acc.counts.order.size() + 1;
    std::size_t count = 0;
    for (std::size_t k = 0; k < acc.counts.order.size(); ++k) {
        const std::size_t i = acc.counts.order[k];
        if (counts_at(acc.counts.times[k], magnitudes[i], acc.threshold, acc.start)) {
            ++acc.selections[i];
            ++count;
        }
        ++acc.histogram[k * width + count];
    }
    ++acc.series;
}

EventCounts finish_event_counts(EventCountAccumulator& acc) {
    EventCounts counts = std::move(acc.counts);
    const std::size_t width = counts.order.size() + 1;
    const auto series = static_cast<double>(acc.series);
    for (std::size_t k = 0; k < counts.order.size() && acc.series > 0; ++k) {
        const std::span<const std::size_t> row(acc.histogram.data() + k * width, width);
        counts.low.push_back(quantile_of_histogram(row, acc.series, interval_tail));
        counts.median.push_back(quantile_of_histogram(row, acc.series, 0.5));
        counts.high.push_back(quantile_of_histogram(row, acc.series, 1.0 - interval_tail));
    }
    for (std::size_t n : acc.selections)
        counts.selected_share.push_back(acc.series == 0 ? 0.0 : static_cast<double>(n) / series);
    return counts;
}

}  // namespace zorvi::report
