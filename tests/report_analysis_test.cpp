// The analysis on hand-made series with answers worked out here from first principles: the
// fitted trend and its interval, the other tests, the power, and the events' shares.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <vector>

#include "report/run_report.hpp"
#include "stats/stats.hpp"
#include "test_support.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi;
using namespace zorvi::report;

// The conditional log-likelihood of beta for times on [a, b], written out directly:
// sum beta s - m ln(integral of exp(beta s) over [-h, h]).
double log_likelihood(const std::vector<double>& times, double a, double b, double beta) {
    const double h = (b - a) / 2.0;
    double sum_s = 0.0;
    for (double t : times)
        sum_s += t - (a + b) / 2.0;
    const double integral = beta == 0.0 ? 2.0 * h : 2.0 * std::sinh(beta * h) / beta;
    return beta * sum_s - static_cast<double>(times.size()) * std::log(integral);
}

TEST(ReportTrendFit, SymmetricTimesGiveNoTrend) {
    const std::vector<double> times = {1981.0, 1990.0, 2000.0, 2009.0};  // mean at the middle
    const TrendFit fit = fit_trend(times, 1980.0, 2010.0);
    EXPECT_NEAR(fit.beta, 0.0, 1e-15);
    EXPECT_NEAR(fit.beta_95.low, -fit.beta_95.high, 1e-12);
    EXPECT_LT(fit.beta_95.low, 0.0);
    EXPECT_NEAR(rate_ratio_per_decade(0.0), 1.0, 0.0);
}

TEST(ReportTrendFit, TimesPiledTowardsTheEndGiveARisingRate) {
    const std::vector<double> times = {3.0, 6.5, 7.0, 8.0, 8.5, 9.0, 9.2, 9.5, 9.8, 9.9};
    const double a = 0.0, b = 10.0, h = 5.0;
    const TrendFit fit = fit_trend(times, a, b);
    ASSERT_GT(fit.beta, 0.0);
    EXPECT_GT(fit.beta_95.low, 0.0);  // the interval excludes a constant rate
    // The estimate solves mean(s) = h coth(beta h) - 1 / beta.
    double mean_s = 0.0;
    for (double t : times)
        mean_s += (t - 5.0) / static_cast<double>(times.size());
    EXPECT_NEAR(h / std::tanh(fit.beta * h) - 1.0 / fit.beta, mean_s, 1e-12);
    // At both ends of the interval the log-likelihood is 3.841459 / 2 below its maximum.
    const double top = log_likelihood(times, a, b, fit.beta);
    EXPECT_NEAR(top - log_likelihood(times, a, b, fit.beta_95.low), 3.8414588 / 2.0, 1e-6);
    EXPECT_NEAR(top - log_likelihood(times, a, b, fit.beta_95.high), 3.8414588 / 2.0, 1e-6);
    EXPECT_LT(log_likelihood(times, a, b, fit.beta * 1.01), top);  // and it is the maximum
    EXPECT_LT(log_likelihood(times, a, b, fit.beta * 0.99), top);
}

TEST(ReportTrendFit, UndefinedWithoutAnEventOrAMaximum) {
    EXPECT_TRUE(std::isnan(fit_trend({}, 0.0, 1.0).beta));
    const TrendFit at_end = fit_trend(std::vector<double>{1.0, 1.0}, 0.0, 1.0);
    EXPECT_EQ(at_end.beta, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(at_end.beta_95.low));
}

TrendTest cox_lewis(const std::vector<double>& times, double a, double b) {
    TrendTest test;
    test.m = static_cast<std::int32_t>(times.size());
    zorvi::stats::test(a, b, test.m, times, test.u, test.p);
    return test;
}

TEST(ReportOtherTests, KnownStatisticsAndP) {
    // Times 9, 2, 5 on [0, 10] (out of order): mean 16/3, u = sqrt(36) (16/3 - 5) / 10 = 0.2.
    // Gaps 2, 3, 4 from the start: CV = 1 / 3, so Lewis-Robinson = 0.6, P = 1 - Phi(0.6).
    const std::vector<double> times = {9.0, 2.0, 5.0};
    const TrendTest cl = cox_lewis(times, 0.0, 10.0);
    ASSERT_NEAR(cl.u, 0.2, 1e-12);
    const TestStatistics s = trend_test_statistics(times, cl, 0.0, 10.0);
    EXPECT_NEAR(s[test_lewis_robinson].statistic, 0.6, 1e-12);
    EXPECT_NEAR(s[test_lewis_robinson].p_value, 0.5 * std::erfc(0.6 / std::numbers::sqrt2), 1e-12);
    EXPECT_EQ(s[test_cox_lewis].p_value, cl.p);
    EXPECT_NEAR(s[test_cox_lewis_two_sided].p_value, 2.0 * cl.p, 1e-15);

    // MIL-HDBK-189: 2 (ln(10/9) + ln(10/2) + ln(10/5)), chi-square with 6 degrees of freedom,
    // whose lower tail is 1 - exp(-x/2) (1 + x/2 + x^2/8).
    const double x = 2.0 * std::log(10.0 * 10.0 * 10.0 / (9.0 * 2.0 * 5.0));
    EXPECT_NEAR(s[test_mil_hdbk_189].statistic, x, 1e-12);
    EXPECT_NEAR(s[test_mil_hdbk_189].p_value,
                1.0 - std::exp(-x / 2.0) * (1.0 + x / 2.0 + x * x / 8.0), 1e-12);
    const Estimate shape = mil_hdbk_189_shape(times, 0.0, 10.0);
    EXPECT_NEAR(shape.value, 6.0 / x, 1e-12);
    EXPECT_LT(shape.interval.low, shape.value);
    EXPECT_GT(shape.interval.high, shape.value);

    // Two events on [0, 1]: statistic 2 ln(1 / (t1 t2)), chi-square(4) lower tail
    // 1 - exp(-x/2) (1 + x/2).
    const std::vector<double> two = {0.5, 0.8};
    const TestStatistics s2 = trend_test_statistics(two, cox_lewis(two, 0.0, 1.0), 0.0, 1.0);
    const double x2 = 2.0 * std::log(1.0 / 0.4);
    EXPECT_NEAR(s2[test_mil_hdbk_189].p_value, 1.0 - std::exp(-x2 / 2.0) * (1.0 + x2 / 2.0), 1e-12);

    // Lewis-Robinson needs two events; no test has a value without one.
    const std::vector<double> one = {0.7};
    EXPECT_TRUE(std::isnan(
        trend_test_statistics(one, cox_lewis(one, 0.0, 1.0), 0.0, 1.0)[test_lewis_robinson]
            .statistic));
    for (const TestStatistic& none : trend_test_statistics({}, TrendTest{}, 0.0, 1.0))
        EXPECT_TRUE(std::isnan(none.p_value));
}

