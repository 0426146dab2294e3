// The size of the trend: the log-linear rate lambda0 exp(beta t) fitted by maximum likelihood
// to the selected times, conditional on their number, with its profile-likelihood interval.
//
// With s = t - (a + b) / 2, h = (b - a) / 2 and x = beta h, the times are independent with
// density proportional to exp(beta s) on [-h, h]. The log-likelihood per event is
// x r - ln(sinh(x) / x) + constant, where r = mean(s) / h; its maximum solves
// coth(x) - 1/x = r.
#include <cmath>
#include <limits>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/statistics/trend.hpp"

namespace zorvi::detail {
namespace {

constexpr double series_limit = 0.1;  // below it the power series are exact to rounding

}  // namespace

// coth(x) - 1/x: the mean of s / h when the rate grows as exp(x s / h).
double mean_position(double x) {
    if (std::fabs(x) < series_limit) {
        const double x2 = x * x;
        return x * (1.0 / 3.0 - x2 * (1.0 / 45.0 - x2 * (2.0 / 945.0 - x2 / 4725.0)));
    }
    return 1.0 / std::tanh(x) - 1.0 / x;
}

// The derivative of coth(x) - 1/x: 1/x^2 - 1/sinh(x)^2.
double mean_position_slope(double x) {
    if (std::fabs(x) < series_limit) {
        const double x2 = x * x;
        return 1.0 / 3.0 - x2 * (1.0 / 15.0 - x2 * (2.0 / 189.0 - x2 / 675.0));
    }
    const double sinh = std::sinh(x);
    return 1.0 / (x * x) - 1.0 / (sinh * sinh);
}

// ln(sinh(x) / x), without overflow for large |x|.
double log_sinhc(double x) {
    const double ax = std::fabs(x);
    if (ax < series_limit) {
        const double x2 = x * x;
        return x2 * (1.0 / 6.0 - x2 * (1.0 / 180.0 - x2 * (1.0 / 2835.0 - x2 / 37800.0)));
    }
    return ax + std::log1p(-std::exp(-2.0 * ax)) - std::log(2.0 * ax);
}

}  // namespace zorvi::detail

namespace zorvi {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr int max_doublings = 200;  // of the step that brackets an interval's end
constexpr double years_per_decade = 10.0;

using detail::log_sinhc;
using detail::mean_position;
using detail::mean_position_slope;

// The log-likelihood per event at x, up to a constant.
double log_likelihood(double x, double r) {
    return x * r - log_sinhc(x);
}

}  // namespace

double relative_mean_position(std::span<const double> times, double start, double end) {
    if (times.empty()) return not_a_number;
    double sum = 0.0;
    for (double t : times)
        sum += t - start;
    const double half = (end - start) / 2.0;
    return sum / static_cast<double>(times.size()) / half - 1.0;
}

namespace {

// The x that solves coth(x) - 1/x = r; infinite when every time lies at or beyond one end.
double fit_x(double r) {
    if (std::isnan(r)) return not_a_number;
    if (r >= 1.0) return infinity;
    if (r <= -1.0) return -infinity;
    if (r == 0.0) return 0.0;
    const double target = std::fabs(r);
    // coth(x) > 1, so mean_position(x) > 1 - 1/x: at x = 1 / (1 - |r|) it is above |r|.
    // Newton's method starts from a close approximation of the inverse, r (3 - r^2) / (1 - r^2).
    const double high = 1.0 / (1.0 - target);
    const double guess =
        std::fmin(high, target * (3.0 - target * target) / (1.0 - target * target));
    const double x = detail::newton_root(
        [&](double y) { return std::pair(mean_position(y) - target, mean_position_slope(y)); },
        guess, 0.0, high);
    return r < 0.0 ? -x : x;
}

// The end of the profile interval on the side `direction` (+1 or -1) of the maximum at x_hat:
// where the log-likelihood of m events lies `drop` below its maximum.
double interval_end(double x_hat, double r, double m, double drop, double direction) {
    const double top = log_likelihood(x_hat, r);
    // Below zero inside the interval, above it outside.
    const auto excess = [&](double x) { return m * (top - log_likelihood(x, r)) - drop; };
    double step = std::fmax(1.0, std::fabs(x_hat));
    double outside = x_hat + direction * step;
    for (int k = 0; excess(outside) < 0.0; ++k) {
        if (k == max_doublings) return direction * infinity;
        step *= 2.0;
        outside = x_hat + direction * step;
    }
    if (direction > 0.0) return detail::root_between(excess, x_hat, outside);
    return detail::root_between([&](double x) { return -excess(x); }, outside, x_hat);
}

}  // namespace

double fit_beta(std::span<const double> times, double start, double end) {
    return beta_of_position(relative_mean_position(times, start, end), start, end);
}

double beta_of_position(double r, double start, double end) {
    return fit_x(r) / ((end - start) / 2.0);
}

TrendFit fit_trend(std::span<const double> times, double start, double end, double level) {
    const double half = (end - start) / 2.0;
    const double r = relative_mean_position(times, start, end);
    const double x_hat = fit_x(r);
    TrendFit fit;
    fit.beta = x_hat / half;
    if (!std::isfinite(x_hat)) return fit;  // no event, or no maximum: no interval either

    const double drop = detail::chi_squared_quantile(level, 1.0) / 2.0;
    const auto m = static_cast<double>(times.size());
    fit.beta_95 = {interval_end(x_hat, r, m, drop, -1.0) / half,
                   interval_end(x_hat, r, m, drop, 1.0) / half};
    return fit;
}

double rate_ratio_per_decade(double beta) {
    return std::exp(years_per_decade * beta);
}

}  // namespace zorvi
