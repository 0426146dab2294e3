// The Poisson log-linear fit of binned counts. It depends on the counts only through their
// number n and S = sum x_k y_k: given the slope b, exp(alpha) = n / Z(b) with
// Z(b) = sum exposure_k exp(b x_k), and b solves mean(b) = S / n, where mean(b) is the mean of
// x under the weights exposure_k exp(b x_k). Over the whole bins Z, the mean and the variance
// are sums of geometric series, in closed form; a partial last bin joins them as a second
// component of a mixture. Each Newton step is then a few elementary functions, however many
// bins there are.
#include <cassert>
#include <cmath>
#include <limits>

#include "zorvi/clustering/clustering_impl.hpp"
#include "zorvi/statistics/distributions.hpp"

namespace zorvi::detail {
namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr int max_newton_steps = 200;
// A step this small (relative to 1 + |b|) ends the iteration: the next would be below rounding.
constexpr double step_tolerance = 1e-12;

struct Moments {
    double log_total = 0.0;
    double mean = 0.0;
    double variance = 0.0;
};

// Over K whole bins at x = k - (K - 1) / 2: Z = sinh(K b / 2) / sinh(b / 2), the mean
// (K / 2) coth(K b / 2) - (1 / 2) coth(b / 2) and its derivative, written through
// coth(x) - 1/x so that nothing cancels near b = 0.
Moments whole_bin_moments(double whole, double b) {
    const double outer = whole * b / 2.0;
    const double inner = b / 2.0;
    Moments m;
    m.log_total = std::log(whole) + log_sinhc(outer) - log_sinhc(inner);
    m.mean = whole / 2.0 * mean_position(outer) - 0.5 * mean_position(inner);
    m.variance =
        whole * whole / 4.0 * mean_position_slope(outer) - 0.25 * mean_position_slope(inner);
    return m;
}

// The whole bins and, when partial, the last bin as a mixture of two components.
Moments moments_at(const PoissonLayout& poisson, double b) {
    const Moments whole = whole_bin_moments(poisson.whole, b);
    if (!poisson.partial) return whole;
    const double log_last = poisson.last_log_exposure + b * poisson.last_place;
    const double d = log_last - whole.log_total;
    const double p = 1.0 / (1.0 + std::exp(-d));  // the last bin's share of Z
    const double q = 1.0 / (1.0 + std::exp(d));
    const double apart = poisson.last_place - whole.mean;
    Moments m;
    m.log_total = std::fmax(log_last, whole.log_total) + std::log1p(std::exp(-std::fabs(d)));
    m.mean = q * whole.mean + p * poisson.last_place;
    m.variance = q * whole.variance + p * q * apart * apart;
    return m;
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
    poisson.last_log_exposure = std::log(layout.last_exposure);
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
    // Safeguarded Newton: the mean grows with b, so the root stays bracketed by [low, high].
    double low = -infinity;
    double high = infinity;
    double b = 0.0;
    for (int step = 0; step < max_newton_steps; ++step) {
        const Moments m = moments_at(poisson, b);
        const double gap = m.mean - target;
        if (gap == 0.0) {
            fit = {true, b, m.log_total, m.variance};
            return fit;
        }
        (gap < 0.0 ? low : high) = b;
        double next = b - gap / m.variance;
        if (!(next > low && next < high)) {  // outside the bracket, or not a number
            if (std::isfinite(low) && std::isfinite(high)) {
                next = low + (high - low) / 2.0;
            } else {
                next =
                    gap < 0.0 ? b + std::fmax(1.0, std::fabs(b)) : b - std::fmax(1.0, std::fabs(b));
            }
        }
        const bool done = std::fabs(next - b) <= step_tolerance * (1.0 + std::fabs(b));
        b = next;
        if (done) {
            const Moments last = moments_at(poisson, b);
            if (!(std::isfinite(last.log_total) && last.variance > 0.0)) return fit;
            fit = {true, b, last.log_total, last.variance};
            return fit;
        }
    }
    return fit;
}

double fitted_mean(const PoissonLayout& poisson, const PoissonFit& fit, double events,
                   std::size_t k) {
    const bool last = poisson.partial && static_cast<double>(k) >= poisson.whole;
    const double log_exposure = last ? poisson.last_log_exposure : 0.0;
    return events * std::exp(log_exposure + fit.b * bin_place(poisson, k) - fit.log_total);
}

}  // namespace zorvi::detail
