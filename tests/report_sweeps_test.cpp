// The sensitivity sweeps: their points, and known answers on the shipped data at the main
// point and away from it, each recomputed here without the sweep code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "driver/run_state.hpp"
#include "driver/simulation.hpp"
#include "random/random.hpp"
#include "report/report.hpp"
#include "stats/stats.hpp"
#include "test_support.hpp"

namespace {

using namespace zorvi::report;
namespace driver = zorvi::driver;

TEST(ReportSweepPoints, ThresholdsAndStarts) {
    EXPECT_EQ(whole_thresholds(63.5, 67, 200), (std::vector<double>{64, 65, 66, 67}));
    EXPECT_EQ(whole_thresholds(64, 137, 200).size(), 74u);
    // Thinned to at most 4: every 2nd of 1..7, the last kept.
    EXPECT_EQ(whole_thresholds(1, 7, 4), (std::vector<double>{1, 3, 5, 7}));
    EXPECT_EQ(whole_thresholds(1, 8, 4), (std::vector<double>{1, 4, 7, 8}));
    const std::vector<double> starts = sweep_starts(1980.417, 2018.917, 1.0, 10.0);
    ASSERT_EQ(starts.size(), 29u);  // 2008.417 leaves 10.5 years, 2009.417 only 9.5
    EXPECT_EQ(starts.front(), 1980.417);
    EXPECT_EQ(starts.back(), 1980.417 + 28.0);
    EXPECT_TRUE(sweep_starts(2010, 2018, 1.0, 10.0).empty());
}

// The shipped events and the magnitudes of the run's 2000 simulated series, series-major.
struct ShippedRun {
    driver::RunState run;
    std::vector<double> simulated;
    Recomputed recomputed;
    ShippedRun() {
        std::string text = zorvi::testing::read_file(zorvi::testing::shipped_data_file());
        std::string error;
        EXPECT_TRUE(parse_event_data(text, "data", run, error)) << error;
        recomputed = recompute(run, driver::nsim);
        // The same series once more, keeping the magnitudes.
        zorvi::random::reset_uniform_state();
        zorvi::random::reset_gaussian_state();
        zorvi::random::ranseed();
        driver::test_observed(run);
        driver::discard_first_deviate(run);
        for (int k = 0; k < driver::nsim; ++k) {
            driver::simulate_series(run);
            simulated.insert(simulated.end(), run.xsim.begin(), run.xsim.end());
        }
    }
};

const ShippedRun& shipped() {
    static const ShippedRun instance;
    return instance;
}

const Sensitivity& shipped_sensitivity() {
    static const Sensitivity sensitivity =
        analyse_sensitivity(shipped().run.t, shipped().run.x, shipped().simulated,
                            driver::threshold, driver::tstart, driver::tend);
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
    const std::vector<double>& simulated = shipped().simulated;
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

TEST(ReportEventCounts, CumulativeCountsAndSelectionShares) {
    const EventCounts& counts = shipped_sensitivity().events;
    ASSERT_EQ(counts.observed.size(), 60u);
    EXPECT_EQ(counts.observed.back(), 6);  // the observed m
    EXPECT_EQ(counts.observed[17], 2);     // Hugo and Andrew by 1992.646
    // Each simulated series' count at the end is its m: the band of m over the series.
    std::vector<double> m(shipped().recomputed.msim.begin(), shipped().recomputed.msim.end());
    std::sort(m.begin(), m.end());
    EXPECT_EQ(counts.low.back(), quantile_of_sorted(m, 0.025));
    EXPECT_EQ(counts.median.back(), quantile_of_sorted(m, 0.5));
    EXPECT_EQ(counts.high.back(), quantile_of_sorted(m, 0.975));
    // Andrew (145 kt, 2.7 standard errors above) is nearly always selected, Bob (65 kt) never;
    // the shares sum to the mean m.
    EXPECT_GT(counts.selected_share[17], 0.99);
    EXPECT_EQ(counts.selected_share[3], 0.0);
    double share_sum = 0.0;
    for (double share : counts.selected_share)
        share_sum += share;
    double m_sum = 0.0;
    for (double v : m)
        m_sum += v;
    EXPECT_NEAR(share_sum, m_sum / 2000.0, 1e-9);
    EXPECT_EQ(std::count(counts.selected.begin(), counts.selected.end(), 1), 6);
}

}  // namespace
