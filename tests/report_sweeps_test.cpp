// The sensitivity sweeps: their points, and known answers on the shipped data at the main
// point and away from it, each recomputed here without the sweep code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <utility>
#include <vector>

#include "driver/run_state.hpp"
#include "report/run_report.hpp"
#include "stats/stats.hpp"
#include "test_support.hpp"
#include "zorvi/study/internal.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi;
using namespace zorvi::report;
namespace driver = zorvi::driver;

TEST(ReportSweepPoints, ThresholdsAndStarts) {
    EXPECT_EQ(whole_thresholds(63.5, 67, 200), (std::vector<double>{64, 65, 66, 67}));
    EXPECT_EQ(whole_thresholds(64, 137, 200).size(), 74u);
    // Thinned to at most 4: every 2nd of 1..7, or every 3rd of 1..8 and the last.
    EXPECT_EQ(whole_thresholds(1, 7, 4), (std::vector<double>{1, 3, 5, 7}));
    EXPECT_EQ(whole_thresholds(1, 8, 4), (std::vector<double>{1, 4, 7, 8}));
    // A range of a billion units: 200 points, no billion-element list on the way.
    const std::vector<double> wide = whole_thresholds(0, 1e9, 200);
    EXPECT_LE(wide.size(), 200u);
    EXPECT_GE(wide.size(), 199u);
    EXPECT_EQ(wide.back(), 1e9);
    // Magnitudes near the largest double, or far from zero where a step of a few units is
    // below the spacing of doubles: at most 200 distinct points, in order, and no endless loop.
    for (auto [low, high] : {std::pair{90.0, 1e308}, {-1.7e308, 1.7e308}, {1e17, 1e17 + 1008}}) {
        const std::vector<double> huge = whole_thresholds(low, high, 200);
        EXPECT_LE(huge.size(), 200u) << high;
        EXPECT_TRUE(std::adjacent_find(huge.begin(), huge.end(), std::greater_equal<>()) ==
                    huge.end())
            << high;
        EXPECT_EQ(huge.back(), high);
    }
    EXPECT_TRUE(whole_thresholds(5.5, 5.7, 200).empty());
    EXPECT_TRUE(whole_thresholds(-INFINITY, 10, 200).empty());

    const std::vector<double> starts = sweep_starts(1980.417, 2018.917, 1.0, 10.0, 200);
    ASSERT_EQ(starts.size(), 29u);  // 2008.417 leaves 10.5 years, 2009.417 only 9.5
    EXPECT_EQ(starts.front(), 1980.417);
    EXPECT_EQ(starts.back(), 1980.417 + 28.0);
    EXPECT_TRUE(sweep_starts(2010, 2018, 1.0, 10.0, 200).empty());
    EXPECT_EQ(sweep_starts(0, 1e9, 1.0, 10.0, 200).size(), 200u);
    EXPECT_TRUE(sweep_starts(0, 100, 0.0, 10.0, 200).empty());  // no endless loop
    EXPECT_TRUE(sweep_starts(NAN, 100, 1.0, 10.0, 200).empty());

    // Where a sweep cut by its cap would have ended: 1000 to 1199 are its 200 starts, and 1200
    // leaves exactly ten years to 1210; with 9.5 left it would not.
    EXPECT_TRUE(std::isnan(last_start_beyond_cut(1980.417, 2018.917, 1.0, 10.0, 200)));
    EXPECT_TRUE(std::isnan(last_start_beyond_cut(1000, 1209.5, 1.0, 10.0, 200)));
    EXPECT_EQ(last_start_beyond_cut(1000, 1210, 1.0, 10.0, 200), 1200);
    EXPECT_EQ(last_start_beyond_cut(0, 1e9, 1.0, 10.0, 200), 1e9 - 10);
    EXPECT_GT(last_start_beyond_cut(-8e307, 8e307, 1.0, 10.0, 200), 7e307);  // no endless loop
}

// The shipped events, the magnitudes of the run's 2000 simulated series and their tests.
struct ShippedRun {
    EventSeries events;
    StudySettings settings;
    SimulatedMagnitudes simulated;
    Recomputed recomputed;
    ShippedRun() {
        std::string text = zorvi::testing::read_file(zorvi::testing::shipped_data_file());
        std::string error;
        EXPECT_TRUE(parse_event_data(text, "data", events, error)) << error;
        simulated = simulate_magnitudes(events, settings);
        recomputed = recompute(events, simulated, settings);
    }
};

