// The Cox-Lewis test for a trend in the rate of occurrence of events.
#include <cassert>
#include <cmath>

#include "stats/stats.hpp"

namespace zorvi::stats {

namespace {
constexpr double sqrt2 = 1.4142135623730951;  // the double nearest to sqrt(2)
}  // namespace

void test(double a, double b, std::int32_t m, std::span<const double> times, double& u, double& p) {
    assert(m <= 0 || static_cast<std::size_t>(m) <= times.size());
    double s = 0.0;
    for (std::int32_t k = 0; k < m; ++k)
        s += times[static_cast<std::size_t>(k)];
    test_of_sum(a, b, m, s, u, p);
}

void test_of_sum(double a, double b, std::int32_t m, double s, double& u, double& p) {
    u = statistic_of_sum(a, b, m, s);
    p = one_sided_p(u);
}

double statistic_of_sum(double a, double b, std::int32_t m, double s) {
    const double d = b - a;
    const double count = static_cast<double>(m);
    const double r = std::sqrt(12.0 * count);
    const double mean = s / count;
    // The start is taken off the mean before half the interval; the midpoint is never formed.
    const double c = (mean - a) - 0.5 * d;
    return (r * c) / d;
}

double one_sided_p(double u) {
    return 0.5 * erfcc_s(std::fabs(u) / sqrt2);
}

}  // namespace zorvi::stats