TEST(ReportPower, KnownAnswers) {
    const double c = 1.6448536;
    // No trend: the sum of m uniforms; its upper tails above the last knot are
    // (m - v)^m / m!, with v = m/2 + c sqrt(m/12).
    const double v2 = 1.0 + c * std::sqrt(2.0 / 12.0);
    EXPECT_NEAR(rising_trend_power(0.0, 2, 10.0, c), (2.0 - v2) * (2.0 - v2) / 2.0, 1e-13);
    const double v3 = 1.5 + c * 0.5;
    EXPECT_NEAR(rising_trend_power(0.0, 3, 10.0, c), std::pow(3.0 - v3, 3) / 6.0, 1e-13);
    // One event, rising and falling: P(v > v1) = (e^theta - e^(theta v1)) / (e^theta - 1).
    const double v1 = 0.5 + c / std::sqrt(12.0);
    for (const double theta : {0.5, 3.0, 40.0, -2.0}) {
        const double exact = (std::exp(theta) - std::exp(theta * v1)) / std::expm1(theta);
        EXPECT_NEAR(rising_trend_power(theta / 38.5, 1, 38.5, c), exact, 1e-12) << theta;
    }
    // Many events without a trend: close to the normal tail 0.05.
    EXPECT_NEAR(rising_trend_power(0.0, 200, 38.5, c), 0.05, 2e-3);
    // The detectable trend of one event has power 0.8 by the closed form.
    const double beta = detectable_beta(1, 38.5, c, 0.8);
    const double theta = beta * 38.5;
    EXPECT_NEAR((std::exp(theta) - std::exp(theta * v1)) / std::expm1(theta), 0.8, 1e-9);
    EXPECT_TRUE(std::isnan(detectable_beta(0, 38.5, c, 0.8)));
}

// Every event of the shipped data is selected by the simulation about as often as its
// magnitude's normal distribution says.
TEST(ReportEvents, SharesFollowTheSelectionProbability) {
    EventSeries events;
    std::string error;
    ASSERT_TRUE(parse_event_data(zorvi::testing::read_file(zorvi::testing::shipped_data_file()),
                                 "data", events, error))
        << error;
    Analysis analysis;
    ASSERT_TRUE(analyse_study(events, StudySettings{}, without_files(), analysis, error));
    const std::vector<EventRow>& rows = analysis.events;
    ASSERT_EQ(rows.size(), 60u);
    double expected_m = 0.0;
    for (const EventRow& row : rows) {
        const double p =
            0.5 * std::erfc(-(row.magnitude - 113.0) / row.standard_error / std::numbers::sqrt2);
        EXPECT_NEAR(row.selection_probability, p, 1e-12);
        EXPECT_NEAR(row.selected_share, p, 4.0 * std::sqrt(p * (1.0 - p) / 2000.0) + 1e-9)
            << row.time;
        EXPECT_EQ(row.selected_observed, row.magnitude >= 113.0);
        expected_m += p;
    }
    EXPECT_NEAR(expected_m, 7.67, 0.005);
}

// No observed event: the trend, the tests and the detectable trend are undefined, said so in
// the text and null in the JSON; the simulated series still have theirs.
TEST(ReportAnalysis, WithoutAnObservedEventTheTrendIsUndefined) {
    const EventSeries events = {{1990.0, 2000.0, 2010.0}, {100.0, 110.0, 90.0}, {10.0, 10.0, 10.0}};
    StudySettings settings;
    settings.series = 50;
    Analysis analysis;
    std::string error;
    ASSERT_TRUE(analyse_study(events, settings, without_files(), analysis, error));
    const ReportNames names{"r", "d", ""};
    const std::string text = format_summary(analysis, names);
    EXPECT_NE(text.find("  undefined: the observed series has no selected event\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  detectable ratio per decade     undefined without an observed event\n"),
              std::string::npos);

    const nlohmann::json json = nlohmann::json::parse(format_json(analysis, names));
    EXPECT_EQ(json["observed"]["m"], 0);
    EXPECT_TRUE(json["observed"]["rate_ratio_per_decade"]["estimate"].is_null());
    EXPECT_TRUE(json["observed"]["detectable_rate_ratio_per_decade"].is_null());
    for (const auto& test : json["observed"]["tests"])
        EXPECT_TRUE(test["p_value"].is_null()) << test;
    EXPECT_TRUE(json["files"]["figure"].is_null());
    EXPECT_GT(json["simulated"]["rate_ratio_per_decade"]["median"].get<double>(), 0.0);
}

}  // namespace