const ShippedRun& shipped() {
    static const ShippedRun instance;
    return instance;
}

const Sensitivity& shipped_sensitivity() {
    static const Sensitivity sensitivity = [] {
        Analysis analysis;
        std::string error;
        EXPECT_TRUE(
            analyse_study(shipped().events, shipped().settings, without_files(), analysis, error));
        return analysis.sensitivity;
    }();
    return sensitivity;
}

const Sweeps& shipped_sweeps() {
    return shipped_sensitivity().sweeps;
}

const SweepPoint& point_at(const std::vector<SweepPoint>& points, double threshold, double start) {
    const auto it = std::find_if(points.begin(), points.end(), [&](const SweepPoint& p) {
        return p.threshold == threshold && p.start == start;
    });
    EXPECT_NE(it, points.end());
    return *it;
}

TEST(ReportSweeps, BothSweepsCrossAtTheRunsOwnFigures) {
    const Recomputed& r = shipped().recomputed;
    const std::size_t below = static_cast<std::size_t>(
        std::count_if(r.psim.begin(), r.psim.end(), [](double p) { return p < 0.05; }));
    for (const auto* points : {&shipped_sweeps().threshold, &shipped_sweeps().start}) {
        const SweepPoint& main = point_at(*points, 113, driver::tstart);
        EXPECT_EQ(main.observed_m, 6);
        EXPECT_EQ(main.observed_u, r.u);  // bit for bit
        EXPECT_EQ(main.observed_p, r.p);
        EXPECT_EQ(main.series, 2000u);
        EXPECT_EQ(main.below_05, below);
        EXPECT_EQ(main.below_05, 273u);  // 13.65 %, as the results file gives
    }
}

// The data file's events, read here with a plain stream: time, magnitude, standard error.
struct PlainEvent {
    double t, x;
};
std::vector<PlainEvent> plain_events() {
    std::istringstream in(zorvi::testing::read_file(zorvi::testing::shipped_data_file()));
    std::vector<PlainEvent> events;
    double t, x, sx;
    while (in >> t >> x >> sx)
        events.push_back({t, x});
    return events;
}

// One sweep point recomputed without the sweep code: selection by a plain loop, the program's
// test, all quantiles from sorted values.
SweepPoint recompute_point(double threshold, double start) {
    const std::vector<PlainEvent> events = plain_events();
    const auto test = [&](auto magnitude_of, std::int32_t& m, double& u, double& p) {
        std::vector<double> selected;
        for (std::size_t i = 0; i < events.size(); ++i)
            if (events[i].t >= start && magnitude_of(i) >= threshold)
                selected.push_back(events[i].t);
        m = static_cast<std::int32_t>(selected.size());
        zorvi::stats::test(start, driver::tend, m, selected, u, p);
    };
    SweepPoint point;
    test([&](std::size_t i) { return events[i].x; }, point.observed_m, point.observed_u,
         point.observed_p);
    std::vector<double> p_values;
    const std::vector<double>& simulated = shipped().simulated.values;
    for (std::size_t offset = 0; offset < simulated.size(); offset += events.size()) {
        std::int32_t m = 0;
        double u = 0.0, p = 0.0;
        test([&](std::size_t i) { return simulated[offset + i]; }, m, u, p);
        ++point.series;
        if (std::isnan(p)) continue;
        p_values.push_back(p);
        point.below_05 += p < 0.05 ? 1 : 0;
    }
    std::sort(p_values.begin(), p_values.end());
    point.p_q025 = quantile_of_sorted(p_values, 0.025);
    point.p_median = quantile_of_sorted(p_values, 0.5);
    point.p_q975 = quantile_of_sorted(p_values, 0.975);
    return point;
}

void expect_same(const SweepPoint& swept, const SweepPoint& expected) {
    EXPECT_EQ(swept.observed_m, expected.observed_m);
    EXPECT_EQ(swept.observed_u, expected.observed_u);
    EXPECT_EQ(swept.observed_p, expected.observed_p);
    EXPECT_EQ(swept.series, expected.series);
    EXPECT_EQ(swept.below_05, expected.below_05);
    EXPECT_EQ(swept.p_q025, expected.p_q025);
    EXPECT_EQ(swept.p_median, expected.p_median);
    EXPECT_EQ(swept.p_q975, expected.p_q975);
}

