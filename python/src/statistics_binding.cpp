// Each statistic of event times over an interval, as a tuple of its values: the package gives
// them names and a readable repr.
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "bindings.hpp"
#include "poll.hpp"
#include "zorvi/api/api.hpp"

namespace zorvi::python {
namespace {

template <typename Value>
py::array_t<Value> array_of(const std::vector<Value>& values) {
    return py::array_t<Value>(static_cast<py::ssize_t>(values.size()), values.data());
}

// The times of a clustering check. The library checks the bin width after the interval; a bad
// one is named here as the package names it. An interval without a finite positive width is
// left to the library's message.
std::span<const double> binned_times(const Numbers& times, double start, double end,
                                     double bin_width) {
    const std::span<const double> values = numbers_of(times, "times");
    std::string error;
    if (std::isfinite(end - start) && end - start > 0.0 &&
        !check_bin_width(start, end, bin_width, error))
        throw Error(std::string(python_names.bin_width) + ": " + error);
    return values;
}

py::tuple test_tuple(const ClusteredTrendTest& t) {
    return py::make_tuple(t.reason, t.statistic, t.df, t.p_value, t.p_value_two_sided, t.estimate,
                          t.standard_error, t.size, t.size_null, t.poisson_limit, t.permutations);
}

using ClusteredTest = ClusteredTrendTest (*)(std::span<const double>, double, double, double);

void bind_clustered_test(py::module_& module, const char* name, ClusteredTest test) {
    module.def(
        name,
        [test](const Numbers& times, double start, double end, double bin_width) {
            const std::span<const double> values = binned_times(times, start, end, bin_width);
            return test_tuple(test(values, start, end, bin_width));
        },
        py::arg("times"), py::arg("start"), py::arg("end"), py::arg("bin_width"),
        "(reason, statistic, df, P, two-sided P, beta, SE, size, size without the trend, Poisson "
        "limit, permutations) of the test.");
}

// The clustering checks of times in bins of a width.
void bind_clustering(py::module_& module) {
    module.attr("max_permutations") = max_permutations;
    module.attr("program_seed") = program_seed;  // the permutations' seed by default
    module.def(
        "binned_counts",
        [](const Numbers& times, double start, double end, double bin_width) {
            const std::span<const double> values = binned_times(times, start, end, bin_width);
            const BinnedCounts c = binned_counts(values, start, end, bin_width);
            return py::make_tuple(array_of(c.lower), array_of(c.upper), array_of(c.exposure),
                                  array_of(c.centre), array_of(c.counts), c.events);
        },
        py::arg("times"), py::arg("start"), py::arg("end"), py::arg("bin_width"),
        "(lower, upper, exposure, centre, counts, events) of the bins.");
    module.def(
        "dispersion",
        [](const Numbers& times, double start, double end, double bin_width) {
            const std::span<const double> values = binned_times(times, start, end, bin_width);
            const DispersionCheck c = dispersion(values, start, end, bin_width);
            const std::vector<double> fitted =
                c.fitted.empty() ? std::vector<double>(c.bins, not_a_number) : c.fitted;
            return py::make_tuple(c.reason, c.bins, c.events, c.beta, c.standard_error,
                                  c.pearson_chi2, c.df, c.phi, c.p_value, c.autocorrelation_lag1,
                                  array_of(fitted), c.observed_bins, c.expected_bins);
        },
        py::arg("times"), py::arg("start"), py::arg("end"), py::arg("bin_width"),
        "(reason, bins, events, beta, SE, chi2, df, phi, P, lag-1 autocorrelation, fitted, "
        "observed bins, expected bins) of the dispersion check.");
    bind_clustered_test(module, "quasi_poisson_trend", quasi_poisson_trend);
    bind_clustered_test(module, "negative_binomial_trend", negative_binomial_trend);
    module.def(
        "permutation_trend",
        [](const Numbers& times, double start, double end, double bin_width,
           std::size_t permutations, std::int64_t seed) {
            const std::span<const double> values = binned_times(times, start, end, bin_width);
            // Up to 10^7 permutations: drawn without the interpreter's lock, Ctrl-C looked for
            // every 0.1 s.
            Poll poll;
            poll.progress = py::none();
            const PermutationControl control{std::ref(poll), poll.stop.get_token()};
            ClusteredTrendTest test;
            std::exception_ptr failure;
            {
                py::gil_scoped_release release;
                try {
                    test = permutation_trend(values, start, end, bin_width, permutations, seed,
                                             control);
                } catch (...) {
                    failure = std::current_exception();
                }
            }
            poll.raise_kept();
            if (failure) std::rethrow_exception(failure);
            return test_tuple(test);
        },
        py::arg("times"), py::arg("start"), py::arg("end"), py::arg("bin_width"),
        py::arg("permutations"), py::arg("seed"), "As quasi_poisson_trend, for the permutations.");
}

}  // namespace

void bind_statistics(py::module_& module) {
    module.def(
        "cox_lewis",
        [](const Numbers& times, double start, double end) {
            const CoxLewisResult r = cox_lewis(numbers_of(times, "times"), start, end);
            return py::make_tuple(r.m, r.statistic, r.p_value, r.p_value_two_sided);
        },
        py::arg("times"), py::arg("start"), py::arg("end"),
        "(m, u, P, two-sided P) of the Cox-Lewis test.");
    module.def(
        "trend_fit",
        [](const Numbers& times, double start, double end, double confidence_level) {
            const TrendFitResult r =
                trend_fit(numbers_of(times, "times"), start, end, confidence_level);
            return py::make_tuple(r.beta_per_year, r.rate_ratio_per_decade, r.beta_interval.low,
                                  r.beta_interval.high, r.rate_ratio_interval.low,
                                  r.rate_ratio_interval.high);
        },
        py::arg("times"), py::arg("start"), py::arg("end"), py::arg("confidence_level"),
        "(beta, ratio, beta low, beta high, ratio low, ratio high) of the fitted trend.");
    module.def(
        "mil_hdbk_189",
        [](const Numbers& times, double start, double end) {
            const MilHdbk189Result r = mil_hdbk_189(numbers_of(times, "times"), start, end);
            return py::make_tuple(r.statistic, r.p_value, r.shape, r.shape_interval.low,
                                  r.shape_interval.high);
        },
        py::arg("times"), py::arg("start"), py::arg("end"),
        "(statistic, P, shape, shape low, shape high) of the MIL-HDBK-189 test.");
    module.def(
        "lewis_robinson",
        [](const Numbers& times, double start, double end) {
            const LewisRobinsonResult r = lewis_robinson(numbers_of(times, "times"), start, end);
            return py::make_tuple(r.statistic, r.p_value);
        },
        py::arg("times"), py::arg("start"), py::arg("end"),
        "(statistic, P) of the Lewis-Robinson test.");
    module.def(
        "detectable_rate_ratio",
        [](long long m, double start, double end, double power, double alpha) {
            if (m < 0 || m > INT32_MAX)
                throw Error("the number of events m must lie in 0 to 2^31 - 1");
            py::gil_scoped_release release;  // exact up to 1000 events: may take a moment
            return detectable_rate_ratio(static_cast<std::int32_t>(m), start, end, power, alpha);
        },
        py::arg("m"), py::arg("start"), py::arg("end"), py::arg("power"), py::arg("alpha"),
        "The rate ratio per decade the one-sided Cox-Lewis test detects.");
    bind_clustering(module);
}

}  // namespace zorvi::python
