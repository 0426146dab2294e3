// The Poisson log-linear fit of binned counts. It depends on the counts only through their
// number n and S = sum x_k y_k: given the slope b, exp(alpha) = n / Z(b) with
// Z(b) = sum exposure_k exp(b x_k), and b solves mean(b) = S / n, where mean(b) is the mean of
// x under the weights exposure_k exp(b x_k). Over the whole bins Z, the mean and the variance
// are sums of geometric series, in closed form; a partial last bin joins them as a second
// component of a mixture. Each Newton step is then a few elementary functions, however many
// bins there are.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "zorvi/clustering/clustering_impl.hpp"
#include "zorvi/statistics/distributions.hpp"

namespace zorvi::detail {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double series_limit = 0.1;  // below it the power series are exact to rounding
constexpr int max_newton_steps = 200;
constexpr double step_tolerance = 1e-9;
// The guide to a first slope: K_w b from -guide_reach to guide_reach in guide_intervals steps.
constexpr double guide_reach = 30.0;
constexpr int guide_intervals = 120;

struct Moments {
    double mean = 0.0;
    double variance = 0.0;
    double log_total = not_a_number;  // ln Z, when asked for
};

// At x: coth(x) - 1/x, its derivative 1/x^2 - 1/sinh(x)^2, and sinh(x)/x as e^scale times
// `sinhc` (so that it never overflows): from one expm1, or from power series near 0.
struct Tilt {
    double mean = 0.0;
    double slope = 0.0;
    double sinhc = 1.0;
    double scale = 0.0;
};

Tilt tilt_at(double x) {
    Tilt tilt;
    const double a = std::fabs(x);
    if (a < series_limit) {
        const double x2 = x * x;
        tilt.mean = mean_position(x);
        tilt.slope = mean_position_slope(x);
        tilt.sinhc = 1.0 + x2 * (1.0 / 6.0 + x2 * (1.0 / 120.0 + x2 * (1.0 / 5040.0)));
        return tilt;
    }
    // e^(-2a) = 1 + em; coth(a) = (2 + em) / -em, sinh(a)^2 = em^2 / (4 (1 + em) ) e^(2a).
    const double em = std::expm1(-2.0 * a);
    const double coth = (2.0 + em) / -em;
    tilt.mean = std::copysign(coth - 1.0 / a, x);
    tilt.slope = 1.0 / (a * a) - 4.0 * (1.0 + em) / (em * em);
    tilt.sinhc = -em / (2.0 * a);
    tilt.scale = a;
    return tilt;
}

// Over K whole bins at x = k - (K - 1) / 2, with y = K b / 2 and x0 = b / 2:
// Z = sinh(y) / sinh(x0) = K sinhc(y) / sinhc(x0), the mean K/2 L(y) - 1/2 L(x0) and its
// derivative K^2/4 L'(y) - 1/4 L'(x0), where L(x) = coth(x) - 1/x: nothing cancels near b = 0.
// A partial last bin joins them as the second component of a mixture.
Moments moments_at(const PoissonLayout& poisson, double b, bool with_log_total) {
    const double whole = poisson.whole;
    const Tilt outer = tilt_at(whole * b / 2.0);
    const Tilt inner = tilt_at(b / 2.0);
    Moments m;
    m.mean = whole / 2.0 * outer.mean - 0.5 * inner.mean;
    m.variance = whole * whole / 4.0 * outer.slope - 0.25 * inner.slope;
    const double whole_sinhc = whole * outer.sinhc / inner.sinhc;  // Z_w over e^scales
    const double scales = outer.scale - inner.scale;
    if (!poisson.partial) {
        if (with_log_total) m.log_total = std::log(whole_sinhc) + scales;
        return m;
    }
    // ratio = Z_w / (exposure e^(b x_L)), from which the last bin's share p of Z follows.
    const double ratio =
        whole_sinhc / poisson.last_exposure * std::exp(scales - b * poisson.last_place);
    const double p = 1.0 / (1.0 + ratio);
    const double q = 1.0 / (1.0 + 1.0 / ratio);
    const double apart = poisson.last_place - m.mean;
    m.variance = q * m.variance + p * q * apart * apart;
    m.mean = q * m.mean + p * poisson.last_place;
    // Z = Z_w (1 + 1 / ratio) = last (1 + ratio), from whichever part is larger.
    if (with_log_total) {
        const double log_last = poisson.last_log_exposure + b * poisson.last_place;
        m.log_total = ratio >= 1.0 ? std::log(whole_sinhc) + scales + std::log1p(1.0 / ratio)
                                   : log_last + std::log1p(ratio);
    }
    return m;
}

// The slope whose mean lies near `target`: cubic Hermite interpolation of b against the mean
// between the guide's nodes (db / dmean = 1 / variance), or the guide's end beyond them.
double slope_near(const PoissonLayout& poisson, double target) {
    const std::vector<double>& means = poisson.guide_means;
    const auto node = [&](std::size_t j) {
        return poisson.guide_first + static_cast<double>(j) * poisson.guide_step;
    };
    const auto above = std::lower_bound(means.begin(), means.end(), target);
    if (above == means.begin()) return node(0);
    if (above == means.end()) return node(means.size() - 1);
    const auto j = static_cast<std::size_t>(above - means.begin()) - 1;
    const double h = means[j + 1] - means[j];
    const double s = (target - means[j]) / h;
    const double s2 = s * s;
    const double s3 = s2 * s;
    return (2.0 * s3 - 3.0 * s2 + 1.0) * node(j) +
           (s3 - 2.0 * s2 + s) * h / poisson.guide_variances[j] +
           (3.0 * s2 - 2.0 * s3) * node(j + 1) + (s3 - s2) * h / poisson.guide_variances[j + 1];
}

}  // namespace

