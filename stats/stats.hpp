// Trend test statistics: the Cox-Lewis test and the complementary error function it uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zorvi::stats {

// Complementary error function by a fixed degree-9 approximation in t = 1 / (1 + |x| / 2);
// relative error below 1.2e-7. A negative argument (not -0, not NaN) is reflected: 2 - erfc(|x|).
double erfcc_s(double x);

// erfcc_s of every element, computed array by array with one polynomial evaluation for the
// whole array. Elements are x[0], x[stride], x[2 * stride], ... (stride >= 1), so a column
// or row of a larger array can be passed without copying.
std::vector<double> erfcc_v(std::span<const double> x, std::size_t stride = 1);

// Cox-Lewis test for a trend in the rate of events observed over [a, b]: u is the standardised
// deviation of the mean event time from the interval midpoint (positive: rising rate), p its
// one-sided P-value 1 - Phi(|u|). Reads times[0 .. m-1]; m <= 0 gives NaN for u and p.
void test(double a, double b, std::int32_t m, std::span<const double> times, double& u, double& p);

// The same test from the sum of the m times, added in order from 0.0 as test() adds them.
void test_of_sum(double a, double b, std::int32_t m, double s, double& u, double& p);

// The statistic u alone, as test_of_sum() computes it.
double statistic_of_sum(double a, double b, std::int32_t m, double s);

// The test's one-sided P-value of a statistic u: 1 - Phi(|u|), as test() computes it.
double one_sided_p(double u);

}  // namespace zorvi::stats
