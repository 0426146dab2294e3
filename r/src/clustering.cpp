// The clustering checks of event times over an interval, in bins of a width: the dispersion of
// the binned counts with its bins, and the trend tests that allow for clustering, as lists the
// R code turns into R's test objects.
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "glue.hpp"
#include "poll.hpp"

namespace zorvi::r {
namespace {

template <typename Values>
cpp11::writable::doubles doubles_of(const Values& values) {
    cpp11::writable::doubles out(static_cast<R_xlen_t>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k)
        out[static_cast<R_xlen_t>(k)] = static_cast<double>(values[k]);
    return out;
}

cpp11::sexp test_list(const ClusteredTrendTest& test) {
    cpp11::writable::list out({cpp11::as_sexp(test.reason.c_str()), cpp11::as_sexp(test.statistic),
                               cpp11::as_sexp(test.df), cpp11::as_sexp(test.p_value),
                               cpp11::as_sexp(test.p_value_two_sided),
                               cpp11::as_sexp(test.estimate), cpp11::as_sexp(test.standard_error),
                               cpp11::as_sexp(test.size), cpp11::as_sexp(test.size_null),
                               cpp11::as_sexp(test.poisson_limit),
                               cpp11::as_sexp(static_cast<double>(test.permutations))});
    out.names() = {"reason",      "statistic",      "df",   "p_value",   "p_value_two_sided",
                   "estimate",    "standard_error", "size", "size_null", "poisson_limit",
                   "permutations"};
    return out;
}

}  // namespace
}  // namespace zorvi::r

using zorvi::r::guarded;

// The bins (edges, exposure, centre, count, fitted mean) and the dispersion check.
[[cpp11::register]] SEXP core_dispersion(cpp11::doubles times, double start, double end,
                                         double bin_width) {
    using namespace zorvi;
    return guarded([&]() -> cpp11::sexp {
        const BinnedCounts counts = binned_counts(r::span_of(times), start, end, bin_width);
        const DispersionCheck check = check_dispersion(counts);
        cpp11::writable::list bins(
            {r::doubles_of(counts.lower), r::doubles_of(counts.upper),
             r::doubles_of(counts.exposure), r::doubles_of(counts.centre),
             r::doubles_of(counts.counts),
             check.fitted.empty() ? r::doubles_of(std::vector<double>(counts.counts.size(), NAN))
                                  : r::doubles_of(check.fitted)});
        bins.names() = {"lower", "upper", "exposure", "centre", "count", "fitted"};
        cpp11::writable::list out(
            {cpp11::as_sexp(check.reason.c_str()), cpp11::as_sexp(check.pearson_chi2),
             cpp11::as_sexp(check.df), cpp11::as_sexp(check.phi), cpp11::as_sexp(check.p_value),
             cpp11::as_sexp(check.autocorrelation_lag1), cpp11::as_sexp(check.beta),
             cpp11::as_sexp(check.standard_error), r::doubles_of(check.observed_bins),
             r::doubles_of(check.expected_bins), bins});
        out.names() = {"reason",        "pearson_chi2",         "df",   "phi",
                       "p_value",       "autocorrelation_lag1", "beta", "standard_error",
                       "observed_bins", "expected_bins",        "bins"};
        return out;
    });
}

[[cpp11::register]] SEXP core_quasi_poisson_trend(cpp11::doubles times, double start, double end,
                                                  double bin_width) {
    return guarded([&] {
        return zorvi::r::test_list(
            zorvi::quasi_poisson_trend(zorvi::r::span_of(times), start, end, bin_width));
    });
}

[[cpp11::register]] SEXP core_negative_binomial_trend(cpp11::doubles times, double start,
                                                      double end, double bin_width) {
    return guarded([&] {
        return zorvi::r::test_list(
            zorvi::negative_binomial_trend(zorvi::r::span_of(times), start, end, bin_width));
    });
}

// `permutations` and `seed` are whole numbers, checked by the caller.
[[cpp11::register]] SEXP core_permutation_trend(cpp11::doubles times, double start, double end,
                                                double bin_width, double permutations,
                                                double seed) {
    return guarded([&] {
        // Up to 10^7 permutations: the user's interrupt is looked for every 0.1 s.
        zorvi::r::Poll poll;
        const zorvi::PermutationControl control{std::ref(poll), poll.stop.get_token()};
        try {
            return zorvi::r::test_list(zorvi::permutation_trend(
                zorvi::r::span_of(times), start, end, bin_width,
                static_cast<std::size_t>(permutations), static_cast<std::int64_t>(seed), control));
        } catch (const zorvi::Stopped&) {
            if (poll.kept) std::rethrow_exception(poll.kept);
            throw;
        }
    });
}
