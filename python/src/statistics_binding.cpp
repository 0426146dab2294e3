// Each statistic of event times over an interval, as a tuple of its values: the package gives
// them names and a readable repr.
#include "bindings.hpp"
#include "zorvi/api/api.hpp"

namespace zorvi::python {

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
}

}  // namespace zorvi::python
