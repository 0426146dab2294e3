// The parts of the compiled module zorvi._core, each defined in its own file.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <span>

namespace zorvi::python {

namespace py = pybind11;

// A one-dimensional sequence of numbers (list, NumPy array, pandas Series) as doubles.
using Numbers = py::array_t<double, py::array::c_style | py::array::forcecast>;

// The numbers of `values`; ValueError unless it is one-dimensional. `name` says which argument.
std::span<const double> numbers_of(const Numbers& values, const char* name);

void bind_statistics(py::module_& module);
void bind_study(py::module_& module);

}  // namespace zorvi::python
