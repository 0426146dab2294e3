// The power of the one-sided Cox-Lewis test against a log-linear rate, exactly, and the trend
// it detects with a given probability.
//
// Given m, the times scaled to v = (t - a) / (b - a) are independent on [0, 1] with density
// theta exp(theta v) / (exp(theta) - 1), theta = beta (b - a), and the test finds a rising
// trend when their sum V exceeds m/2 + c sqrt(m / 12). The density of V is the cardinal
// B-spline of order m (the sum of m uniforms) tilted by exp(theta V): a polynomial of degree
// m - 1 times exp(theta V) on each unit piece. Its B-spline recurrence, tilted, adds positive
// terms only, so it stays accurate however many events; one pass of it at offset r gives the
// density at r, r + 1, ..., r + m - 1 at once, in O(m^2) steps (m = 500: the detectable trend
// in 0.4 s).
// Only for many events at tilts far beyond any trend a test could miss (m theta in the tens
// of thousands, power 1 to many digits) do the recurrence's intermediate values underflow and
// the power lose digits; the detectable trend always lies well inside the exact region.
#include <algorithm>
#include <boost/math/quadrature/gauss.hpp>
#include <cmath>
#include <vector>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/statistics/trend.hpp"

namespace zorvi {
namespace {

using Gauss = boost::math::quadrature::gauss<double, 30>;
// One part of a unit piece per this much tilt, so that 30 points integrate exp(theta V) times
// the piece's polynomial to rounding: a piece of a B-spline of high order is smooth on the
// scale of one unit, and one of low order is a polynomial of degree below 60.
constexpr double tilt_per_part = 40.0;
constexpr int max_widenings = 60;  // of the bracket of the detectable trend

struct Node {
    double offset;  // in [0, 1]
    double weight;
};

// Gauss-Legendre nodes of [low, high] (within [0, 1]) cut into `parts` equal parts.
std::vector<Node> nodes_between(double low, double high, int parts) {
    std::vector<Node> nodes;
    const double width = (high - low) / parts;
    const auto& abscissae = Gauss::abscissa();
    const auto& weights = Gauss::weights();
    for (int part = 0; part < parts; ++part) {
        const double centre = low + (part + 0.5) * width;
        for (std::size_t i = 0; i < abscissae.size(); ++i) {
            const double reach = abscissae[i] * width / 2.0;
            const double weight = weights[i] * width / 2.0;
            nodes.push_back({centre - reach, weight});
            if (abscissae[i] != 0.0) nodes.push_back({centre + reach, weight});
        }
    }
    return nodes;
}

// density[j] = the density of V at offset + j, j = 0 .. m - 1, for the tilt theta >= 0.
void tilted_density(double offset, double theta, std::size_t m, std::vector<double>& density) {
    // Normalised per event: the tilted uniform's density is exp(theta (v - 1)) / scale.
    const double scale = theta == 0.0 ? 1.0 : -std::expm1(-theta) / theta;
    const double shrink = std::exp(-theta);
    density.assign(m, 0.0);
    density[0] = std::exp(theta * (offset - 1.0)) / scale;
    for (std::size_t n = 2; n <= m; ++n) {
        // From order n - 1 to n, top down so that density[j - 1] is still of order n - 1.
        const double divisor = static_cast<double>(n - 1) * scale;
        for (std::size_t j = n - 1; j > 0; --j) {
            const double y = offset + static_cast<double>(j);
            density[j] =
                (y * shrink * density[j] + (static_cast<double>(n) - y) * density[j - 1]) / divisor;
        }
        density[0] = offset * shrink * density[0] / divisor;
    }
}

// P(V > limit) for the tilt theta >= 0 and 0 < limit < m.
double upper_tail(double limit, double theta, std::size_t m) {
    const int parts = 1 + static_cast<int>(theta / tilt_per_part);
    const double first_piece = std::floor(limit);
    const auto k = static_cast<std::size_t>(first_piece);
    std::vector<double> density;
    double tail = 0.0;
    // The piece that holds the limit, from the limit on.
    for (const Node& node : nodes_between(limit - first_piece, 1.0, parts)) {
        tilted_density(node.offset, theta, m, density);
        tail += node.weight * density[k];
    }
    // Every piece above it, all at the same offsets.
    if (k + 1 < m) {
        for (const Node& node : nodes_between(0.0, 1.0, parts)) {
            tilted_density(node.offset, theta, m, density);
            double sum = 0.0;
            for (std::size_t j = k + 1; j < m; ++j)
                sum += density[j];
            tail += node.weight * sum;
        }
    }
    return tail;
}

// The mean and the variance of one tilted uniform: mu = 1 / (1 - exp(-theta)) - 1 / theta,
// sigma^2 = 1 / theta^2 - 1 / (4 sinh(theta / 2)^2); by their series near theta = 0, where the
// closed forms cancel.
constexpr double tilted_series_limit = 0.1;

double tilted_mean(double theta) {
    if (std::fabs(theta) < tilted_series_limit) {
        const double t2 = theta * theta;
        return 0.5 +
               theta * (1.0 / 12.0 - t2 * (1.0 / 720.0 - t2 * (1.0 / 30240.0 - t2 / 1209600.0)));
    }
    return -1.0 / std::expm1(-theta) - 1.0 / theta;
}

double tilted_variance(double theta) {
    if (std::fabs(theta) < tilted_series_limit) {
        const double t2 = theta * theta;
        return 1.0 / 12.0 - t2 * (1.0 / 240.0 - t2 * (1.0 / 6048.0 - t2 / 172800.0));
    }
    const double sinh = std::sinh(theta / 2.0);
    return 1.0 / (theta * theta) - 1.0 / (4.0 * sinh * sinh);
}

}  // namespace

bool exact_power(std::int32_t m) {
    return m <= max_exact_power_events;
}

double approximate_rising_trend_power(double beta, std::int32_t m, double length, double critical) {
    if (m <= 0 || std::isnan(beta)) return not_a_number;
    const double events = static_cast<double>(m);
    const double limit = events / 2.0 + critical * std::sqrt(events / 12.0);
    const double theta = beta * length;
    const double spread = std::sqrt(events * tilted_variance(theta));
    return detail::normal_upper_tail((limit - events * tilted_mean(theta)) / spread);
}

double rising_trend_power(double beta, std::int32_t m, double length, double critical) {
    if (m <= 0 || std::isnan(beta)) return not_a_number;
    if (!exact_power(m)) return approximate_rising_trend_power(beta, m, length, critical);
    const auto count = static_cast<std::size_t>(m);
    const double events = static_cast<double>(m);
    const double limit = events / 2.0 + critical * std::sqrt(events / 12.0);
    if (limit >= events) return 0.0;
    if (limit <= 0.0) return 1.0;
    const double theta = beta * length;
    // A falling rate: m - V has the tilt -theta.
    const double power = theta >= 0.0 ? upper_tail(limit, theta, count)
                                      : 1.0 - upper_tail(events - limit, -theta, count);
    return std::clamp(power, 0.0, 1.0);  // the quadrature's rounding, a few units in the last place
}

double detectable_beta(std::int32_t m, double length, double critical, double power) {
    if (m <= 0) return not_a_number;
    const auto shortfall = [&](double theta) {
        return rising_trend_power(theta / length, m, length, critical) - power;
    };
    // For small theta, u is about normal with mean theta sqrt(m / 12): the first guess.
    const double guess = std::fmax(critical + detail::normal_quantile(power), 1.0) /
                         std::sqrt(static_cast<double>(m) / 12.0);
    double low = guess / 2.0;
    double high = guess;
    for (int k = 0; shortfall(high) < 0.0; ++k) {
        if (k == max_widenings) return not_a_number;
        low = high;
        high *= 2.0;
    }
    for (int k = 0; shortfall(low) > 0.0; ++k) {
        if (k == max_widenings) return 0.0;  // even a constant rate is detected that often
        high = low;
        low /= 2.0;
    }
    return detail::root_between(shortfall, low, high) / length;
}

}  // namespace zorvi
