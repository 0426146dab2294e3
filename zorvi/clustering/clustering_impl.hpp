// Internal to the clustering checks: the Poisson log-linear fit of binned counts, solved in
// closed form per Newton step, shared by the check of one series and the check of many.
#pragma once

#include <cstddef>

#include "zorvi/clustering/clustering.hpp"

namespace zorvi::detail {

// The bins' covariate in units of the bin width, centred on the whole bins (PoissonLayout,
// clustering.hpp): whole bin k at x = k - (K_w - 1) / 2, a partial last bin at
// (K_w + exposure) / 2. Every x of a whole bin is a whole or half number, so that their sums
// are exact and do not depend on order.
PoissonLayout poisson_layout(const BinLayout& layout);
double bin_place(const PoissonLayout& poisson, std::size_t k);  // x of bin k

// The fit: mu_k = n exposure_k exp(b x_k) / Z(b), with b the root of mean(b) = S / n, where
// mean(b) and variance(b) are those of x under the weights exposure_k exp(b x_k).
struct PoissonFit {
    bool found = false;               // false when S / n lies at an end: no finite maximum
    double b = not_a_number;          // per bin width
    double log_total = not_a_number;  // ln Z(b)
    double variance = not_a_number;   // of x at b: the Fisher information over n
};
// `events` n > 0; `place_sum` S = sum x_k y_k; `at_first_end` / `at_last_end`: every event
// lies in the first or in the last bin.
PoissonFit fit_poisson(const PoissonLayout& poisson, double events, double place_sum,
                       bool at_first_end, bool at_last_end);
// mu_k of the fit.
double fitted_mean(const PoissonLayout& poisson, const PoissonFit& fit, double events,
                   std::size_t k);

// Why a check cannot be made, in words; empty when it can.
std::string unavailable_reason(std::size_t bins, std::size_t events);
extern const char* const no_maximum_reason;

}  // namespace zorvi::detail
