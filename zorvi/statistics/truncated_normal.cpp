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

double truncated_normal_point(double a, double z) {
    if (std::isnan(a) || std::isnan(z)) return not_a_number;
    if (a == -std::numeric_limits<double>::infinity()) return z;
    if (a < 0.0) {
        // Phi(a) + (1 - Phi(a)) Phi(z) adds two accurate parts; used while it is the smaller
        // tail.
        const double lower = normal_cdf(a) + normal_upper_tail(a) * normal_cdf(z);
        if (lower <= 0.0) return a;
        if (lower < 0.5) return normal_quantile(lower);
    }
    const double upper = normal_upper_tail(a) * normal_upper_tail(z);
    if (upper >= smallest_inverted) return -normal_quantile(upper);
    if (z == -std::numeric_limits<double>::infinity()) return a;
    const double y = inverse_log_upper_tail(log_upper_tail(a) + log_upper_tail(z));
    return y < a ? a : y;
}

double truncated_upper_tail(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return not_a_number;
    if (b <= a) return 1.0;
    const double below = normal_upper_tail(a);
    if (below >= smallest_inverted) return normal_upper_tail(b) / below;
    return std::exp(log_upper_tail(b) - log_upper_tail(a));
}

}  // namespace zorvi::detail
