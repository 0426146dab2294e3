// Each statistic of event times over an interval, as a vector of its values: the R code names
// them and builds R's test objects.
#include <cstdint>

#include "glue.hpp"

using zorvi::r::guarded;
using zorvi::r::span_of;

// (m, u, P, two-sided P) of the Cox-Lewis test.
[[cpp11::register]] SEXP core_cox_lewis(cpp11::doubles times, double start, double end) {
    return guarded([&] {
        const zorvi::CoxLewisResult r = zorvi::cox_lewis(span_of(times), start, end);
        return cpp11::writable::doubles(
            {static_cast<double>(r.m), r.statistic, r.p_value, r.p_value_two_sided});
    });
}

// (beta, ratio, beta low, beta high, ratio low, ratio high) of the fitted trend.
[[cpp11::register]] SEXP core_trend_fit(cpp11::doubles times, double start, double end,
                                        double confidence_level) {
    return guarded([&] {
        const zorvi::TrendFitResult r =
            zorvi::trend_fit(span_of(times), start, end, confidence_level);
        return cpp11::writable::doubles({r.beta_per_year, r.rate_ratio_per_decade,
                                         r.beta_interval.low, r.beta_interval.high,
                                         r.rate_ratio_interval.low, r.rate_ratio_interval.high});
    });
}

// (statistic, P, shape, shape low, shape high) of the MIL-HDBK-189 test.
[[cpp11::register]] SEXP core_mil_hdbk_189(cpp11::doubles times, double start, double end) {
    return guarded([&] {
        const zorvi::MilHdbk189Result r = zorvi::mil_hdbk_189(span_of(times), start, end);
        return cpp11::writable::doubles(
            {r.statistic, r.p_value, r.shape, r.shape_interval.low, r.shape_interval.high});
    });
}

// (statistic, P) of the Lewis-Robinson test.
[[cpp11::register]] SEXP core_lewis_robinson(cpp11::doubles times, double start, double end) {
    return guarded([&] {
        const zorvi::LewisRobinsonResult r = zorvi::lewis_robinson(span_of(times), start, end);
        return cpp11::writable::doubles({r.statistic, r.p_value});
    });
}

// The rate ratio per decade the one-sided Cox-Lewis test detects; m is checked by the caller.
[[cpp11::register]] SEXP core_detectable_rate_ratio(int m, double start, double end, double power,
                                                    double alpha) {
    return guarded([&] {
        return cpp11::writable::doubles(
            {zorvi::detectable_rate_ratio(static_cast<std::int32_t>(m), start, end, power, alpha)});
    });
}
