// The negative binomial trend test: two models of the binned counts, log mu_k =
// log(exposure_k) + alpha (+ beta x_k), each with variance mu + mu^2 / size and its own
// maximum-likelihood size, compared by their likelihood ratio.
//
// Given the size theta the log-likelihood is concave in (alpha, beta), found by Newton's
// method; over theta it is profiled on a grid of powers of ten, then refined by the root of
// its derivative between the grid's neighbours of the best point. Where it keeps rising with
// theta (no overdispersion) the model is the Poisson limit, theta infinite.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "zorvi/clustering/clustering_impl.hpp"
#include "zorvi/statistics/distributions.hpp"

namespace zorvi {
namespace {

constexpr double unbounded = std::numeric_limits<double>::infinity();
// The profile grid: theta = 10^k for k from lowest_power to highest_power. A size beyond the
// top is the Poisson limit to any digit shown; one below the bottom is refused.
constexpr int lowest_power = -6;
constexpr int highest_power = 10;
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
    double current = log_likelihood(data, model, theta);
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
        if (std::fabs(d_alpha) <= convergence * (1.0 + std::fabs(model.alpha)) &&
            std::fabs(d_beta) <= convergence * (1.0 + std::fabs(model.beta))) {
            model.alpha += d_alpha;  // at the top to rounding
            model.beta += d_beta;
            return true;
        }
        // Near the top Newton's steps need no check, and the likelihood changes there by less
        // than its rounding; farther away, halve a step until the likelihood does not fall.
        NbModel next = model;
        next.alpha = model.alpha + d_alpha;
        next.beta = model.beta + d_beta;
        if (std::fabs(d_alpha) <= near_top * (1.0 + std::fabs(model.alpha)) &&
            std::fabs(d_beta) <= near_top * (1.0 + std::fabs(model.beta))) {
            model = next;
            current = log_likelihood(data, model, theta);
            continue;
        }
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

// Every grid point's fit, from the largest size down, each starting from the last; the best
// of them and of the Poisson limit; then the root of the slope between the best's neighbours.
NbFit fit_size(const NbData& data, NbModel start) {
    NbFit poisson;
    poisson.model = start;
    if (!fit_at(data, poisson.model, unbounded)) return poisson;
    poisson.found = true;
    poisson.theta = unbounded;
    poisson.log_likelihood = log_likelihood(data, poisson.model, unbounded);

    constexpr std::size_t points = highest_power - lowest_power + 1;
    std::array<NbModel, points> models{};
    std::array<double, points> values{};
    NbModel model = poisson.model;
    std::size_t best = points;  // the Poisson limit
    double best_value = poisson.log_likelihood;
    for (std::size_t j = points; j-- > 0;) {
        const double theta = std::pow(10.0, lowest_power + static_cast<int>(j));
        NbModel at_point = model;
        values[j] = -unbounded;  // where the fit fails, as at a size far from the maximum
        if (!fit_at(data, at_point, theta)) continue;
        model = at_point;
        models[j] = model;
        values[j] = log_likelihood(data, model, theta);
        if (values[j] > best_value) {
            best = j;
            best_value = values[j];
        }
    }
    if (best == points || best == points - 1) return poisson;  // rising to the top
    if (best == 0) return {};                                  // falling below the bottom

    // The slope changes sign between the neighbours: its root in ln theta.
    NbModel at_root = models[best];
    const auto slope = [&](double log_theta) {
        const double theta = std::exp(log_theta);
        at_root = models[best];
        if (!fit_at(data, at_root, theta)) return not_a_number;
        return -size_slope(data, at_root, theta);  // rising through the root
    };
    const double low = (lowest_power + static_cast<double>(best) - 1.0) * std::log(10.0);
    const double high = (lowest_power + static_cast<double>(best) + 1.0) * std::log(10.0);
    NbFit fit;
    fit.found = true;
    const double s_low = slope(low);
    const double s_high = slope(high);
    double log_theta = (lowest_power + static_cast<double>(best)) * std::log(10.0);
    if (s_low <= 0.0 && s_high >= 0.0) log_theta = detail::root_between(slope, low, high);
    fit.theta = std::exp(log_theta);
    fit.model = models[best];
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
