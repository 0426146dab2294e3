// The binned sweeps' pass over one series: every point selected and tested in time linear in
// the events and the points, |u| counted in a histogram, and the count of P < 0.05 exact.
#include <algorithm>
#include <cmath>
#include <limits>

#include "stats/stats.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/sweeps/accumulator.hpp"

namespace zorvi::detail {
namespace {

constexpr double epsilon = std::numeric_limits<double>::epsilon();

// A whole number in [0, last] near `place` (truncated; NaN gives 0).
std::size_t index_near(double place, double last) {
    return static_cast<std::size_t>(
        static_cast<std::int64_t>(place > 0.0 ? (place < last ? place : last) : 0.0));
}

// The number of leading bounds (ascending) at most `value`, from a guess `place` that is
// usually right or off by one.
std::size_t reached_from(std::span<const double> bounds, double value, double place) {
    std::size_t r = index_near(place, static_cast<double>(bounds.size()));
    while (r < bounds.size() && bounds[r] <= value)
        ++r;
    while (r > 0 && bounds[r - 1] > value)
        --r;
    return r;
}

double spacing(std::span<const double> bounds) {
    if (bounds.size() < 2) return 1.0;
    const double average =
        (bounds.back() - bounds.front()) / static_cast<double>(bounds.size() - 1);
    return average > 0.0 ? average : 1.0;
}

// Counts an event at the first `reached` points of a sweep whose buckets start at `first`.
void count_event(FastSweep& fast, std::size_t first, std::size_t reached, double t) {
    if (reached == 0) return;
    fast.bucket_counts[first + reached - 1] += 1.0;
    fast.bucket_sums[first + reached - 1] += t;
}

// From the buckets of [first, last) to every point's count and sum, from the last point down.
void accumulate(SweepAccumulator& sweeps, std::size_t first, std::size_t last) {
    double count = 0.0;
    double sum = 0.0;
    for (std::size_t j = last; j-- > first;) {
        count += sweeps.fast.bucket_counts[j];
        sum += sweeps.fast.bucket_sums[j];
        sweeps.counts[j] = count;
        sweeps.sums[j] = sum;
    }
}

void select_fast(SweepAccumulator& sweeps, std::span<const double> times,
                 std::span<const double> magnitudes) {
    FastSweep& fast = sweeps.fast;
    const std::size_t split = sweeps.threshold_points;
    const std::span<const double> thresholds(sweeps.bounds.data(), split);
    const std::span<const double> starts = std::span<const double>(fast.earliest).subspan(split);
    std::fill(fast.bucket_counts.begin(), fast.bucket_counts.end(), 0.0);
    std::fill(fast.bucket_sums.begin(), fast.bucket_sums.end(), 0.0);
    // The first guesses: the places on an even grid of the average spacing.
    const double first_threshold = thresholds.empty() ? 0.0 : thresholds.front();
    const double per_threshold = 1.0 / fast.threshold_spacing;
    const double first_start = starts.size() < 2 ? 0.0 : starts[1] - fast.start_spacing;
    const double per_start = 1.0 / fast.start_spacing;
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double t = times[i];
        const double x = magnitudes[i];
        if (std::isnan(x)) continue;  // never selected
        count_event(fast, 0,
                    reached_from(thresholds, x, (x - first_threshold) * per_threshold + 1.0), t);
        if (!(x >= sweeps.threshold)) continue;
        const std::size_t reached =
            std::isnan(t) ? starts.size()
                          : reached_from(starts, t, (t - first_start) * per_start + 1.0);
        count_event(fast, split, reached, t);
    }
    accumulate(sweeps, 0, split);
    accumulate(sweeps, split, sweeps.points.size());
}

// Point j's exact sum, its times added in position order as the test adds them.
double exact_sum(const SweepAccumulator& sweeps, std::size_t j, std::span<const double> times,
                 std::span<const double> magnitudes) {
    const double threshold = sweeps.points[j].threshold;
    const double earliest = sweeps.fast.earliest[j];
    double sum = 0.0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!(magnitudes[i] >= threshold)) continue;
        if (times[i] < earliest) continue;
        sum += times[i];
    }
    return sum;
}

// |u| of every point, NaN for a point without an event (0 times infinity): one loop without
// branches, sqrt(12 / m) looked up by the count.
void sizes_of_points(FastSweep& fast, const double* counts, const double* sums, std::size_t n) {
    double* const sizes = fast.sizes.data();
    const double* const centre = fast.centre.data();
    const double* const inverse_length = fast.inverse_length.data();
    const double* const root_12_over = fast.root_12_over.data();
    for (std::size_t j = 0; j < n; ++j) {
        const auto m = static_cast<std::size_t>(counts[j]);
        sizes[j] = std::fabs(sums[j] - counts[j] * centre[j]) * root_12_over[m] * inverse_length[j];
    }
}

}  // namespace

