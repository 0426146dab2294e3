// Statistics of samples: moments, quantiles, Wilson intervals, shares of series, the test's
// critical value, and samples gathered one value at a time. Pure functions on numbers: no
// files, no output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace zorvi {

inline constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

struct Interval {
    double low = 0.0;
    double high = 0.0;
};

// Arithmetic mean and sample standard deviation (divisor n - 1); NaN when undefined.
double mean_of(std::span<const double> values);
double standard_deviation_of(std::span<const double> values);

// Quantile of sorted values by linear interpolation between order statistics (type 7):
// h = (n - 1) q, then x[floor h] + (h - floor h) (x[floor h + 1] - x[floor h]). NaN when empty.
double quantile_of_sorted(std::span<const double> sorted, double q);

// The same quantiles of values in any order, at ascending `qs`, found by partial sorting;
// reorders `values`.
std::vector<double> quantiles_in_place(std::span<double> values, std::span<const double> qs);

// Wilson score interval for `successes` out of `trials` at the normal quantile `z`.
Interval wilson_interval(std::size_t successes, std::size_t trials, double z);

// The |u| at which the test's one-sided P equals `alpha` (0 < alpha < 0.5), found by bisection
// on the P that the program's own test computes.
double critical_u(double alpha);

inline constexpr double significance_05 = 0.05;
inline constexpr double significance_10 = 0.10;
inline constexpr double interval_tail = 0.025;  // each tail of a 95 % interval

// A count of series out of all, with its Wilson 95 % interval.
struct Share {
    std::size_t count = 0;
    std::size_t of = 0;
    double share = not_a_number;
    Interval interval{not_a_number, not_a_number};
};
Share share_of(std::size_t count, std::size_t of);

struct Quantiles {
    double q025 = not_a_number;
    double median = not_a_number;
    double q975 = not_a_number;
};

// Values gathered one at a time. Exact: every value kept, in the order added. Binned: only a
// histogram of equal bins from `low` on, a value beyond either end counted in the end bin;
// its quantiles spread each bin's values evenly over the bin, so they are off by less than a
// bin's width.
struct ValueSample {
    bool exact = true;
    std::vector<double> values;  // exact
    double low = 0.0;            // binned: bin k holds [low + k width, low + (k + 1) width)
    double width = 1.0;
    double per_width = 1.0;  // 1 / width
    std::vector<std::uint32_t> bins;
    std::size_t count = 0;  // values added
};

ValueSample exact_sample(std::size_t expected);
// Bins of `width` from a multiple of it at or below `low` to one at or above `high`.
ValueSample binned_sample(double low, double high, double width);
// Adds a value that is not NaN; in a binned sample, one beyond either end (an infinity too)
// counts in the end bin.
inline void add_value(ValueSample& sample, double value) {
    ++sample.count;
    if (sample.exact) {
        sample.values.push_back(value);
        return;
    }
    const double place = (value - sample.low) * sample.per_width;
    const auto last = static_cast<double>(sample.bins.size() - 1);
    ++sample.bins[static_cast<std::size_t>(place < 0.0 ? 0.0 : place > last ? last : place)];
}
// Quantiles at ascending `qs`: exact ones (type 7) reorder the values. NaN when empty.
std::vector<double> sample_quantiles(ValueSample& sample, std::span<const double> qs);
// The bins' places: the lower edge of bin k.
double bin_start(const ValueSample& sample, std::size_t k);

// One series selected at the threshold and tested with the program's Cox-Lewis test: the number
// of selected events m, the statistic u (positive: rising rate) and P = 1 - Phi(|u|).
struct TrendTest {
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
};

// The program's Cox-Lewis test of `times` (any order) over [start, end].
TrendTest cox_lewis_test(std::span<const double> times, double start, double end);

}  // namespace zorvi
