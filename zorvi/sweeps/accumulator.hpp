// Internal to the sweeps: the accumulators that visit every point of both sweeps with each
// simulated series, exactly or (for many series) through histograms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "zorvi/sweeps/sweeps.hpp"

namespace zorvi {

// What the binned sweeps need to select and test a series fast: each event counted once, in
// a bucket at the last point it reaches, the counts and sums then accumulated from the last
// point down; |u| of every point at once as sqrt(12 / m) |s - m (a + d/2)| / d. The sums are
// then not added in the test's order and |u| may be off by `error` (a bound), so within that
// of the critical value the point's exact sum decides. The counts and |u| in flat arrays, one
// row of `bins` bins per point, are made into the points' figures at the end.
struct FastSweep {
    std::vector<double> earliest;        // per point: the earliest time counted
    std::vector<double> centre;          // per point: (start + end) / 2
    std::vector<double> inverse_length;  // per point: 1 / (end - start)
    std::vector<double> bucket_counts;   // per point: events whose last point it is
    std::vector<double> bucket_sums;     // and the sum of their times
    std::vector<double> sizes;           // per point: |u| of the series
    std::vector<double> root_12_over;    // per count k of events: sqrt(12 / k), infinite for 0
    std::vector<std::uint32_t> without_event;  // per point
    std::vector<std::uint32_t> below_05;       // per point
    std::vector<std::uint32_t> histogram;      // per point, `bins` counts of |u|
    std::size_t bins = 0;
    double per_width = 1.0;  // bins per unit of |u|
    std::size_t series = 0;
    double threshold_spacing = 1.0;  // average spacing of the thresholds, for a first guess
    double start_spacing = 1.0;      // and of the starts
    double error = 0.0;
};

// The sweeps over simulated series given one at a time, so that a caller generating series
// on the fly holds one series, not all of them. Every series visits every point at once: per
// point, the count and the sum of the selected times, added in position order as the test
// adds them.
struct SweepAccumulator {
    double threshold = 0.0;  // the main point
    double end = 0.0;
    std::vector<SweepPoint> points;  // thresholds first, then starts
    std::size_t threshold_points = 0;
    // Per point, the bound its sweep moves: the threshold along the threshold sweep, the
    // earliest time counted along the start sweep.
    std::vector<double> bounds;
    std::vector<double> counts;  // per point: selected events of one series
    std::vector<double> sums;    // per point: the sum of their times
    // Per point, the simulated series with a number for P: their P (exact quantiles), or a
    // histogram of their |u|, from which P follows (binned).
    std::vector<ValueSample> samples;
    // Binned: below critical.low |u| gives P >= 0.05, above critical.high P < 0.05; between
    // the two P itself decides.
    Interval critical;
    FastSweep fast;
    SweepSteps steps;
};

// `series` simulated series will follow; their quantiles are exact when `exact`.
SweepAccumulator begin_sweeps(const SweepSetup& setup, std::size_t series, bool exact);
// One simulated series: the events' times and the series' magnitudes, in file order.
void add_series(SweepAccumulator& sweeps, std::span<const double> times,
                std::span<const double> magnitudes);
// The shares and quantiles; `z` is the normal quantile of the Wilson intervals.
Sweeps finish_sweeps(SweepAccumulator& sweeps, double z);

}  // namespace zorvi

namespace zorvi::detail {

// The binned sweeps (FastSweep): set up once, then one series at a time.
void begin_binned_sweeps(SweepAccumulator& sweeps, std::span<const double> times);
void add_binned_series(SweepAccumulator& sweeps, std::span<const double> times,
                       std::span<const double> magnitudes);
// The points' counts and histograms, before their shares and quantiles.
void finish_binned_sweeps(SweepAccumulator& sweeps);

}  // namespace zorvi::detail