TEST(ReportSweeps, KnownAnswersAwayFromTheMainPoint) {
    // Category 3 and above: 19 storms observed, the simulated share far below the run's.
    const SweepPoint at_96 = point_at(shipped_sweeps().threshold, 96, driver::tstart);
    expect_same(at_96, recompute_point(96, driver::tstart));
    EXPECT_EQ(at_96.observed_m, 19);
    // From 1990.417 Hugo (1989.725) drops out: 5 storms.
    const SweepPoint from_1990 = point_at(shipped_sweeps().start, 113, 1980.417 + 10.0);
    expect_same(from_1990, recompute_point(113, 1980.417 + 10.0));
    EXPECT_EQ(from_1990.observed_m, 5);
    // Every point's observed m is a direct count in the data file.
    for (const auto* points : {&shipped_sweeps().threshold, &shipped_sweeps().start}) {
        for (const SweepPoint& point : *points) {
            std::int32_t count = 0;
            for (const PlainEvent& e : plain_events())
                count += e.t >= point.start && e.x >= point.threshold ? 1 : 0;
            EXPECT_EQ(point.observed_m, count) << point.threshold << " " << point.start;
        }
    }
}

TEST(ReportEventCounts, CumulativeCounts) {
    const EventCounts& counts = shipped_sensitivity().counts;
    ASSERT_EQ(counts.observed.size(), 60u);
    EXPECT_EQ(counts.observed.back(), 6);   // the observed m
    EXPECT_EQ(counts.observed[17], 2);      // Hugo and Andrew by 1992.646
    ASSERT_EQ(counts.band_at.size(), 60u);  // known at every event
    // At a few events, the band recomputed from each series' count of selected events so far
    // (the shipped events are in time order).
    const std::vector<double>& simulated = shipped().simulated.values;
    for (std::size_t k : {13u, 29u, 59u}) {
        std::vector<double> so_far;
        for (std::size_t offset = 0; offset < simulated.size(); offset += 60) {
            const auto first = simulated.begin() + static_cast<std::ptrdiff_t>(offset);
            so_far.push_back(
                static_cast<double>(std::count_if(first, first + static_cast<std::ptrdiff_t>(k + 1),
                                                  [](double x) { return x >= 113; })));
        }
        std::sort(so_far.begin(), so_far.end());
        EXPECT_EQ(counts.low[k], quantile_of_sorted(so_far, 0.025)) << k;
        EXPECT_EQ(counts.median[k], quantile_of_sorted(so_far, 0.5)) << k;
        EXPECT_EQ(counts.high[k], quantile_of_sorted(so_far, 0.975)) << k;
    }
    // At the end each series' count is its m: of 2000 series, 975 have m <= 7, 1393 m <= 8.
    EXPECT_EQ(counts.median.back(), 8.0);
}

TEST(ReportEventCounts, ManyEventsKeepTheBandAtSpreadPositions) {
    // 1201 events keep every count; 20001 keep them in bins of 5, so memory stays bounded.
    for (const int n : {1201, 20001}) {
        std::vector<double> times, magnitudes;
        for (int i = 0; i < n; ++i) {
            times.push_back(2000.0 + i / 100.0);
            magnitudes.push_back(i % 2 == 0 ? 120.0 : 100.0);  // every other event selected
        }
        EventCountAccumulator acc = begin_event_counts(times, magnitudes, 113, 2000.0);
        EXPECT_LE(acc.histogram.size(), max_band_positions * (max_count_bins + 1)) << n;
        add_series(acc, magnitudes);
        const double half_bin = 0.5 * static_cast<double>(acc.count_bin - 1);
        const EventCounts counts = finish_event_counts(acc);
        ASSERT_EQ(counts.band_at.size(), max_band_positions);
        EXPECT_EQ(counts.band_at.front(), 0u);
        EXPECT_EQ(counts.band_at.back(), static_cast<std::size_t>(n - 1));
        const std::size_t step = static_cast<std::size_t>(n - 1) / (max_band_positions - 1);
        for (std::size_t j = 1; j < counts.band_at.size(); ++j) {
            const std::size_t gap = counts.band_at[j] - counts.band_at[j - 1];
            EXPECT_TRUE(gap == step || gap == step + 1) << n << " " << j;
            // One series, the observed magnitudes: its band is the observed count, to a bin.
            EXPECT_LE(std::fabs(counts.high[j] - counts.observed[counts.band_at[j]]), half_bin)
                << n << " " << j;
        }
        EXPECT_EQ(counts.observed.back(), (n + 1) / 2);
    }
}

}  // namespace
