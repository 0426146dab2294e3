// The sensitivity sweeps: the observed test and every simulated series repeated at other
// thresholds and other starts, reusing the run's own simulated magnitudes for every point.
#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <limits>

#include "stats/stats.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/sweeps/accumulator.hpp"

namespace zorvi {
namespace {

constexpr double no_earlier_limit = -std::numeric_limits<double>::infinity();
// Binned sweeps: |u| in bins of this width up to at least this value (P about 1e-9 there), and
// the relative margin around the critical value within which P itself decides.
constexpr double u_bin_width = 0.002;
constexpr double binned_u_limit = 6.0;    // the last bin holds every larger |u|
constexpr double critical_margin = 1e-9;  // relative; P changes by about 1e-10 across it

SweepPoint point_at(double threshold, double start) {
    SweepPoint point;
    point.threshold = threshold;
    point.start = start;
    return point;
}

// The number of leading points whose bound is at most `value` (bounds ascending): the points
// of a sweep that select an event. A NaN value is never selected.
std::size_t points_reached(std::span<const double> bounds, double value) {
    if (std::isnan(value)) return 0;
    return static_cast<std::size_t>(std::upper_bound(bounds.begin(), bounds.end(), value) -
                                    bounds.begin());
}

// Adds one selected event of time t at the first `reached` points. The points beyond are
// left alone, as if 0.0 were added: a sum that started at +0.0 stays bit for bit what the
// test forms, adding the selected times in position order.
void add_to_first(std::size_t reached, double t, double* counts, double* sums) {
    for (std::size_t j = 0; j < reached; ++j) {
        counts[j] += 1.0;
        sums[j] += t;
    }
}

// Selects at every point at once, the events in position order.
void select_everywhere(SweepAccumulator& sweeps, std::span<const double> times,
                       std::span<const double> magnitudes) {
    const std::size_t split = sweeps.threshold_points;
    const std::span<const double> thresholds(sweeps.bounds.data(), split);
    const std::span<const double> earliest = std::span<const double>(sweeps.bounds).subspan(split);
    double* const counts = sweeps.counts.data();
    double* const sums = sweeps.sums.data();
    std::fill(sweeps.counts.begin(), sweeps.counts.end(), 0.0);
    std::fill(sweeps.sums.begin(), sweeps.sums.end(), 0.0);
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double t = times[i];
        const double x = magnitudes[i];
        // Along the threshold sweep every event counts and its magnitude decides.
        add_to_first(points_reached(thresholds, x), t, counts, sums);
        // Along the start sweep the main threshold decides, then the time; a NaN time is
        // never before a start.
        if (!(x >= sweeps.threshold)) continue;
        const std::size_t reached = std::isnan(t) ? earliest.size() : points_reached(earliest, t);
        add_to_first(reached, t, counts + split, sums + split);
    }
}

void test_point(const SweepAccumulator& sweeps, std::size_t j, std::int32_t& m, double& u,
                double& p) {
    m = static_cast<std::int32_t>(sweeps.counts[j]);
    stats::test_of_sum(sweeps.points[j].start, sweeps.end, m, sweeps.sums[j], u, p);
}

// A higher threshold selects a subset: the same count is the same selection, and the same
// test as the point before.
bool same_as_before(const SweepAccumulator& sweeps, std::size_t j) {
    return j > 0 && j < sweeps.threshold_points && sweeps.counts[j] == sweeps.counts[j - 1];
}

// Exact: every point's P, kept.
void test_every_point(SweepAccumulator& sweeps) {
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
    for (std::size_t j = 0; j < sweeps.points.size(); ++j) {
        if (!same_as_before(sweeps, j)) test_point(sweeps, j, m, u, p);
        SweepPoint& point = sweeps.points[j];
        ++point.series;
        if (std::isnan(p)) {
            ++point.without_event;
            continue;
        }
        add_value(sweeps.samples[j], p);
        if (p < significance_05) ++point.below_05;
    }
}

}  // namespace

