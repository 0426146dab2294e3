// The report's summary statistics on small hand-made inputs with known answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "driver/run_files.hpp"
#include "report/run_report.hpp"
#include "report_test_support.hpp"
#include "stats/stats.hpp"
#include "textio/textio.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/study/internal.hpp"
#include "zorvi/zorvi.hpp"

namespace {

using namespace zorvi;
using namespace zorvi::report;
using zorvi::testing::nan;

TEST(ReportMoments, MeanAndSampleStandardDeviation) {
    const std::vector<double> values = {2, 4, 4, 4, 5, 5, 7, 9};
    EXPECT_DOUBLE_EQ(mean_of(values), 5.0);
    EXPECT_DOUBLE_EQ(standard_deviation_of(values), std::sqrt(32.0 / 7.0));  // divisor n - 1
    // A large common offset must not swamp the spread.
    const std::vector<double> offset = {1e9 + 1, 1e9 + 2, 1e9 + 3};
    EXPECT_DOUBLE_EQ(standard_deviation_of(offset), 1.0);
}

TEST(ReportMoments, UndefinedForTooFewValues) {
    EXPECT_TRUE(std::isnan(mean_of({})));
    EXPECT_TRUE(std::isnan(standard_deviation_of(std::vector<double>{3.0})));
}

TEST(ReportQuantiles, LinearInterpolationBetweenOrderStatistics) {
    const std::vector<double> sorted = {1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(quantile_of_sorted(sorted, 0.025), 1.075);
    EXPECT_DOUBLE_EQ(quantile_of_sorted(sorted, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(quantile_of_sorted(sorted, 0.975), 3.925);
    EXPECT_DOUBLE_EQ(quantile_of_sorted(sorted, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(quantile_of_sorted(sorted, 1.0), 4.0);  // no read past the end
    EXPECT_DOUBLE_EQ(quantile_of_sorted(std::vector<double>{7.0}, 0.975), 7.0);
    EXPECT_TRUE(std::isnan(quantile_of_sorted({}, 0.5)));
}

TEST(ReportQuantiles, PartialSortingGivesTheSortedValuesQuantiles) {
    // Ties, a NaN-free shuffle, and quantiles that share an order statistic.
    std::vector<double> values = {5, 1, 4, 4, 9, 2, 8, 3, 7, 6, 4};
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const std::vector<double> qs = {0.0, 0.025, 0.5, 0.51, 0.975, 1.0};
    const std::vector<double> q = quantiles_in_place(values, qs);
    ASSERT_EQ(q.size(), qs.size());
    for (std::size_t k = 0; k < qs.size(); ++k)
        EXPECT_EQ(q[k], quantile_of_sorted(sorted, qs[k])) << qs[k];
    std::vector<double> none;
    EXPECT_TRUE(std::isnan(quantiles_in_place(none, qs)[2]));
}

TEST(ReportIntervals, WilsonScoreKnownValues) {
    const double z = 1.959963984540054;
    const Interval half = wilson_interval(5, 10, z);
    EXPECT_NEAR(half.low, 0.236593, 1e-6);
    EXPECT_NEAR(half.high, 0.763407, 1e-6);
    const Interval none = wilson_interval(0, 10, z);  // stays inside [0, 1], unlike Wald's
    EXPECT_NEAR(none.low, 0.0, 1e-12);
    EXPECT_NEAR(none.high, 0.277533, 1e-6);
    const Interval all = wilson_interval(10, 10, z);
    EXPECT_NEAR(all.low, 0.722467, 1e-6);
    EXPECT_NEAR(all.high, 1.0, 1e-12);
    EXPECT_TRUE(std::isnan(wilson_interval(0, 0, z).low));
}

TEST(ReportCriticalValue, InvertsTheTestsOwnP) {
    EXPECT_NEAR(critical_u(0.05), 1.6448536, 2e-6);
    EXPECT_NEAR(critical_u(0.025), 1.9599640, 2e-6);
    // At the value found, the program's test gives P = alpha to the last bits.
    const double u = critical_u(0.05);
    double u_back = 0.0;
    double p = 0.0;
    const std::vector<double> one_event = {0.5 + u / std::sqrt(12.0)};
    zorvi::stats::test(0.0, 1.0, 1, one_event, u_back, p);
    EXPECT_NEAR(p, 0.05, 1e-12);
}

TEST(ReportCheck, SameInResultsFieldAsTheFileShowsIt) {
    EXPECT_TRUE(same_in_results_field(1.58325800, 1.5832579991014104));
    EXPECT_TRUE(same_in_results_field(0.05668134, 0.0566813351723043));
    EXPECT_FALSE(same_in_results_field(0.05668134, 0.05668136));
    // A file value with more decimals than the field agrees when it rounds to the same 8.
    EXPECT_TRUE(same_in_results_field(0.056681344, 0.0566813351723043));
    EXPECT_FALSE(same_in_results_field(0.056681346, 0.0566813351723043));
    EXPECT_TRUE(same_in_results_field(-0.0, -0.000000004));  // "-0.00000000"
    EXPECT_TRUE(same_in_results_field(nan, nan));
    EXPECT_FALSE(same_in_results_field(nan, 0.5));
    EXPECT_FALSE(same_in_results_field(0.5, nan));
    // Near and far from rounding ties, small and large: the file shows what the program's
    // renderer writes.
    for (const double value : {0.123456785, -0.123456785, 0.1234567855, -0.1234567855, 0.123456787,
                               0.123456783, 2.000000005, 0.999999995, 1.6448536, -3.1415926535,
                               12345.678901235, 999999.999999995, 5e6 + 1e-9}) {
        const double file = std::stod(zorvi::textio::format_fixed(
            value, zorvi::driver::results_field_width, zorvi::driver::results_field_decimals));
        EXPECT_TRUE(same_in_results_field(file, value)) << value;
        EXPECT_FALSE(same_in_results_field(file + 1e-8, value)) << value;
    }
}

// Four series by hand: one without events, P values around both thresholds.
Results four_results() {
    return {{1.0, 2.0, nan, 3.0}, {0.2, 0.04, nan, 0.07}};
}
Recomputed four_recomputed() {
    Recomputed r;
    r.m = 6;
    r.u = 1.5;
    r.p = 0.066807;
    r.msim = {5, 6, 0, 6};
    r.usim = {1.0, 2.0, nan, 3.0};
    r.psim = {0.2, 0.04, nan, 0.07};
    return r;
}

TEST(ReportSummary, SmallHandMadeSeries) {
    const Summary s = summarise(four_results(), four_recomputed());
    EXPECT_EQ(s.series, 4u);
    EXPECT_EQ(s.without_event, 1u);
    EXPECT_EQ(s.m, 6);
    EXPECT_DOUBLE_EQ(s.u_mean, 2.0);  // over the three numbers
    EXPECT_DOUBLE_EQ(s.u_sd, 1.0);
    EXPECT_DOUBLE_EQ(s.u_q025, 1.05);
    EXPECT_DOUBLE_EQ(s.u_median, 2.0);
    EXPECT_DOUBLE_EQ(s.u_q975, 2.95);
    EXPECT_EQ(s.below_05, 1u);  // of all four series
    EXPECT_EQ(s.below_10, 2u);
    EXPECT_NEAR(s.share_05.low, wilson_interval(1, 4, 1.959964).low, 1e-6);
    EXPECT_EQ(s.m_counts[0], 1u);
    EXPECT_EQ(s.m_counts[5], 1u);
    EXPECT_EQ(s.m_counts[6], 2u);
    EXPECT_EQ(s.mismatches, 0u);
}

TEST(ReportSummary, CountsRecordsThatDifferFromTheRecomputation) {
    Recomputed other = four_recomputed();
    other.usim[1] = 2.00000002;  // differs at the 8th decimal
    other.psim[2] = 0.3;         // a number where the file has NaN
    const Summary s = summarise(four_results(), other);
    EXPECT_EQ(s.mismatches, 2u);
    EXPECT_EQ(s.first_mismatch, 1u);
}

TEST(ReportNumberText, FixedAndNonFinite) {
    using zorvi::detail::fixed_text;
    EXPECT_EQ(fixed_text(1.5832579991, 5), "1.58326");
    EXPECT_EQ(fixed_text(-0.000001, 3), "0.000");  // no lone minus sign
    EXPECT_EQ(fixed_text(nan, 3), "NaN");
    EXPECT_EQ(fixed_text(-std::numeric_limits<double>::infinity(), 3), "-Infinity");
}

TEST(ReportAxis, NiceStepsAndTicks) {
    using namespace zorvi::detail;
    EXPECT_DOUBLE_EQ(nice_step(4.1, 50), 0.1);
    EXPECT_DOUBLE_EQ(nice_step(0.5, 5), 0.1);
    EXPECT_DOUBLE_EQ(nice_step(317, 5), 100.0);
    EXPECT_DOUBLE_EQ(nice_step(11, 5), 2.5);
    EXPECT_EQ(decimals_for_step(0.25), 2);
    EXPECT_EQ(decimals_for_step(0.1), 1);
    EXPECT_EQ(decimals_for_step(50), 0);
    EXPECT_EQ(ticks_between(-1.6, 2.4, 1.0), (std::vector<double>{-1, 0, 1, 2}));
    // Bounds that are multiples themselves are kept despite rounding.
    const std::vector<double> p_ticks = ticks_between(0.0, 0.5, 0.1);
    ASSERT_EQ(p_ticks.size(), 6u);
    EXPECT_FALSE(std::signbit(ticks_between(-0.05, 0.25, 0.1).front()));  // 0, not -0
}

}  // namespace
