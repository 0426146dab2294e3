// Clustering of events in time: the events counted in bins of equal width, the dispersion of
// the counts around a log-linear trend in their rate (is the Poisson model right?), and trend
// tests that hold when the events cluster. Pure functions of the counts: no files, no output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "zorvi/statistics/statistics.hpp"

namespace zorvi {

inline constexpr double default_bin_width = 1.0;
inline constexpr std::size_t max_bins = 1000000;
inline constexpr std::size_t min_bins_for_check = 3;  // two parameters, one degree of freedom
inline constexpr std::size_t default_permutations = 9999;

// Bins of width W from the interval's start A: bin k covers [A + kW, min(A + (k+1)W, B)),
// k = 0 ... K-1 with K = ceil((B - A) / W), a ratio within rounding of a whole number taken as
// that number; an event at B falls in the last bin. Every bin but the last is whole.
struct BinLayout {
    double start = 0.0;
    double end = 0.0;
    double width = 1.0;
    std::size_t bins = 0;        // K
    std::size_t whole_bins = 0;  // K, or K - 1 when the last bin is partial
    double last_exposure = 1.0;  // the last bin's length over W
};

// The number of bins of `width` in [start, end]: 0 when the width or the interval is not a
// finite positive number, or there would be more than max_bins.
std::size_t bin_count(double start, double end, double width);
// The layout; `bins` is 0 where bin_count is.
BinLayout bin_layout(double start, double end, double width);
// The bin of a time within the interval, by the bins' own edges.
std::size_t bin_of(const BinLayout& layout, double time);
double bin_lower(const BinLayout& layout, std::size_t k);  // A + kW
double bin_upper(const BinLayout& layout, std::size_t k);  // min(A + (k+1)W, B)

// The events counted in their bins: per bin its edges, its exposure (its length over W: 1 for
// whole bins) and its covariate, the centre of the part of the interval it covers.
struct BinnedCounts {
    BinLayout layout;
    std::vector<double> lower;
    std::vector<double> upper;
    std::vector<double> exposure;
    std::vector<double> centre;
    std::vector<std::size_t> counts;
    std::size_t events = 0;
};
// `times` must lie within [start, end]; layout.bins > 0.
BinnedCounts count_in_bins(std::span<const double> times, const BinLayout& layout);

// Bins with 0, 1, 2 and 3 or more events.
inline constexpr std::size_t tally_classes = 4;
inline constexpr std::array<const char*, tally_classes> tally_labels = {"0", "1", "2", ">=3"};

// The Poisson fit of log mu_k = log(exposure_k) + alpha + beta centre_k (maximum likelihood)
// and the dispersion of the counts around it. `reason` says why the check cannot be made
// (too few bins, no event, no finite maximum); its numbers are then NaN.
struct DispersionCheck {
    std::string reason;  // empty when the check was made
    std::size_t bins = 0;
    std::size_t events = 0;
    double beta = not_a_number;            // per time unit
    double standard_error = not_a_number;  // of beta, from the Fisher information
    double pearson_chi2 = not_a_number;    // sum (y - mu)^2 / mu
    double df = not_a_number;              // K - 2
    double phi = not_a_number;             // chi2 / (K - 2)
    double p_value = not_a_number;         // upper tail of chi-square(K - 2) at chi2
    // Of the Pearson residuals (y - mu) / sqrt(mu): sum (r_k - mean)(r_k+1 - mean) over
    // sum (r_k - mean)^2.
    double autocorrelation_lag1 = not_a_number;
    std::vector<double> fitted;  // mu_k; empty without a fit
    std::array<std::size_t, tally_classes> observed_bins{};
    std::array<double, tally_classes> expected_bins{not_a_number, not_a_number, not_a_number,
                                                    not_a_number};
};
DispersionCheck check_dispersion(const BinnedCounts& counts);

// A trend test that allows for clustering. P one-sided for a rising rate, and two-sided.
struct ClusteredTrendTest {
    std::string reason;               // why it cannot be made; empty when it was
    double statistic = not_a_number;  // t, the likelihood-ratio statistic, or sum c_k y_k
    double df = not_a_number;         // of t or of the chi-square; NaN for permutations
    double p_value = not_a_number;    // one-sided: a rising rate
    double p_value_two_sided = not_a_number;
    double estimate = not_a_number;        // beta per time unit
    double standard_error = not_a_number;  // of beta
    // Negative binomial (variance mu + mu^2 / size): each model's maximum-likelihood size,
    // infinite where the likelihood keeps rising with it (the Poisson limit).
    double size = not_a_number;       // with the trend
    double size_null = not_a_number;  // without
    bool poisson_limit = false;       // the model with the trend is the Poisson limit
    std::size_t permutations = 0;
};

// t = beta / (SE sqrt(phi)), SE from the Poisson fit, against Student's t with K - 2 degrees of
// freedom.
ClusteredTrendTest quasi_poisson_test(const DispersionCheck& check);
// The likelihood-ratio test of beta = 0 between two negative binomial models, each with its
// own maximum-likelihood size; one-sided from the signed root, two-sided from chi-square(1).
ClusteredTrendTest negative_binomial_test(const BinnedCounts& counts);
// Over the whole bins (the last, when partial, left out): the statistic sum c_k y_k against
// `permutations` random permutations of the counts, P = (1 + at least as large) / (N + 1);
// the permutations are drawn with a generator of their own, started from `seed`.
// `look`, when given, is called between blocks of permutations (about 65536 draws each) with
// the permutations done and in all; when it returns false the test ends there, P not given and
// the reason saying after how many permutations it stopped.
using PermutationLook = std::function<bool(std::size_t done, std::size_t total)>;
ClusteredTrendTest permutation_test(const BinnedCounts& counts, std::size_t permutations,
                                    std::int64_t seed, const PermutationLook& look = {});

// The bounded draw of the permutations: a whole number in [0, n), n > 0, from 64-bit words of
// `next` by rejection, the same on every standard library.
template <class Engine>
std::uint64_t draw_below(Engine& next, std::uint64_t n) {
    const std::uint64_t limit = (0 - n) % n;  // 2^64 mod n: the words below it are rejected
    for (;;) {
        const std::uint64_t word = next();
        if (word >= limit) return word % n;
    }
}

// ---------------------------------------------------------------------------------------------
// Many series over one layout: whether each is overdispersed and whether its quasi-Poisson
// test finds a trend, exactly as check_dispersion and quasi_poisson_test would find them, in
// time linear in its events.

struct SeriesDispersion {
    double phi = not_a_number;         // NaN when the check cannot be made
    double t = not_a_number;           // the quasi-Poisson statistic
    bool dispersed = false;            // dispersion P < 0.05
    bool quasi_poisson_below = false;  // quasi-Poisson P in the direction of beta < 0.05
};

// The Poisson layout of many-series checks (clustering_impl.hpp).
namespace detail {
struct PoissonLayout {
    double whole = 0.0;      // K_w
    double half_span = 0.0;  // (K_w - 1) / 2
    bool partial = false;    // the last bin is partial
    double last_place = 0.0;
    double last_exposure = 1.0;
    double last_log_exposure = 0.0;
    // A guide to the fit's first slope: the mean and variance of x at evenly spaced b.
    double guide_first = 0.0;
    double guide_step = 0.0;
    std::vector<double> guide_means;
    std::vector<double> guide_variances;
};
}  // namespace detail

struct DispersionDecider {
    BinLayout layout;
    detail::PoissonLayout poisson;
    double chi2_critical = not_a_number;  // upper 0.05 point of chi-square(K - 2)
    double t_critical = not_a_number;     // upper 0.05 point of Student's t(K - 2)
    std::vector<std::uint32_t> counts;    // working space: per bin, zero between series
    std::vector<std::size_t> touched;     // the bins counted in
};
DispersionDecider make_dispersion_decider(const BinLayout& layout);
// `times` within the layout's interval, any order.
SeriesDispersion decide_dispersion(DispersionDecider& decider, std::span<const double> times);

// The quasi-Poisson P in the direction of the fitted trend (half the two-sided P), as the
// program's P is in the direction of u: the upper tail of Student's t with `df` at |t|.
double own_direction_p(double t, double df);

}  // namespace zorvi
