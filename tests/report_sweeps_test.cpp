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

// The steps between a grid's points: all alike when the grid is even.
std::vector<double> gaps(const std::vector<double>& points) {
    std::vector<double> out;
    for (std::size_t k = 1; k < points.size(); ++k)
        out.push_back(points[k] - points[k - 1]);
    return out;
}

bool evenly_spaced(const std::vector<double>& points, double step) {
    const std::vector<double> d = gaps(points);
    return std::all_of(d.begin(), d.end(),
                       [&](double g) { return std::fabs(g - step) <= 1e-9 * std::fabs(step); });
}

TEST(ReportSweepPoints, ThresholdGrids) {
    struct Case {
        double low, high;
        std::vector<double> wanted;
        double step;  // NaN: no even grid
        std::size_t count;
        double first, last;
        bool even;  // no point added between the grid's own
    };
    const std::vector<Case> cases = {
        {64, 137, {113, 64, 83, 96, 137}, 1, 74, 64, 137, true},  // knots: whole units
        {5.0, 7.4, {6.5}, 0.02, 121, 5.0, 7.4, true},             // the quakes' magnitudes
        {5.6, 7.4, {6.35}, 0.01, 181, 5.6, 7.4, true},            // 0.02 misses 6.35
        {5.6, 7.4, {6.357}, 0.02, 92, 5.6, 7.4, false},           // no grid holds it: added
        {-3.2, -0.1, {}, 0.05, 63, -3.2, -0.1, true},
        {0.0013, 0.0051, {}, 0.00005, 77, 0.0013, 0.0051, true},
        {0, 1e9, {}, 2e7, 51, 0, 1e9, true},
        {5.5, 5.5, {5.5}, NAN, 1, 5.5, 5.5, true},
    };
    for (const Case& c : cases) {
        const std::vector<double> grid = threshold_grid(c.low, c.high, c.wanted);
        const double step = threshold_step(c.low, c.high, c.wanted);
        SCOPED_TRACE(::testing::Message() << c.low << " to " << c.high);
        if (std::isnan(c.step)) {
            EXPECT_TRUE(std::isnan(step));
        } else {
            EXPECT_DOUBLE_EQ(step, c.step);
        }
        EXPECT_EQ(grid.size(), c.count);
        ASSERT_FALSE(grid.empty());
        EXPECT_EQ(grid.front(), c.first);
        EXPECT_EQ(grid.back(), c.last);
        for (double v : c.wanted)  // exactly as written, 6.35 the double of "6.35"
            EXPECT_TRUE(std::find(grid.begin(), grid.end(), v) != grid.end()) << v;
        if (c.even && !std::isnan(c.step)) {
            EXPECT_TRUE(evenly_spaced(grid, c.step));
        }
    }
    // Magnitudes near the largest double, or far from zero where a step is below the spacing
    // of doubles: at most 200 distinct points, ascending, and no endless loop.
    for (auto [low, high] : {std::pair{90.0, 1e308}, {-1.7e308, 1.7e308}, {1e17, 1e17 + 1008}}) {
        const std::vector<double> huge = threshold_grid(low, high, {});
        EXPECT_LE(huge.size(), 200u) << high;
        EXPECT_TRUE(std::adjacent_find(huge.begin(), huge.end(), std::greater_equal<>()) ==
                    huge.end())
            << high;
    }
    EXPECT_TRUE(threshold_grid(-INFINITY, 10, {}).size() == 1u);  // the finite end only

    // A grid as given: its points as written, and its size without building it.
    const std::vector<double> given = even_grid(5, 8, 0.05, 1000);
    EXPECT_EQ(given.size(), 61u);
    EXPECT_EQ(given[27], 6.35);
    EXPECT_EQ(given.back(), 8.0);
    EXPECT_EQ(even_grid(1, 2, 0.3, 1000), (std::vector<double>{1, 1.3, 1.6, 1.9}));
    EXPECT_EQ(even_grid_count(0, 1, 1e-9), 1e9 + 1);
    EXPECT_EQ(even_grid_count(1, 0, 1), 0.0);
    EXPECT_EQ(even_grid_count(0, 1, 0), 0.0);
    EXPECT_EQ(even_grid_count(0, INFINITY, 1), 0.0);
}

TEST(ReportSweepPoints, StartGrids) {
    struct Case {
        double start, end;
        double step, min_span;
        std::size_t count;
        double last;
    };
    const std::vector<Case> cases = {
        {1980.417, 2018.917, 1, 10, 29, 2008.417},  // the shipped run: 2009.417 leaves 9.5
        {1950, 2020, 1, 10, 61, 2010},
        {1700, 2020, 2, 10, 156, 2010},  // three centuries: reaches ten years before the end
        {1000, 1210, 2, 10, 101, 1200},
        {0, 1e9, 5e6, 10, 200, 9.95e8},
        {2000, 2005, 1, 2.5, 3, 2002},  // a short record: half its length left
        {2000, 2000.5, 1, 0.25, 1, 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << " to " << c.end);
        const std::vector<double> starts = start_grid(c.start, c.end);
        EXPECT_EQ(start_step(c.start, c.end), c.step);
        EXPECT_EQ(start_min_span(c.start, c.end), c.min_span);
        ASSERT_EQ(starts.size(), c.count);
        EXPECT_EQ(starts.front(), c.start);
        EXPECT_NEAR(starts.back(), c.last, 1e-9 * std::fabs(c.last));
        EXPECT_TRUE(evenly_spaced(starts, c.step));
    }
    EXPECT_LE(start_grid(-8e307, 8e307).size(), 200u);  // no endless loop
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
