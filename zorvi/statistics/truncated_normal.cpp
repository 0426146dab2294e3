// The truncated standard normal: each probability is taken from whichever tail keeps it
// accurate, and the far upper tail (beyond what a double holds) is worked in logarithms with
// the continued fraction of Mills' ratio.
#include "zorvi/statistics/truncated_normal.hpp"

#include <cmath>
#include <limits>
#include <numbers>

#include "zorvi/statistics/distributions.hpp"

namespace zorvi::detail {
namespace {

// Beyond this the upper tail is taken from Mills' ratio: 1 - Phi(30) is about 5e-198, well
// inside a double, and the continued fraction has converged to the last bit.
constexpr double far_tail = 30.0;
// Upper-tail probabilities below this are inverted in logarithms.
constexpr double smallest_inverted = 1e-290;
constexpr int mills_terms = 60;
constexpr int newton_steps = 60;

// Mills' ratio (1 - Phi(x)) / phi(x) for x >= far_tail, by its continued fraction
// 1 / (x + 1 / (x + 2 / (x + 3 / (x + ...)))).
double mills_ratio(double x) {
    double tail = x;
    for (int k = mills_terms; k >= 1; --k)
        tail = x + static_cast<double>(k) / tail;
    return 1.0 / tail;
}

// (1 - Phi(x)) / phi(x) for any finite x >= 0.
double mills_ratio_anywhere(double x) {
    if (x >= far_tail) return mills_ratio(x);
    const double density = std::exp(-0.5 * x * x) / std::sqrt(2.0 * std::numbers::pi);
    return normal_upper_tail(x) / density;
}

// The y with ln(1 - Phi(y)) = target, for a target far below ln(smallest_inverted): Newton's
// method on the concave ln(1 - Phi), whose slope is -1 / Mills' ratio; from the first step on
// it approaches the root from above.
double inverse_log_upper_tail(double target) {
    double y = std::sqrt(-2.0 * target);  // above the root: ln(1 - Phi(y)) < -y^2 / 2
    for (int step = 0; step < newton_steps; ++step) {
        const double change = (log_upper_tail(y) - target) * mills_ratio_anywhere(y);
        y += change;
        if (std::fabs(change) <= 4.0 * std::numeric_limits<double>::epsilon() * y) break;
    }
    return y;
}

}  // namespace

double log_upper_tail(double x) {
    if (std::isnan(x)) return x;
    if (x < far_tail) return std::log(normal_upper_tail(x));
    if (std::isinf(x)) return -std::numeric_limits<double>::infinity();
    return -0.5 * x * x - 0.5 * std::log(2.0 * std::numbers::pi) + std::log(mills_ratio(x));
}

TruncatedNormal truncated_normal(double low) {
    return {low, normal_cdf(low), normal_upper_tail(low), log_upper_tail(low)};
}

double truncated_normal_point(const TruncatedNormal& truncated, double z) {
    const double a = truncated.low;
    if (std::isnan(a) || std::isnan(z)) return not_a_number;
    if (a == -std::numeric_limits<double>::infinity()) return z;
    if (a == std::numeric_limits<double>::infinity() ||
        z == std::numeric_limits<double>::infinity())
        return std::numeric_limits<double>::infinity();
    // Phi(z) and 1 - Phi(z), the smaller one computed and the other taken from it.
    const double small = normal_upper_tail(std::fabs(z));
    const double below_z = z < 0.0 ? small : 1.0 - small;
    const double above_z = z < 0.0 ? 1.0 - small : small;
    if (a < 0.0) {
        // Phi(a) + (1 - Phi(a)) Phi(z) adds two accurate parts; used while it is the smaller
        // tail.
        const double lower = truncated.below + truncated.above * below_z;
        if (lower <= 0.0) return a;
        if (lower < 0.5) return normal_quantile(lower);
    }
    const double upper = truncated.above * above_z;
    if (upper >= smallest_inverted) return -normal_quantile(upper);
    if (z == -std::numeric_limits<double>::infinity()) return a;
    const double y = inverse_log_upper_tail(truncated.log_above + log_upper_tail(z));
    return y < a ? a : y;
}

double truncated_normal_point(double a, double z) {
    return truncated_normal_point(truncated_normal(a), z);
}

double truncated_normal_deviate(const TruncatedNormal& truncated, double y) {
    const double a = truncated.low;
    if (std::isnan(a) || std::isnan(y)) return not_a_number;
    if (y <= a) return -std::numeric_limits<double>::infinity();
    if (y == std::numeric_limits<double>::infinity()) return y;
    const double upper = truncated_upper_tail(a, y);  // 1 - Phi(z)
    if (upper >= 0.5) {
        // Phi(z) = (Phi(y) - Phi(a)) / (1 - Phi(a)), below one half: from the lower tails
        // while Phi(a) is the smaller one.
        const double below =
            a < 0.0 ? (normal_cdf(y) - truncated.below) / truncated.above : 1.0 - upper;
        return below > 0.0 ? normal_quantile(below) : -std::numeric_limits<double>::infinity();
    }
    if (upper >= smallest_inverted) return -normal_quantile(upper);
    return inverse_log_upper_tail(log_upper_tail(y) - truncated.log_above);
}

double truncated_upper_tail(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return not_a_number;
    if (b <= a) return 1.0;
    const double below = normal_upper_tail(a);
    if (below >= smallest_inverted) return normal_upper_tail(b) / below;
    return std::exp(log_upper_tail(b) - log_upper_tail(a));
}

}  // namespace zorvi::detail