SweepAccumulator begin_sweeps(const SweepSetup& setup, std::size_t series, bool exact) {
    assert(setup.times.size() == setup.magnitudes.size());
    assert(std::is_sorted(setup.thresholds.begin(), setup.thresholds.end()));
    assert(std::is_sorted(setup.starts.begin(), setup.starts.end()));
    assert(setup.starts.empty() || setup.starts.front() >= setup.start);
    SweepAccumulator sweeps;
    sweeps.threshold = setup.threshold;
    sweeps.end = setup.end;
    sweeps.steps = setup.steps;
    for (double threshold : setup.thresholds) {
        sweeps.points.push_back(point_at(threshold, setup.start));
        sweeps.bounds.push_back(threshold);
    }
    sweeps.threshold_points = sweeps.points.size();
    for (double start : setup.starts) {
        sweeps.points.push_back(point_at(setup.threshold, start));
        // At the main start every event counts, as in the program, whatever its time.
        sweeps.bounds.push_back(start == setup.start ? no_earlier_limit : start);
    }
    sweeps.counts.resize(sweeps.points.size());
    sweeps.sums.resize(sweeps.points.size());

    // A larger |u| counts in the last bin: its P is below 1e-9, 0 to any decimals shown, and
    // the histograms of all points stay small enough to be visited once per series.
    sweeps.samples.assign(
        sweeps.points.size(),
        exact ? exact_sample(series) : binned_sample(0.0, binned_u_limit, u_bin_width));
    const double critical = critical_u(significance_05);
    sweeps.critical = {critical * (1.0 - critical_margin), critical * (1.0 + critical_margin)};

    if (!exact) detail::begin_binned_sweeps(sweeps, setup.times);
    select_everywhere(sweeps, setup.times, setup.magnitudes);
    for (std::size_t j = 0; j < sweeps.points.size(); ++j) {
        SweepPoint& point = sweeps.points[j];
        test_point(sweeps, j, point.observed_m, point.observed_u, point.observed_p);
    }
    return sweeps;
}

void add_series(SweepAccumulator& sweeps, std::span<const double> times,
                std::span<const double> magnitudes) {
    if (!sweeps.samples.empty() && !sweeps.samples.front().exact) {
        detail::add_binned_series(sweeps, times, magnitudes);
        return;
    }
    select_everywhere(sweeps, times, magnitudes);
    test_every_point(sweeps);
}

Sweeps finish_sweeps(SweepAccumulator& sweeps, double z) {
    if (!sweeps.samples.empty() && !sweeps.samples.front().exact)
        detail::finish_binned_sweeps(sweeps);
    Sweeps out;
    out.steps = sweeps.steps;
    constexpr std::array<double, 3> levels = {interval_tail, 0.5, 1.0 - interval_tail};
    for (std::size_t j = 0; j < sweeps.points.size(); ++j) {
        SweepPoint point = sweeps.points[j];
        point.share_05 = point.series == 0 ? std::numeric_limits<double>::quiet_NaN()
                                           : static_cast<double>(point.below_05) /
                                                 static_cast<double>(point.series);
        point.share_05_95 = wilson_interval(point.below_05, point.series, z);
        ValueSample& sample = sweeps.samples[j];
        if (sample.exact) {
            const std::vector<double> q = sample_quantiles(sample, levels);
            point.p_q025 = q[0];
            point.p_median = q[1];
            point.p_q975 = q[2];
        } else {
            // P falls as |u| grows: its low quantiles are the high ones of |u|.
            const std::vector<double> q = sample_quantiles(sample, levels);
            point.p_q025 = stats::one_sided_p(q[2]);
            point.p_median = stats::one_sided_p(q[1]);
            point.p_q975 = stats::one_sided_p(q[0]);
        }
        (j < sweeps.threshold_points ? out.threshold : out.start).push_back(point);
    }
    return out;
}

}  // namespace zorvi
