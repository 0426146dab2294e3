// The dispersion of binned counts around the Poisson log-linear trend, and the quasi-Poisson
// trend test that scales the Poisson fit's standard error by it: for one series in full, and
// for many series as decisions at 0.05.
#include <algorithm>
#include <boost/math/special_functions/gamma.hpp>
#include <cmath>

#include "zorvi/clustering/clustering_impl.hpp"
#include "zorvi/statistics/distributions.hpp"

namespace zorvi {
namespace {

// sum x_k y_k: the whole bins' places are whole or half numbers, their sum exact in any
// order; the partial last bin's added once at the end.
double place_sum_of(const detail::PoissonLayout& poisson, std::span<const std::size_t> bins,
                    std::span<const std::uint32_t> counts) {
    double whole = 0.0;
    double last = 0.0;
    for (std::size_t k : bins) {
        const double y = counts[k];
        if (static_cast<double>(k) < poisson.whole) {
            whole += y * detail::bin_place(poisson, k);
        } else {
            last = y * poisson.last_place;
        }
    }
    return whole + last;
}

// Pearson's chi-square at the fit: sum y^2 / mu over the bins with events (ascending), less n.
double pearson_chi2_of(const detail::PoissonLayout& poisson, const detail::PoissonFit& fit,
                       double events, std::span<const std::size_t> bins,
                       std::span<const std::uint32_t> counts) {
    double sum = 0.0;
    for (std::size_t k : bins) {
        const double y = counts[k];
        sum += y * y / detail::fitted_mean(poisson, fit, events, k);
    }
    return sum - events;
}

// The quasi-Poisson standard error of beta, SE sqrt(phi), and t = beta over it: one
// expression for one series and for many, so that both find the same t.
double quasi_poisson_error(double standard_error, double phi) {
    return standard_error * std::sqrt(phi);
}

double lag1_autocorrelation(std::span<const double> residuals) {
    double mean = 0.0;
    for (double r : residuals)
        mean += r;
    mean /= static_cast<double>(residuals.size());
    double squares = 0.0;
    double products = 0.0;
    for (std::size_t k = 0; k < residuals.size(); ++k) {
        const double d = residuals[k] - mean;
        squares += d * d;
        if (k + 1 < residuals.size()) products += d * (residuals[k + 1] - mean);
    }
    return squares > 0.0 ? products / squares : not_a_number;
}

// The expected number of bins with 0, 1, 2 and 3 or more events under the fit.
std::array<double, tally_classes> expected_tallies(std::span<const double> fitted) {
    std::array<double, tally_classes> out{};
    for (double mu : fitted) {
        const double none = std::exp(-mu);
        out[0] += none;
        out[1] += mu * none;
        out[2] += mu * mu / 2.0 * none;
        out[3] += boost::math::gamma_p(3.0, mu);  // P(Y >= 3), accurate for a small mean
    }
    return out;
}

// The bins with events, ascending, and their counts as the many-series check keeps them.
struct OccupiedBins {
    std::vector<std::size_t> bins;
    std::vector<std::uint32_t> counts;
};

OccupiedBins occupied_bins(const BinnedCounts& counts) {
    OccupiedBins out;
    out.counts.assign(counts.counts.size(), 0);
    for (std::size_t k = 0; k < counts.counts.size(); ++k) {
        if (counts.counts[k] == 0) continue;
        out.bins.push_back(k);
        out.counts[k] = static_cast<std::uint32_t>(counts.counts[k]);
    }
    return out;
}

}  // namespace

DispersionCheck check_dispersion(const BinnedCounts& counts) {
    DispersionCheck check;
    check.bins = counts.layout.bins;
    check.events = counts.events;
    for (std::size_t y : counts.counts)
        ++check.observed_bins[std::min<std::size_t>(y, tally_classes - 1)];
    check.reason = detail::unavailable_reason(check.bins, check.events);
    if (!check.reason.empty()) return check;

    const detail::PoissonLayout poisson = detail::poisson_layout(counts.layout);
    const OccupiedBins occupied = occupied_bins(counts);
    const auto n = static_cast<double>(counts.events);
    const detail::PoissonFit fit = detail::fit_poisson(
        poisson, n, place_sum_of(poisson, occupied.bins, occupied.counts),
        counts.counts.front() == counts.events, counts.counts.back() == counts.events);
    if (!fit.found) {
        check.reason = detail::no_maximum_reason;
        return check;
    }
    const double width = counts.layout.width;
    check.beta = fit.b / width;
    check.standard_error = 1.0 / std::sqrt(n * fit.variance) / width;
    check.pearson_chi2 = pearson_chi2_of(poisson, fit, n, occupied.bins, occupied.counts);
    check.df = static_cast<double>(check.bins - 2);
    check.phi = check.pearson_chi2 / check.df;
    check.p_value = detail::chi_squared_upper_tail(check.pearson_chi2, check.df);

    std::vector<double> residuals;
    for (std::size_t k = 0; k < check.bins; ++k) {
        const double mu = detail::fitted_mean(poisson, fit, n, k);
        check.fitted.push_back(mu);
        residuals.push_back((static_cast<double>(counts.counts[k]) - mu) / std::sqrt(mu));
    }
    check.autocorrelation_lag1 = lag1_autocorrelation(residuals);
    check.expected_bins = expected_tallies(check.fitted);
    return check;
}

ClusteredTrendTest quasi_poisson_test(const DispersionCheck& check) {
    ClusteredTrendTest test;
    test.reason = check.reason;
    if (!test.reason.empty()) return test;
    if (!(check.phi > 0.0)) {
        test.reason = "the counts follow the fitted trend exactly: no dispersion to scale by";
        return test;
    }
    test.df = check.df;
    test.estimate = check.beta;
    test.standard_error = quasi_poisson_error(check.standard_error, check.phi);
    test.statistic = check.beta / test.standard_error;
    test.p_value = detail::student_t_upper_tail(test.statistic, test.df);
    test.p_value_two_sided =
        std::fmin(1.0, 2.0 * detail::student_t_upper_tail(std::fabs(test.statistic), test.df));
    return test;
}

double own_direction_p(double t, double df) {
    return detail::student_t_upper_tail(std::fabs(t), df);
}

DispersionDecider make_dispersion_decider(const BinLayout& layout) {
    DispersionDecider decider;
    decider.layout = layout;
    if (layout.bins < min_bins_for_check) return decider;
    const double df = static_cast<double>(layout.bins - 2);
    decider.chi2_critical = detail::chi_squared_quantile(1.0 - significance_05, df);
    decider.t_critical = detail::student_t_quantile(1.0 - significance_05, df);
    decider.counts.assign(layout.bins, 0);
    decider.poisson = detail::poisson_layout(layout);
    return decider;
}

SeriesDispersion decide_dispersion(DispersionDecider& decider, std::span<const double> times) {
    SeriesDispersion out;
    const BinLayout& layout = decider.layout;
    if (times.empty() || layout.bins < min_bins_for_check) return out;
    std::vector<std::size_t>& touched = decider.touched;
    std::vector<std::uint32_t>& counts = decider.counts;
    touched.clear();
    for (double t : times) {
        const std::size_t k = bin_of(layout, t);
        if (counts[k]++ == 0) touched.push_back(k);
    }
    // Ascending, as check_dispersion sums them; times mostly come in time order already.
    for (std::size_t i = 1; i < touched.size(); ++i)
        for (std::size_t j = i; j > 0 && touched[j - 1] > touched[j]; --j)
            std::swap(touched[j - 1], touched[j]);
    const auto n = static_cast<double>(times.size());
    const auto all = static_cast<std::uint32_t>(times.size());
    const detail::PoissonLayout& poisson = decider.poisson;
    const detail::PoissonFit fit =
        detail::fit_poisson(poisson, n, place_sum_of(poisson, touched, counts),
                            counts.front() == all, counts.back() == all);
    if (fit.found) {
        // As check_dispersion and quasi_poisson_test compute them.
        const double df = static_cast<double>(layout.bins - 2);
        const double chi2 = pearson_chi2_of(poisson, fit, n, touched, counts);
        const double beta = fit.b / layout.width;
        const double standard_error = 1.0 / std::sqrt(n * fit.variance) / layout.width;
        out.phi = chi2 / df;
        out.dispersed = detail::beyond_critical(chi2, decider.chi2_critical, false, [&] {
            return detail::chi_squared_upper_tail(chi2, df);
        });
        if (out.phi > 0.0) {
            out.t = beta / quasi_poisson_error(standard_error, out.phi);
            const double size = std::fabs(out.t);
            out.quasi_poisson_below = detail::beyond_critical(
                size, decider.t_critical, false, [&] { return own_direction_p(size, df); });
        }
    }
    for (std::size_t k : touched)
        counts[k] = 0;
    return out;
}

}  // namespace zorvi
