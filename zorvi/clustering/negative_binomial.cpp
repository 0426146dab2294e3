// The negative binomial trend test: two models of the binned counts, log mu_k =
// log(exposure_k) + alpha (+ beta x_k), each with variance mu + mu^2 / size and its own
// maximum-likelihood size, compared by their likelihood ratio.
//
// Given the size theta the log-likelihood is concave in (alpha, beta), found by Newton's
// method; over theta it is profiled, its maximum the root of its derivative. Where it keeps
// rising with theta (no overdispersion) the model is the Poisson limit, theta infinite.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "zorvi/clustering/clustering_impl.hpp"
#include "zorvi/statistics/distributions.hpp"

namespace zorvi {
namespace {

constexpr double unbounded = std::numeric_limits<double>::infinity();
// Sizes are sought from 10^lowest_power to 10^highest_power: a maximum beyond the top is the
// Poisson limit to any digit shown, one below the bottom too small a size to tell.
constexpr int lowest_power = -8;
constexpr int highest_power = 15;
constexpr int max_fit_steps = 100;
constexpr int max_halvings = 60;
constexpr double convergence = 1e-13;  // of a Newton step, relative to 1 + |parameter|
constexpr double near_top = 1e-6;      // a step this small is taken unchecked

// The counts with their covariates: x in units of the bin width, as the Poisson fit has them.
struct NbData {
    std::vector<double> place;
    std::vector<double> log_exposure;
    std::vector<double> count;
};

NbData nb_data(const BinnedCounts& counts) {
    const detail::PoissonLayout poisson = detail::poisson_layout(counts.layout);
    NbData data;
    for (std::size_t k = 0; k < counts.counts.size(); ++k) {
        data.place.push_back(detail::bin_place(poisson, k));
        data.log_exposure.push_back(std::log(counts.exposure[k]));
        data.count.push_back(static_cast<double>(counts.counts[k]));
    }
    return data;
}

// One model: with or without the trend; its parameters and, at a size, its log-likelihood.
struct NbModel {
    bool trend = false;
    double alpha = 0.0;
    double beta = 0.0;  // per bin width; 0 without the trend
};

double mean_at(const NbData& data, const NbModel& model, std::size_t k) {
    return std::exp(data.log_exposure[k] + model.alpha + model.beta * data.place[k]);
}

// The log-likelihood up to a constant: sum over bins of
// sum_{j<y} ln(1 + (j - mu) / (theta + mu)) + y ln mu - theta ln(1 + mu / theta), which is
// lgamma(y + theta) - lgamma(theta) + theta ln theta + y ln mu - (y + theta) ln(theta + mu)
// written so that nothing cancels for a large theta; y ln mu - mu at theta = infinity.
double log_likelihood(const NbData& data, const NbModel& model, double theta) {
    double sum = 0.0;
    for (std::size_t k = 0; k < data.count.size(); ++k) {
        const double mu = mean_at(data, model, k);
        const double y = data.count[k];
        if (std::isinf(theta)) {
            sum += (y > 0.0 ? y * std::log(mu) : 0.0) - mu;
            continue;
        }
        for (double j = 0.0; j < y; j += 1.0)
            sum += std::log1p((j - mu) / (theta + mu));
        sum += (y > 0.0 ? y * std::log(mu) : 0.0) - theta * std::log1p(mu / theta);
    }
    return sum;
}

// d log-likelihood / d theta at the model's parameters.
double size_slope(const NbData& data, const NbModel& model, double theta) {
    double sum = 0.0;
    for (std::size_t k = 0; k < data.count.size(); ++k) {
        const double mu = mean_at(data, model, k);
        const double y = data.count[k];
        for (double j = 0.0; j < y; j += 1.0)
            sum += 1.0 / (theta + j);
        sum += (mu - y) / (theta + mu) - std::log1p(mu / theta);
    }
    return sum;
}

// Sums of the weights w and w x, w x^2 over the bins, with the score.
struct Newton {
    double w = 0.0, wx = 0.0, wxx = 0.0;
    double score_alpha = 0.0, score_beta = 0.0;
};

// Observed information (`observed`) or expected information at the model's parameters.
Newton newton_sums(const NbData& data, const NbModel& model, double theta, bool observed) {
    Newton s;
    for (std::size_t k = 0; k < data.count.size(); ++k) {
        const double mu = mean_at(data, model, k);
        const double y = data.count[k];
        const double x = data.place[k];
        // theta / (theta + mu), 1 at theta = infinity.
        const double shrink = std::isinf(theta) ? 1.0 : theta / (theta + mu);
        const double residual = (y - mu) * shrink;
        double w = mu * shrink;  // expected
        if (observed && !std::isinf(theta)) w = (y + theta) * mu * shrink / (theta + mu);
        s.w += w;
        s.wx += w * x;
        s.wxx += w * x * x;
        s.score_alpha += residual;
        s.score_beta += residual * x;
    }
    return s;
}

// The parameters that maximise the log-likelihood at theta, from `model` on. False when the
// iteration does not settle.
bool fit_at(const NbData& data, NbModel& model, double theta) {
    double current = not_a_number;  // the log-likelihood at `model`, once a step is checked
    for (int step = 0; step < max_fit_steps; ++step) {
        const Newton s = newton_sums(data, model, theta, true);
        double d_alpha = 0.0;
        double d_beta = 0.0;
        if (model.trend) {
            const double det = s.w * s.wxx - s.wx * s.wx;
            d_alpha = (s.wxx * s.score_alpha - s.wx * s.score_beta) / det;
            d_beta = (s.w * s.score_beta - s.wx * s.score_alpha) / det;
        } else {
            d_alpha = s.score_alpha / s.w;
        }
        if (!(std::isfinite(d_alpha) && std::isfinite(d_beta))) return false;
        const auto within = [&](double limit) {
            return std::fabs(d_alpha) <= limit * (1.0 + std::fabs(model.alpha)) &&
                   std::fabs(d_beta) <= limit * (1.0 + std::fabs(model.beta));
        };
        NbModel next = model;
        next.alpha = model.alpha + d_alpha;
        next.beta = model.beta + d_beta;
        if (within(convergence)) {  // at the top to rounding
            model = next;
            return true;
        }
        // Near the top Newton's steps need no check (the likelihood changes there by less than
        // its rounding); farther away, halve a step until the likelihood does not fall.
        if (within(near_top)) {
            model = next;
            current = not_a_number;
            continue;
        }
        if (std::isnan(current)) current = log_likelihood(data, model, theta);
        double value = log_likelihood(data, next, theta);
        double scale = 1.0;
        for (int halving = 0; halving < max_halvings && !(value >= current); ++halving) {
            scale /= 2.0;
            next.alpha = model.alpha + scale * d_alpha;
            next.beta = model.beta + scale * d_beta;
            value = log_likelihood(data, next, theta);
        }
        if (!(value >= current)) return false;
        model = next;
        current = value;
    }
    return false;
}

// A model at its maximum-likelihood size: the size (infinite at the Poisson limit) and the
// log-likelihood there.
struct NbFit {
    bool found = false;
    NbModel model;
    double theta = not_a_number;
    double log_likelihood = not_a_number;
};

// The Poisson fit first. Near the Poisson limit the profile log-likelihood over kappa = 1 /
// theta rises from it as kappa / 2 sum ((y - mu)^2 - y): where that sum is not positive the
// likelihood keeps rising with theta (the profile has one maximum), and the limit is the fit.
// Otherwise, from the moment estimate of theta, steps of ten towards the maximum until the
// profile's slope changes sign, then the slope's root between.
NbFit fit_size(const NbData& data, NbModel start) {
    NbFit poisson;
    poisson.model = start;
    if (!fit_at(data, poisson.model, unbounded)) return poisson;
    poisson.found = true;
    poisson.theta = unbounded;
    poisson.log_likelihood = log_likelihood(data, poisson.model, unbounded);
    double excess = 0.0;
    double squares = 0.0;
    for (std::size_t k = 0; k < data.count.size(); ++k) {
        const double mu = mean_at(data, poisson.model, k);
        const double y = data.count[k];
        excess += (y - mu) * (y - mu) - y;
        squares += mu * mu;
    }
    if (!(excess > 0.0)) return poisson;

    NbModel model = poisson.model;
    // -d log-likelihood / d theta at ln theta: rising through the root.
    const auto slope = [&](double log_theta) {
        const double theta = std::exp(log_theta);
        NbModel at = model;
        if (!fit_at(data, at, theta)) return not_a_number;
        model = at;
        return -size_slope(data, model, theta);
    };
    const double decade = std::log(10.0);
    double from = std::log(squares / excess);
    double slope_from = slope(from);
    const double step = slope_from < 0.0 ? decade : -decade;  // uphill
    double to = from;
    double slope_to = slope_from;
    while (!std::isnan(slope_to) && (slope_to < 0.0) == (slope_from < 0.0)) {
        from = to;
        slope_from = slope_to;
        to = from + step;
        if (to > highest_power * decade) return poisson;  // rising to the limit
        if (to < lowest_power * decade) return {};        // a size too small to tell
        slope_to = slope(to);
    }
    if (std::isnan(slope_to) || std::isnan(slope_from)) return {};
    NbFit fit;
    fit.found = true;
    fit.theta = std::exp(detail::root_between(slope, std::fmin(from, to), std::fmax(from, to)));
    fit.model = model;
    if (!fit_at(data, fit.model, fit.theta)) return {};
    fit.log_likelihood = log_likelihood(data, fit.model, fit.theta);
    if (!(fit.log_likelihood >= poisson.log_likelihood)) return poisson;
    return fit;
}

}  // namespace

ClusteredTrendTest negative_binomial_test(const BinnedCounts& counts) {
    ClusteredTrendTest test;
    const DispersionCheck check = check_dispersion(counts);
    test.reason = check.reason;
    if (!test.reason.empty()) return test;

    const NbData data = nb_data(counts);
    const double width = counts.layout.width;
    const auto n = static_cast<double>(counts.events);
    // Both models start from the Poisson fit of their own: its alpha from n over the exposure.
    double exposure = 0.0;
    for (double e : counts.exposure)
        exposure += e;
    NbModel null_start;
    null_start.alpha = std::log(n / exposure);
    NbModel trend_start;
    trend_start.trend = true;
    trend_start.alpha = null_start.alpha;
    trend_start.beta = check.beta * width;

    const NbFit trend = fit_size(data, trend_start);
    const NbFit null = fit_size(data, null_start);
    if (!trend.found || !null.found) {
        test.reason = "the negative binomial fit does not converge";
        return test;
    }
    const double ratio = std::fmax(0.0, 2.0 * (trend.log_likelihood - null.log_likelihood));
    const double root = std::copysign(std::sqrt(ratio), trend.model.beta);
    const Newton info = newton_sums(data, trend.model, trend.theta, false);
    test.statistic = ratio;
    test.df = 1.0;
    test.p_value = detail::normal_upper_tail(root);
    test.p_value_two_sided = detail::chi_squared_upper_tail(ratio, 1.0);
    test.estimate = trend.model.beta / width;
    test.standard_error = std::sqrt(info.w / (info.w * info.wxx - info.wx * info.wx)) / width;
    test.size = trend.theta;
    test.size_null = null.theta;
    test.poisson_limit = std::isinf(trend.theta);
    return test;
}

}  // namespace zorvi
