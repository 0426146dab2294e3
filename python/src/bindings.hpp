// The parts of the compiled module zorvi._core, each defined in its own file.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <span>

#include "zorvi/text/argument_names.hpp"

namespace zorvi::python {

namespace py = pybind11;

// A one-dimensional sequence of numbers (list, NumPy array, pandas Series) as doubles.
using Numbers = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The numbers of `values`; ValueError unless it is one-dimensional. `name` says which argument.
std::span<const double> numbers_of(const Numbers& values, const char* name);

// The library's messages name the package's arguments.
inline constexpr ArgumentNames python_names = {
    .threshold = "threshold",
    .interval = "interval",
    .series = "series",
    .seed = "seed",
    .start_sweep = "sweep_starts",
    .bin_width = "bin_width",
    .floor = "floor",
    .prior_scale = "prior_scale",
    .standard_error = "se",
    .labels = "labels",
    .give_interval = "interval=(A, B)",
    .give_columns = "columns=(TIME, MAG, SE)",
    .give_floor = "floor=X",
    .give_prior_scale = "prior_scale=X",
    .give_standard_error = "se=X",
    .give_labels = "labels=COLUMN",
};

void bind_statistics(py::module_& module);
void bind_study(py::module_& module);

}  // namespace zorvi::python