void begin_binned_sweeps(SweepAccumulator& sweeps, std::span<const double> times) {
    FastSweep& fast = sweeps.fast;
    const std::size_t points = sweeps.points.size();
    const std::size_t split = sweeps.threshold_points;
    fast.earliest.assign(points, -std::numeric_limits<double>::infinity());
    double longest = 0.0;
    double shortest = std::numeric_limits<double>::infinity();
    double farthest = std::fabs(sweeps.end);  // of the starts, the end and the times from zero
    for (std::size_t j = 0; j < points; ++j) {
        if (j >= split) fast.earliest[j] = sweeps.bounds[j];
        const double start = sweeps.points[j].start;
        const double length = sweeps.end - start;
        fast.centre.push_back(start + 0.5 * length);
        fast.inverse_length.push_back(1.0 / length);
        longest = std::max(longest, length);
        shortest = std::min(shortest, length);
        farthest = std::max(farthest, std::fabs(start));
    }
    for (double t : times)
        if (std::isfinite(t)) farthest = std::max(farthest, std::fabs(t));
    fast.bucket_counts.assign(points, 0.0);
    fast.bucket_sums.assign(points, 0.0);
    fast.sizes.assign(points, 0.0);
    fast.root_12_over.clear();
    for (std::size_t m = 0; m <= times.size(); ++m)
        fast.root_12_over.push_back(std::sqrt(12.0 / static_cast<double>(m)));
    fast.without_event.assign(points, 0);
    fast.below_05.assign(points, 0);
    const ValueSample& sample = sweeps.samples.front();  // every point's, alike
    fast.bins = sample.bins.size();
    fast.per_width = sample.per_width;
    fast.histogram.assign(points * fast.bins, 0);
    fast.threshold_spacing = spacing(std::span<const double>(sweeps.bounds).first(split));
    // The first start counts every time; the others lie a step apart from the main start.
    if (points - split >= 2)
        fast.start_spacing = sweeps.bounds[split + 1] - sweeps.points[split].start;
    // The sums' other order, m (a + d/2) and the products move s - m (a + d/2) by at most
    // (events + 8) units in the last place of m times the farthest value; twice that, scaled
    // as |u| is, bounds the error, a few units of |u| itself included.
    const double n = static_cast<double>(times.size());
    fast.error = 2.0 * std::sqrt(12.0 * n) / shortest * (n + 8.0) * epsilon * (farthest + longest);
}

void add_binned_series(SweepAccumulator& sweeps, std::span<const double> times,
                       std::span<const double> magnitudes) {
    select_fast(sweeps, times, magnitudes);
    FastSweep& fast = sweeps.fast;
    const std::size_t points = sweeps.points.size();
    sizes_of_points(fast, sweeps.counts.data(), sweeps.sums.data(), points);
    ++fast.series;
    const double low = sweeps.critical.low - fast.error;
    const double high = sweeps.critical.high + fast.error;
    const double last_bin = static_cast<double>(fast.bins - 1);
    std::uint32_t* row = fast.histogram.data();
    for (std::size_t j = 0; j < points; ++j, row += fast.bins) {
        const double size = fast.sizes[j];
        if (!(size >= 0.0)) {  // no event, or a time that is not a number
            ++fast.without_event[j];
            continue;
        }
        bool below = size > high;
        if (size >= low && !below) {  // near the critical value: the exact test decides
            const SweepPoint& point = sweeps.points[j];
            const auto m = static_cast<std::int32_t>(sweeps.counts[j]);
            const double u = stats::statistic_of_sum(point.start, sweeps.end, m,
                                                     exact_sum(sweeps, j, times, magnitudes));
            below = stats::one_sided_p(u) < significance_05;
        }
        fast.below_05[j] += below ? 1u : 0u;
        ++row[index_near(size * fast.per_width, last_bin)];
    }
}

void finish_binned_sweeps(SweepAccumulator& sweeps) {
    const FastSweep& fast = sweeps.fast;
    for (std::size_t j = 0; j < sweeps.points.size(); ++j) {
        SweepPoint& point = sweeps.points[j];
        point.series = fast.series;
        point.without_event = fast.without_event[j];
        point.below_05 = fast.below_05[j];
        ValueSample& sample = sweeps.samples[j];
        const auto row = fast.histogram.begin() + static_cast<std::ptrdiff_t>(j * fast.bins);
        std::copy(row, row + static_cast<std::ptrdiff_t>(fast.bins), sample.bins.begin());
        sample.count = fast.series - fast.without_event[j];
    }
}

}  // namespace zorvi::detail