const char* const no_maximum_reason =
    "the Poisson fit has no finite maximum: every event lies in the first or in the last bin";

std::string unavailable_reason(std::size_t bins, std::size_t events) {
    if (bins < min_bins_for_check)
        return "fewer than " + std::to_string(min_bins_for_check) + " bins";
    if (events == 0) return "no selected event";
    return {};
}

PoissonLayout poisson_layout(const BinLayout& layout) {
    assert(layout.whole_bins > 0);
    PoissonLayout poisson;
    poisson.whole = static_cast<double>(layout.whole_bins);
    poisson.half_span = (poisson.whole - 1.0) / 2.0;
    poisson.partial = layout.whole_bins < layout.bins;
    poisson.last_place = (poisson.whole + layout.last_exposure) / 2.0;
    poisson.last_exposure = layout.last_exposure;
    poisson.last_log_exposure = std::log(layout.last_exposure);
    // The guide: the mean at evenly spaced K_w b over the range where it is not yet saturated.
    poisson.guide_step = 2.0 * guide_reach / guide_intervals / poisson.whole;
    poisson.guide_first = -guide_reach / poisson.whole;
    for (int j = 0; j <= guide_intervals; ++j) {
        const Moments m = moments_at(poisson, poisson.guide_first + j * poisson.guide_step, false);
        poisson.guide_means.push_back(m.mean);
        poisson.guide_variances.push_back(m.variance);
    }
    return poisson;
}

double bin_place(const PoissonLayout& poisson, std::size_t k) {
    const auto index = static_cast<double>(k);
    return index < poisson.whole ? index - poisson.half_span : poisson.last_place;
}

PoissonFit fit_poisson(const PoissonLayout& poisson, double events, double place_sum,
                       bool at_first_end, bool at_last_end) {
    PoissonFit fit;
    if (at_first_end || at_last_end || !(events > 0.0)) return fit;
    const double target = place_sum / events;
    // Safeguarded Newton from the guide's slope: the mean grows with b, so the root stays
    // bracketed by [low, high].
    double low = -infinity;
    double high = infinity;
    double b = slope_near(poisson, target);
    for (int step = 0;; ++step) {
        if (step == max_newton_steps) return fit;
        const Moments m = moments_at(poisson, b, false);
        const double gap = m.mean - target;
        if (gap == 0.0) break;
        (gap < 0.0 ? low : high) = b;
        double next = b - gap / m.variance;
        if (!(next > low && next < high)) {  // outside the bracket, or not a number
            const double reach = std::fmax(1.0, std::fabs(b));
            next = std::isfinite(low) && std::isfinite(high) ? low + (high - low) / 2.0
                   : gap < 0.0                               ? b + reach
                                                             : b - reach;
        }
        // Quadratic convergence: after a step this small, measured in the slope's natural
        // scale 1 / sqrt(variance), what is left lies below rounding.
        const bool done = std::fabs(next - b) * std::sqrt(m.variance) <= step_tolerance;
        b = next;
        if (done) break;
    }
    const Moments last = moments_at(poisson, b, true);
    if (!(std::isfinite(last.log_total) && last.variance > 0.0)) return fit;
    return {true, b, last.log_total, last.variance};
}

double fitted_mean(const PoissonLayout& poisson, const PoissonFit& fit, double events,
                   std::size_t k) {
    const bool last = poisson.partial && static_cast<double>(k) >= poisson.whole;
    const double log_exposure = last ? poisson.last_log_exposure : 0.0;
    return events * std::exp(log_exposure + fit.b * bin_place(poisson, k) - fit.log_total);
}

}  // namespace zorvi::detail
