// The normal and chi-square distributions and the root finder, from Boost.Math, with domain
// errors returned as NaN rather than thrown.
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/tools/roots.hpp>
#include <boost/math/tools/toms748_solve.hpp>
#include <cmath>
#include <cstdint>
#include <limits>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/statistics/trend.hpp"

namespace zorvi::detail {
namespace {

namespace bm = boost::math;
// Double precision throughout (no long double intermediates): the figures are doubles.
using Quiet = bm::policies::policy<bm::policies::domain_error<bm::policies::ignore_error>,
                                   bm::policies::overflow_error<bm::policies::ignore_error>,
                                   bm::policies::evaluation_error<bm::policies::ignore_error>,
                                   bm::policies::promote_double<false>>;
using Normal = bm::normal_distribution<double, Quiet>;
using ChiSquared = bm::chi_squared_distribution<double, Quiet>;
using StudentT = bm::students_t_distribution<double, Quiet>;

constexpr std::uintmax_t root_iterations = 200;

}  // namespace

double normal_cdf(double z) {
    if (std::isnan(z)) return not_a_number;
    return bm::cdf(Normal(), z);
}

double normal_upper_tail(double z) {
    if (std::isnan(z)) return not_a_number;
    return bm::cdf(bm::complement(Normal(), z));
}

double normal_quantile(double q) {
    if (!(q > 0.0 && q < 1.0)) return not_a_number;
    return bm::quantile(Normal(), q);
}

double chi_squared_cdf(double x, double freedom) {
    if (std::isnan(x) || !(freedom > 0.0)) return not_a_number;
    if (x <= 0.0) return 0.0;
    if (std::isinf(x)) return 1.0;
    return bm::cdf(ChiSquared(freedom), x);
}

double chi_squared_quantile(double q, double freedom) {
    if (!(q >= 0.0 && q <= 1.0) || !(freedom > 0.0)) return not_a_number;
    return bm::quantile(ChiSquared(freedom), q);
}

double chi_squared_upper_tail(double x, double freedom) {
    if (std::isnan(x) || !(freedom > 0.0)) return not_a_number;
    if (x <= 0.0) return 1.0;
    if (std::isinf(x)) return 0.0;
    return bm::cdf(bm::complement(ChiSquared(freedom), x));
}

double student_t_upper_tail(double t, double freedom) {
    if (std::isnan(t) || !(freedom > 0.0)) return not_a_number;
    if (std::isinf(t)) return t > 0.0 ? 0.0 : 1.0;
    return bm::cdf(bm::complement(StudentT(freedom), t));
}

double student_t_quantile(double q, double freedom) {
    if (!(q > 0.0 && q < 1.0) || !(freedom > 0.0)) return not_a_number;
    return bm::quantile(StudentT(freedom), q);
}

double root_between(const std::function<double(double)>& f, double low, double high) {
    const double f_low = f(low);
    const double f_high = f(high);
    if (f_low == 0.0) return low;
    if (f_high == 0.0) return high;
    std::uintmax_t iterations = root_iterations;
    const auto bracket = bm::tools::toms748_solve(
        f, low, high, f_low, f_high, bm::tools::eps_tolerance<double>(), iterations, Quiet());
    return bracket.first + (bracket.second - bracket.first) / 2.0;
}

double newton_root(const std::function<std::pair<double, double>(double)>& f, double guess,
                   double low, double high) {
    std::uintmax_t iterations = root_iterations;
    return bm::tools::newton_raphson_iterate(f, guess, low, high,
                                             std::numeric_limits<double>::digits - 2, iterations);
}

}  // namespace zorvi::detail
